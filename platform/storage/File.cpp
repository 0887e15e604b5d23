// platform/storage/File.cpp: BFile, an open regular file with positioned reads and writes.
#include "platform/storage/File.h"

#include "platform/storage/Entry.h"
#include "platform/support/OpenRegular.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const uint32 kKnownModes = 0x3 | B_FAIL_IF_EXISTS | B_CREATE_FILE | B_ERASE_FILE | B_OPEN_AT_END;

// The open(2) flags of an open mode, or -1 for a mode that makes no sense.
int open_flags(uint32 openMode)
{
    if ((openMode & ~kKnownModes) != 0)
        return -1;
    int flags;
    switch (openMode & 0x3) {
    case B_READ_ONLY:
        flags = O_RDONLY;
        break;
    case B_WRITE_ONLY:
        flags = O_WRONLY;
        break;
    case B_READ_WRITE:
        flags = O_RDWR;
        break;
    default:
        return -1;
    }
    if (openMode & B_FAIL_IF_EXISTS)
        flags |= O_EXCL;
    if (openMode & B_CREATE_FILE)
        flags |= O_CREAT;
    if (openMode & B_ERASE_FILE)
        flags |= O_TRUNC;
    if (openMode & B_OPEN_AT_END)
        flags |= O_APPEND;
    return flags;
}

// Status for a node that is not a regular file.
status_t not_regular(const struct stat& st)
{
    return S_ISDIR(st.st_mode) ? status_for_errno(EISDIR) : B_BAD_TYPE;
}

} // namespace

BFile::BFile() = default;

BFile::BFile(const entry_ref* ref, uint32 openMode)
{
    SetTo(ref, openMode);
}

BFile::BFile(const char* path, uint32 openMode)
{
    SetTo(path, openMode);
}

BFile::~BFile()
{
    BFile::Unset();
}

status_t BFile::SetTo(const entry_ref* ref, uint32 openMode)
{
    if (ref == nullptr) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    std::string path = ref->path();
    return SetTo(path.c_str(), openMode);
}

// Only regular files open: a directory gives the mapped EISDIR, a FIFO, device or socket
// B_BAD_TYPE, and none of them is ever opened in a way that could block.
status_t BFile::SetTo(const char* path, uint32 openMode)
{
    Unset();
    int flags = open_flags(openMode);
    if (path == nullptr || *path == '\0' || flags < 0)
        return fStatus = B_BAD_VALUE;
    struct stat st;
    return Take(open_regular(AT_FDCWD, path, flags, true, &st), path, flags, st);
}

status_t BFile::SetTo(const BEntry& entry, uint32 openMode, node_ref* node, off_t* size)
{
    Unset();
    if (node != nullptr)
        *node = node_ref();
    if (size != nullptr)
        *size = 0;
    int flags = open_flags(openMode);
    if (flags < 0)
        return fStatus = B_BAD_VALUE;
    if (entry.InitCheck() != B_OK)
        return fStatus = entry.InitCheck();
    struct stat st;
    int fd = open_entry_regular(entry, flags, &st);
    int error = errno;
    if ((fd >= 0 || fd == kNotRegular) && node != nullptr)
        set_node_ref(st, node);
    entry_ref ref;
    (void)entry.GetRef(&ref);
    std::string path = ref.path();
    // A link is the entry's node; what is opened is its target, as any open by path finds it.
    if (fd == kNotRegular && S_ISLNK(st.st_mode))
        fd = open_regular(AT_FDCWD, path.c_str(), flags, true, &st);
    else
        errno = error;
    if (fd >= 0 && size != nullptr)
        *size = st.st_size;
    return Take(fd, path.c_str(), flags, st);
}

status_t BFile::Take(int fd, const char* path, int flags, const struct stat& st)
{
    if (fd == kNotRegular)
        return fStatus = not_regular(st);
    if (fd < 0)
        return fStatus = status_for_errno(errno);
    // O_NONBLOCK stays: it kept the open from waiting on a FIFO, and a regular file's reads and
    // writes never wait for it.
    fPosition = 0;
    fAppend = (flags & O_APPEND) != 0;
    // The node part, attributes included, works on the same descriptor.
    return Adopt(fd, path, st, (flags & O_ACCMODE) != O_WRONLY);
}

void BFile::Unset()
{
    fPosition = 0;
    fAppend = false;
    BNode::Unset();
}

// The position is kept here rather than in the descriptor, so that reads and writes are
// positioned (pread, pwrite) and a seek costs no system call.

// Bytes read (0 at the end), B_NO_INIT, B_BAD_VALUE, other mapped errno.
ssize_t BFile::Read(void* buffer, size_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    if (buffer == nullptr && size > 0)
        return B_BAD_VALUE;
    ssize_t n;
    do
        n = ::pread(fFd, buffer, size, fPosition);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return status_for_errno(errno);
    fPosition += n;
    return n;
}

// Bytes written (all of them unless the disk fills up), B_NO_INIT, B_BAD_VALUE,
// B_DEVICE_FULL, other mapped errno. A file opened at its end appends every write.
ssize_t BFile::Write(const void* buffer, size_t size)
{
    if (fFd < 0)
        return B_NO_INIT;
    if (buffer == nullptr && size > 0)
        return B_BAD_VALUE;
    const char* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = fAppend ? ::write(fFd, bytes + done, size - done)
                            : ::pwrite(fFd, bytes + done, size - done, fPosition);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (done > 0)
                break;
            return status_for_errno(errno);
        }
        done += static_cast<size_t>(n);
        fPosition += n;
    }
    if (fAppend) {
        // Appended at the end, wherever the position was: the position follows the file's end.
        if (off_t end = ::lseek(fFd, 0, SEEK_CUR); end >= 0)
            fPosition = end;
    }
    return static_cast<ssize_t>(done);
}

// The new position; B_NO_INIT, B_BAD_VALUE (unknown mode, or a position before the start),
// other mapped errno (the size could not be had).
off_t BFile::Seek(off_t position, uint32 seekMode)
{
    if (fFd < 0)
        return B_NO_INIT;
    off_t base;
    switch (seekMode) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = fPosition;
        break;
    case SEEK_END:
        if (status_t status = GetSize(&base); status != B_OK)
            return status;
        break;
    default:
        return B_BAD_VALUE;
    }
    off_t result;
    if (__builtin_add_overflow(base, position, &result) || result < 0)
        return B_BAD_VALUE;
    fPosition = result;
    return result;
}

// The current position, or B_NO_INIT.
off_t BFile::Position() const
{
    if (fFd < 0)
        return B_NO_INIT;
    return fPosition;
}

// B_OK, B_NO_INIT, B_BAD_VALUE (null), other mapped errno.
status_t BFile::GetSize(off_t* size) const
{
    if (fFd < 0)
        return B_NO_INIT;
    if (size == nullptr)
        return B_BAD_VALUE;
    struct stat st;
    if (::fstat(fFd, &st) != 0)
        return status_for_errno(errno);
    *size = st.st_size;
    return B_OK;
}
