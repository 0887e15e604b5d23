// platform/support/DataIO.cpp: BMallocIO, a byte stream over a string held in memory.
#include "platform/support/DataIO.h"

#include <algorithm>
#include <cstring>

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
