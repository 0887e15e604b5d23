// platform/AtomicFile.cpp: atomic replacement of a file through a temporary file and rename.
#include "platform/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace
{

status_t write_all(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return status_for_errno(errno);
        if (n == 0)
            return B_DEVICE_FULL;
        done += n;
    }
    return B_OK;
}

} // namespace

status_t replace_file_atomically(const char* path, const std::string& bytes)
{
    if (path == nullptr || *path == '\0')
        return B_BAD_VALUE;
    std::string temporary = std::string(path) + ".XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return status_for_errno(errno);
    status_t status = write_all(fd, bytes);
    if (status == B_OK && ::fsync(fd) != 0)
        status = status_for_errno(errno);
    if (::close(fd) != 0 && status == B_OK)
        status = status_for_errno(errno);
    if (status == B_OK && ::rename(temporary.c_str(), path) != 0)
        status = status_for_errno(errno);
    if (status != B_OK) {
        ::unlink(temporary.c_str());
        return status;
    }
    // Make the rename itself durable.
    std::string directory(path);
    size_t slash = directory.rfind('/');
    directory = slash == std::string::npos ? "." : slash == 0 ? "/" : directory.substr(0, slash);
    int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return B_OK;
}
