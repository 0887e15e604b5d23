// platform/storage/SeenNode.h: what a name was last seen to hold, for the open that follows.
#pragma once

#include "platform/support/OpenRegular.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>

struct entry_ref;

// BEntry::GetNodeRef notes the regular file it has just seen under a reference (links not
// followed, through the reference's checked folder where it holds one); the next open of the
// same reference in the same thread takes the note instead of looking at the name once more.
// A note is taken once, and the next look replaces it.
void note_seen_node(
    const entry_ref& ref, const std::string& path, const struct stat& st, bool throughFolder);

// Opens ref (whose path is path) with flags, never following a link and never anything but a
// regular file (see open_regular), where the last note was of a regular file under it: the
// descriptor (its state in *st), kNotRegular, or -1 with errno set. -2 where no note applies;
// the note is gone either way.
int open_seen_regular(const entry_ref& ref, const std::string& path, int flags, struct stat* st);
