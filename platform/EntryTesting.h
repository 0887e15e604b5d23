// platform/EntryTesting.h: test seams for the no-replace rename (not for program code).
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

// Runs between the hard link and the unlink of the link-and-unlink way (empty: nothing).
void entry_between_link_and_unlink(std::function<void()> action);

// Makes every BEntry::Rename wait this long first, as on a slow stick or network share, so that
// a long "ALL" run can be tested with few files. 0 (the default) turns it off.
void entry_delay_renames(int microseconds);
