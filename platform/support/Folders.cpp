// platform/support/Folders.cpp: the user's base folders, and making a folder with its parents.
#include "platform/support/Folders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string xdg_base_directory(const char* variable, const char* fallback)
{
    const char* base = std::getenv(variable);
    if (base != nullptr && base[0] == '/')
        return base;
    std::string home = home_directory();
    return home.empty() ? home : home + fallback;
}

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
