// platform/storage/FindDirectory.cpp: the settings directory ($XDG_CONFIG_HOME or ~/.config).
#include "platform/storage/FindDirectory.h"

#include "platform/storage/Path.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The user's home directory: $HOME when absolute, else the password database's entry.
std::string home_directory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    if (const passwd* entry = ::getpwuid(::getuid());
        entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return std::string();
}

} // namespace

status_t make_directories(const std::string& path)
{
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/')
            continue;
        std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return status_for_errno(errno);
    }
    return B_OK;
}

status_t find_directory(directory_which which, BPath* path, bool create_it, BVolume*)
{
    if (path == nullptr || which != B_COMMON_SETTINGS_DIRECTORY)
        return B_BAD_VALUE;

    std::string directory;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        directory = config;
    } else {
        std::string home = home_directory();
        if (home.empty())
            return B_ENTRY_NOT_FOUND;
        directory = home + "/.config";
    }

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
