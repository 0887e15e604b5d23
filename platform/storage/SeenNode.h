// platform/storage/SeenNode.h: what a name was last seen to hold, for the open that follows.
#pragma once

#include <sys/stat.h>

// BEntry::GetNodeRef notes the regular file it has just seen under path (links not followed);
// the next open of the same path in the same thread takes the note instead of looking at the
// name once more. A note is taken once, and the next look replaces it.
void note_seen_node(const char* path, const struct stat& st);

// Whether the last note was of a regular file under path; the note is gone either way.
bool take_seen_regular(const char* path);
