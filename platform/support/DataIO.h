// platform/support/DataIO.h: byte streams that messages flatten into and unflatten from.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

class BDataIO
{
public:
    virtual ~BDataIO() = default;
    // Bytes transferred, or a negative status.
    virtual ssize_t Read(void* buffer, size_t size) = 0;
    virtual ssize_t Write(const void* buffer, size_t size) = 0;
};

// Reads stream to its end into *bytes, never more than one byte past cap. B_OK with the whole
// content; B_BAD_VALUE when there is more than cap (*bytes then holds the first cap bytes); or
// the stream's read error (*bytes holds what came before it).
status_t read_capped(BDataIO* stream, size_t cap, std::string* bytes);

// Writes size bytes to the descriptor fd, whatever number of writes it takes: after EINTR and
// short writes it goes on, and where fd is non-blocking (EAGAIN) it waits in poll as a blocking
// write would. With stallMs >= 0, it waits at most that long for fd to take anything, before
// each write, and writes at most PIPE_BUF bytes at once (a pipe with any room takes them whole),
// so that it never blocks longer. B_OK; B_DEVICE_FULL where a write takes nothing; the mapped
// ETIMEDOUT after a stall; other mapped errno.
status_t write_fully(int fd, const void* bytes, size_t size, int stallMs = -1);

// A stream over a byte string held in memory.
class BMallocIO : public BDataIO
{
public:
    BMallocIO() = default;
    explicit BMallocIO(std::string bytes)
        : fData(std::move(bytes))
    {
    }
    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;
    const std::string& Bytes() const { return fData; }

private:
    std::string fData;
    size_t fPosition = 0;
};
