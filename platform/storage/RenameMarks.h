// platform/storage/RenameMarks.h: the names and marks a rename leaves while it is under way, so
// that the next start in that folder can finish or remove what a killed run left behind.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

struct stat;

// The visible temporary name of a case-only rename on its way to target: "TARGET.orvalin-renaming",
// and "TARGET.orvalin-renaming-N" for a later attempt N > 0. Empty when it would not fit in a
// leaf name (255 bytes).
std::string rename_temporary_name(std::string_view target, unsigned attempt);

// The name a temporary name was going to, or empty when name is not a temporary name.
std::string rename_temporary_target(std::string_view name);

// A placeholder that reserves a name for a plain rename carries this modification time, so that
// one a killed run left behind can be told from a user's own empty file. 1980-01-01 12:00 UTC:
// FAT holds nothing older.
constexpr time_t kPlaceholderTime = 315576000;

// Whether st is a placeholder as the rename made it: an empty regular file with the placeholder
// time, give or take a day (FAT keeps local time).
bool is_rename_placeholder(const struct stat& st);
