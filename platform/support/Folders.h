// platform/support/Folders.h: the user's base folders, and making a folder with its parents.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

// The user's home folder: $HOME when absolute, else the password database's entry; empty when
// neither gives an absolute path.
std::string home_directory();

// The base folder named by the XDG variable `variable` when it is set and absolute, else
// home_directory() + fallback (for example "/.config"); empty when there is no home either.
std::string xdg_base_directory(const char* variable, const char* fallback);

// Makes the folder path and its missing parents (mkdir -p), mode 0700 for what it creates;
// B_OK or the mapped errno.
status_t make_directories(const std::string& path);
