// platform/storage/FindDirectory.h: the platform's well-known directories.
#pragma once

#include "platform/support/SupportDefs.h"

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
