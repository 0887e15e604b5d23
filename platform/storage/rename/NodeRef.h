// platform/storage/rename/NodeRef.h: the identity of a node, as the rename engine records it and
// the storage classes hand it out.
#pragma once

#include <ctime>
#include <sys/types.h>

// The identity of a node: its device and inode. A node of 0 is unknown. Where inode numbers do
// not identify a file (FUSE file systems may give them per path), a rename also compares the
// size and times taken with them.
struct node_ref {
    bool operator==(const node_ref& other) const
    {
        return device == other.device && node == other.node;
    }

    dev_t device = -1;
    ino_t node = 0;
    bool has_times = false; // size, modified and changed were taken with the node
    off_t size = 0;
    timespec modified = {};
    timespec changed = {};
};
