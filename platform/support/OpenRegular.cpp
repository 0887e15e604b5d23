// platform/support/OpenRegular.cpp: opening a regular file and nothing else, even racing, and a
// folder's listing.
#include "platform/support/OpenRegular.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace
{

// The node at name, pinned without opening it; its state in *st. -1 with errno set.
int pin(int dirFd, const char* name, bool follow, struct stat* st)
{
    int fd = ::openat(dirFd, name, O_PATH | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd >= 0 && ::fstat(fd, st) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// The process's /proc/self/fd, held open so that a reopen looks up one name, not four; -1
// without /proc; -2 (errno set) where it cannot be opened now (out of descriptors), asked
// again at the next reopen. A forked child opens its own: the one held lists its parent's
// descriptors.
std::atomic<int> sProcDescriptors { -2 }; // -2: not opened yet

void forget_proc_descriptors()
{
    if (int fd = sProcDescriptors.exchange(-2); fd >= 0)
        ::close(fd);
}

int proc_descriptors()
{
    int fd = sProcDescriptors.load(std::memory_order_acquire);
    if (fd != -2)
        return fd;
    static std::once_flag registered;
    std::call_once(registered, [] { ::pthread_atfork(nullptr, nullptr, forget_proc_descriptors); });
    int opened = ::open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0 && errno != ENOENT)
        return -2;
    if (opened < 0)
        opened = -1;
    int expected = -2;
    if (sProcDescriptors.compare_exchange_strong(expected, opened))
        return opened;
    if (opened >= 0)
        ::close(opened); // another thread's came first
    return expected;
}

// Opens the pinned regular file itself with flags; -1 with errno set.
int reopen(int pinned, int dirFd, const char* name, int flags, bool follow, const struct stat& st)
{
    const int descriptors = proc_descriptors();
    if (descriptors == -2)
        return -1;
    if (descriptors >= 0) {
        char number[16];
        *std::to_chars(number, number + sizeof number - 1, pinned).ptr = '\0';
        return ::openat(descriptors, number, flags);
    }
    // No /proc: the name once more, without waiting on whatever holds it now, and only where it
    // is still the node checked.
    int fd = ::openat(dirFd, name, flags | (follow ? 0 : O_NOFOLLOW));
    struct stat now;
    if (fd >= 0 && (::fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)) {
        ::close(fd);
        errno = ENOENT;
        return -1;
    }
    return fd;
}

} // namespace

int open_regular(int dirFd, const char* name, int flags, bool follow, struct stat* st)
{
    const int create = flags & O_CREAT;
    const bool exclusive = create && (flags & O_EXCL);
    flags = (flags & ~(O_CREAT | O_EXCL | O_NOFOLLOW)) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (exclusive) {
        // Made here and now: nothing else can be under the name this opens.
        int fd = ::openat(dirFd, name, flags | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd >= 0 && ::fstat(fd, st) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        int pinned = pin(dirFd, name, follow, st);
        if (pinned < 0) {
            if (errno != ENOENT || !create)
                return -1;
            // Made here and now: nothing else can be under the name this opens.
            int fd = ::openat(dirFd, name, flags | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
            if (fd >= 0 && ::fstat(fd, st) == 0)
                return fd;
            if (fd >= 0) {
                ::close(fd);
                return -1;
            }
            if (errno != EEXIST)
                return -1;
            continue; // taken meanwhile: pinned as any other
        }
        if (!S_ISREG(st->st_mode)) {
            ::close(pinned);
            return kNotRegular;
        }
        int fd = reopen(pinned, dirFd, name, flags, follow, *st);
        int error = errno;
        ::close(pinned);
        errno = error;
        return fd;
    }
    errno = EEXIST;
    return -1;
}

int stat_through_handle(int dirFd, const char* name, struct stat* st)
{
    int pinned = pin(dirFd, name, false, st);
    if (pinned < 0)
        return -1;
    int fd = S_ISREG(st->st_mode)
        ? reopen(pinned, dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, false, *st)
        : -1;
    ::close(pinned);
    if (fd < 0)
        return 0; // not a file, or one we may not read: what the pinned node showed
    // Asked of the file system for the open file: FUSE passes the handle on (sshfs asks the
    // server about the open file), where a lookup by path may be answered from a cache.
    struct statx sx;
    int result = ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_BASIC_STATS, &sx);
    ::close(fd);
    if (result != 0)
        return 0;
    st->st_ino = sx.stx_ino;
    st->st_size = static_cast<off_t>(sx.stx_size);
    st->st_nlink = sx.stx_nlink;
    st->st_mode = sx.stx_mode;
    st->st_uid = sx.stx_uid;
    st->st_mtim = { static_cast<time_t>(sx.stx_mtime.tv_sec), sx.stx_mtime.tv_nsec };
    st->st_ctim = { static_cast<time_t>(sx.stx_ctime.tv_sec), sx.stx_ctime.tv_nsec };
    return 0;
}

DIR* open_listing(int dirFd)
{
    int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return nullptr;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        int error = errno;
        ::close(listFd);
        errno = error;
    }
    return dir;
}
