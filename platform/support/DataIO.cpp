// platform/support/DataIO.cpp: BMallocIO, a byte stream over a string held in memory; capped
// reads and whole writes.
#include "platform/support/DataIO.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <unistd.h>

// Bytes read (0 at the end), or B_BAD_VALUE for a null buffer.
ssize_t BMallocIO::Read(void* buffer, size_t size)
{
    if (size == 0)
        return 0;
    if (buffer == nullptr)
        return B_BAD_VALUE;
    if (fPosition >= fData.size())
        return 0;
    size_t count = std::min(size, fData.size() - fPosition);
    std::memcpy(buffer, fData.data() + fPosition, count);
    fPosition += count;
    return static_cast<ssize_t>(count);
}

// Writes at the current position, overwriting and then extending; bytes written, or B_BAD_VALUE
// for a null buffer.
ssize_t BMallocIO::Write(const void* buffer, size_t size)
{
    if (size == 0)
        return 0;
    if (buffer == nullptr)
        return B_BAD_VALUE;
    if (fPosition + size > fData.size())
        fData.resize(fPosition + size);
    std::memcpy(fData.data() + fPosition, buffer, size);
    fPosition += size;
    return static_cast<ssize_t>(size);
}

status_t read_capped(BDataIO* stream, size_t cap, std::string* bytes)
{
    bytes->clear();
    char buffer[65536];
    for (;;) {
        ssize_t read = stream->Read(buffer, std::min(sizeof buffer, cap + 1 - bytes->size()));
        if (read < 0)
            return static_cast<status_t>(read);
        if (read == 0)
            return B_OK;
        bytes->append(buffer, static_cast<size_t>(read));
        if (bytes->size() > cap) {
            bytes->resize(cap);
            return B_BAD_VALUE;
        }
    }
}

status_t write_fully(int fd, const void* bytes, size_t size, int stallMs)
{
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        if (stallMs >= 0) {
            pollfd ready { fd, POLLOUT, 0 };
            int n = ::poll(&ready, 1, stallMs);
            if (n == 0)
                return status_for_errno(ETIMEDOUT);
            if (n < 0 && errno != EINTR)
                return status_for_errno(errno);
            if (n < 0)
                continue;
        }
        ssize_t n = ::write(fd, next, stallMs >= 0 ? std::min<size_t>(size, PIPE_BUF) : size);
        if (n > 0) {
            next += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0) {
            return B_DEVICE_FULL;
        } else if (errno == EAGAIN && stallMs < 0) {
            pollfd ready { fd, POLLOUT, 0 };
            (void)::poll(&ready, 1, -1);
        } else if (errno != EINTR && errno != EAGAIN) {
            return status_for_errno(errno);
        }
    }
    return B_OK;
}
