// platform/storage/FindDirectory.cpp: the settings directory ($XDG_CONFIG_HOME or ~/.config).
#include "platform/storage/FindDirectory.h"

#include "platform/storage/Path.h"
#include "platform/support/Folders.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

status_t find_directory(directory_which which, BPath* path, bool create_it, BVolume*)
{
    if (path == nullptr || which != B_COMMON_SETTINGS_DIRECTORY)
        return B_BAD_VALUE;

    std::string directory = xdg_base_directory("XDG_CONFIG_HOME", "/.config");
    if (directory.empty())
        return B_ENTRY_NOT_FOUND;

    struct stat st;
    if (::stat(directory.c_str(), &st) != 0) {
        if (errno != ENOENT || !create_it)
            return status_for_errno(errno);
        if (status_t status = make_directories(directory); status != B_OK)
            return status;
        if (::stat(directory.c_str(), &st) != 0)
            return status_for_errno(errno);
    }
    if (!S_ISDIR(st.st_mode))
        return status_for_errno(ENOTDIR);
    return path->SetTo(directory.c_str());
}
