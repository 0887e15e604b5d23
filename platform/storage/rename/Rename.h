// platform/storage/rename/Rename.h: the ways a name moves within its folder without replacing
// another (storage-internal; BEntry::Rename chooses among them).
#pragma once

#include "platform/support/SupportDefs.h"

#include <atomic>
#include <string>

struct stat;

// What renames in one folder have shown of its file system: only that a way fails, so that
// later renames there skip it. Nothing learnt ever skips a step that keeps a file from being
// replaced, and a refusal for want of permission (EACCES, EPERM) or an I/O error teaches
// nothing, except a link refused with EACCES in a folder the process may write.
struct RenameLessons {
    std::atomic<bool> noReplaceRefused { false }; // renameat2 with RENAME_NOREPLACE
    std::atomic<bool> linksRefused { false }; // hard links
};

// Whether name, in dirFd, names the node `ours`; its stat goes to *now.
bool names_node(int dirFd, const char* name, const struct stat& ours, struct stat* now = nullptr);

// Moves oldName (the node `ours`) to newName within dirFd without ever replacing newName, the
// safest way the file system allows: renameat2 with RENAME_NOREPLACE; where the flag is refused
// (NFS, NTFS-3G, FUSE), a hard link and an unlink; where hard links are refused too (FUSE exFAT
// and FAT), a checked plain rename. lessons, if given, are the folder's: they are kept and
// followed. B_OK, B_FILE_EXISTS, B_ENTRY_NOT_FOUND, B_PERMISSION_DENIED, other mapped errno.
[[nodiscard]] status_t move_no_replace(int dirFd, const char* oldName, const char* newName,
    const struct stat& ours, RenameLessons* lessons = nullptr);

// True when newName is taken only because the file system ignores case: the two names are
// the same under Unicode simple case folding, and every entry the folder lists that folds like
// newName is our own, spelled oldName (FUSE file systems give each spelling a number of its own)
// or, where the listing shows another spelling (lowntfs-3g's ignore_case lists lower case), our
// node, which then has no other name (a hard link spelled in another case is another entry).
// Nothing is concluded from a folder that cannot be listed.
bool is_case_alias(int dirFd, const char* oldName, const char* newName, const struct stat& ours);

// A case-only rename on a case-insensitive file system, where newName is only another spelling
// of our own entry. Where `direct` allows, a plain rename to it first: that does it on most FUSE
// file systems, may do nothing elsewhere (both names are one entry), and on fusefat frees the
// file's clusters (the data is lost at the next write), so there `direct` is false. Where the
// new spelling is not listed then, old -> temporary -> new, and back to old if the second step
// fails. *actual becomes the name the file ends under.
[[nodiscard]] status_t rename_case(int dirFd, const char* oldName, const char* newName,
    const struct stat& ours, bool direct, std::string* actual, RenameLessons* lessons = nullptr);
