// platform/storage/PlaceholderJournal.cpp: notes of placeholders about to be made.
#include "platform/storage/PlaceholderJournal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const char kPrefix[] = "placeholder-";

// The state folder, made where it is missing when `make` says so; empty when there is none.
std::string state_folder(bool make)
{
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        base = std::string(home) + "/.local/state";
    else
        return std::string();
    std::string folder = base + "/orvalin";
    if (!make)
        return folder;
    // Each missing level in turn, private to the user as the state folder should be.
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/')
            continue;
        std::string level = folder.substr(0, at);
        if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
            return std::string();
    }
    return folder;
}

std::mutex sLock;
int sNote = -2; // this process's note file: -2 not opened yet, -1 none to be had
std::string sNotePath;

int note_file()
{
    if (sNote == -2) {
        sNote = -1;
        std::string folder = state_folder(true);
        if (!folder.empty()) {
            sNotePath = folder + "/" + kPrefix + std::to_string(::getpid());
            sNote = ::open(
                sNotePath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        }
    }
    return sNote;
}

// Empties this process's note; where even that fails, the note file goes and nothing more is
// noted, so that no stale note stays.
void clear_note()
{
    if (sNote < 0 || ::ftruncate(sNote, 0) == 0)
        return;
    ::unlink(sNotePath.c_str());
    ::close(sNote);
    sNote = -1;
}

// Whether the process that wrote a note is gone (this process has made no placeholder yet
// when it recovers, so a note under its own number is an earlier process's).
bool writer_gone(long pid)
{
    return pid == ::getpid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

} // namespace

void note_placeholder(int dirFd, const char* name)
{
    std::lock_guard<std::mutex> lock(sLock);
    int fd = note_file();
    if (fd < 0)
        return;
    char folder[4096];
    std::string link = "/proc/self/fd/" + std::to_string(dirFd);
    ssize_t length = ::readlink(link.c_str(), folder, sizeof folder);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof folder)
        return;
    // The folder's path and the name, each ending in a NUL.
    std::string note(folder, static_cast<size_t>(length));
    note += '\0';
    note += name;
    note += '\0';
    // A note that cannot be written whole is no note: the name stays unnoted, as without a
    // state folder.
    if (::pwrite(fd, note.data(), note.size(), 0) != static_cast<ssize_t>(note.size())
        || ::ftruncate(fd, static_cast<off_t>(note.size())) != 0)
        clear_note();
}

void clear_placeholder_note()
{
    std::lock_guard<std::mutex> lock(sLock);
    clear_note();
}

std::vector<std::string> take_placeholder_notes(const std::string& folderPath)
{
    std::vector<std::string> names;
    std::string folder = state_folder(false);
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view file(entry->d_name);
        if (file.substr(0, sizeof kPrefix - 1) != kPrefix)
            continue;
        char* end = nullptr;
        long pid = std::strtol(entry->d_name + sizeof kPrefix - 1, &end, 10);
        if (end == nullptr || *end != '\0' || pid <= 0 || !writer_gone(pid))
            continue;
        std::string path = folder + "/" + entry->d_name;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        char note[4096 + 256 + 2];
        ssize_t length = ::read(fd, note, sizeof note);
        ::close(fd);
        std::string_view text(note, length > 0 ? static_cast<size_t>(length) : 0);
        size_t nul = text.find('\0');
        bool ours = nul != std::string_view::npos && text.substr(0, nul) == folderPath;
        if (ours) {
            std::string_view rest = text.substr(nul + 1);
            size_t end = rest.find('\0');
            if (end != std::string_view::npos && end > 0)
                names.emplace_back(rest.substr(0, end));
        }
        // A note for this folder is taken; an empty one was cleared and says nothing.
        if (ours || length == 0)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
    return names;
}
