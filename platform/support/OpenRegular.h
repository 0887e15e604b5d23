// platform/support/OpenRegular.h: opening a regular file and nothing else, even racing, and a
// folder's listing (for the storage kit's libraries).
#pragma once

#include <dirent.h>
#include <sys/stat.h>

// What open_regular returns for a node that is not a regular file (its state is in *st).
constexpr int kNotRegular = -3;

// Opens the regular file `name` in dirFd (AT_FDCWD: a path) with flags (an access mode and
// O_TRUNC, O_APPEND, O_CREAT), never a FIFO, device or socket, even one that takes the name
// meanwhile (a device's open may act): the node is pinned with O_PATH and checked, and that
// same node is then opened through /proc/self/fd. A link is followed only with `follow`. Where
// /proc is missing, the name is opened non-blocking and checked to be the pinned node.
// The descriptor (its state in *st), kNotRegular, or -1 with errno set.
int open_regular(int dirFd, const char* name, int flags, bool follow, struct stat* st);

class BEntry;
struct node_ref;

// The identity of the node whose state is st, its size and times included.
void set_node_ref(const struct stat& st, node_ref* ref);

// Opens the regular file the entry names now, as open_regular does with a link never followed:
// through the folder the entry holds where SetTo has checked it, else by its path. The
// descriptor (its state in *st), kNotRegular (the state of what the name holds in *st), or -1
// with errno set. Defined with BEntry.
int open_entry_regular(const BEntry& entry, int flags, struct stat* st);

// The state of the regular file `name` in dirFd (a link not followed) as the file system gives
// it for an open file, not from an attribute cache (sshfs keeps one by path); other nodes as
// fstatat gives them. 0, or -1 with errno set.
int stat_through_handle(int dirFd, const char* name, struct stat* st);

// A listing of the folder dirFd (which may be an O_PATH descriptor), to be closed with
// closedir; null with errno set.
DIR* open_listing(int dirFd);
