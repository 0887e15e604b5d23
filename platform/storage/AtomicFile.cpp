// platform/storage/AtomicFile.cpp: atomic replacement of a file through a temporary file and
// rename.
#include "platform/storage/AtomicFile.h"
#include "platform/support/DataIO.h"
#include "platform/support/PathParts.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The file that path finally names: symbolic links followed one by one, a relative target
// taken relative to its link's directory. A dangling link yields the missing target, so that
// writing creates it. B_OK; B_BAD_TYPE where the final target is not a regular file (a device,
// FIFO, folder or socket is never replaced by one); or the mapped errno (ELOOP for a loop).
status_t resolve_links(const char* path, std::string* target)
{
    std::string current = path;
    for (int links = 0; links <= 40; links++) {
        struct stat info;
        if (::lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT)
                return status_for_errno(errno);
            break;
        }
        if (S_ISREG(info.st_mode))
            break;
        if (!S_ISLNK(info.st_mode))
            return B_BAD_TYPE;
        char buffer[PATH_MAX];
        ssize_t length = ::readlink(current.c_str(), buffer, sizeof buffer);
        if (length < 0)
            return status_for_errno(errno);
        if (static_cast<size_t>(length) == sizeof buffer)
            return status_for_errno(ENAMETOOLONG);
        std::string next(buffer, length);
        if (next.empty())
            return B_ENTRY_NOT_FOUND;
        current = next[0] == '/' ? next : path_folder(current) + "/" + next;
        if (links == 40)
            return status_for_errno(ELOOP);
    }
    *target = std::move(current);
    return B_OK;
}

} // namespace

status_t replace_file_atomically(const char* path, const std::string& bytes)
{
    if (path == nullptr || *path == '\0')
        return B_BAD_VALUE;
    // A link stays a link: the file it leads to is the one replaced, from beside itself.
    std::string target;
    status_t status = resolve_links(path, &target);
    if (status != B_OK)
        return status;
    std::string temporary = target + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return status_for_errno(errno);
    status = write_fully(fd, bytes.data(), bytes.size());
    if (status == B_OK && ::fsync(fd) != 0)
        status = status_for_errno(errno);
    if (::close(fd) != 0 && status == B_OK)
        status = status_for_errno(errno);
    if (status == B_OK && ::rename(temporary.c_str(), target.c_str()) != 0)
        status = status_for_errno(errno);
    if (status != B_OK) {
        ::unlink(temporary.c_str());
        return status;
    }
    // Make the rename itself durable.
    int dirFd = ::open(path_folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return B_OK;
}
