// platform/storage/PlaceholderJournal.h: a note of the placeholder the rename is about to make,
// kept on the local disk until the placeholder carries its mark, so that the next start can
// tell an unmarked placeholder that a killed run left from a user's own empty file.
#pragma once

#include <string>
#include <vector>

// Notes that the rename is about to make a placeholder named name in the folder dirFd. The note
// is one small file per process in $XDG_STATE_HOME/orvalin (or ~/.local/state/orvalin), so
// noting costs no round trip to a slow or remote file system. Without a writable state folder
// nothing is noted.
void note_placeholder(int dirFd, const char* name);

// The placeholder noted last now carries its mark, or was never made.
void clear_placeholder_note();

// The placeholders that runs no longer alive noted in the folder at folderPath (an absolute,
// resolved path) and never cleared: the names of empty files that are theirs. The notes for
// this folder are removed as they are read; those for other folders stay.
std::vector<std::string> take_placeholder_notes(const std::string& folderPath);
