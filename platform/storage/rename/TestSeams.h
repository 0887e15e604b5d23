// platform/storage/rename/TestSeams.h: the storage kit's test seams, all in one place. They are
// compiled into the program but only tests set them: each makes the rename behave as on a file
// system or at a moment that a test cannot otherwise bring about. Left alone, they do nothing.
#pragma once

#include <functional>
#include <vector>

// The ways BEntry::Rename may take; a forced way makes it behave as on a file system that
// refuses the ways before it, so that each fallback can be tested on any file system.
// PlainRefusing: a plain rename that refuses to replace (EEXIST), as fusefat 0.3's.
enum class RenameWay { NoReplace, LinkUnlink, Plain, PlainRefusing };
void entry_force_rename_way(RenameWay way);
// entry_force_rename_way(LinkUnlink) or (NoReplace).
void entry_force_link_rename(bool force);

// The next moves of a name fail with these errno values in turn, without acting; a 0 lets its
// move run. The moves after the list run.
void entry_fail_moves(std::vector<int> errors);

// The next calls of one kind fail with these errno values in turn, without acting (0: the call
// runs); the calls after the list run. Link: the hard link of link-and-unlink; PlainRename: the
// plain rename of the checked way.
enum class SeamCall { Link, PlainRename };
void entry_fail_calls(SeamCall call, std::vector<int> errors);

// Runs between the hard link and the unlink of the link-and-unlink way (empty: nothing).
void entry_between_link_and_unlink(std::function<void()> action);

// Makes every BEntry::Rename wait this long first, as on a slow stick or network share, so that
// a long "ALL" run can be tested with few files. 0 (the default) turns it off.
void entry_delay_renames(int microseconds);

// What the storage kit reads of the seams (not for tests).
namespace seams
{
RenameWay forced_way();
// The failure a test injected for this move, or 0.
int injected_failure();
// The failure a test injected for this call, or 0.
int injected_call_failure(SeamCall call);
void between_link_and_unlink();
// Microseconds to wait before each rename, or 0.
int rename_delay();
} // namespace seams
