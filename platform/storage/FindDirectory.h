// platform/storage/FindDirectory.h: the platform's well-known directories.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

class BPath;
class BVolume;

enum directory_which {
    B_COMMON_SETTINGS_DIRECTORY = 2010,
};

// B_COMMON_SETTINGS_DIRECTORY is $XDG_CONFIG_HOME when set and absolute, else $HOME/.config.
// B_OK; B_ENTRY_NOT_FOUND when the directory does not exist and create_it is false;
// B_BAD_VALUE for an unknown constant or a null path.
[[nodiscard]] status_t find_directory(
    directory_which which, BPath* path, bool create_it = false, BVolume* volume = nullptr);

// Makes the folder path and its missing parents (mkdir -p), mode 0700 for what it creates;
// B_OK or the mapped errno.
status_t make_directories(const std::string& path);
