// platform/storage/File.h: BFile, an open regular file with positioned reads and writes.
#pragma once

#include "platform/storage/Node.h"
#include "platform/support/DataIO.h"

// Open modes, as the platform numbers them.
enum : uint32 {
    B_READ_ONLY = 0x0000,
    B_WRITE_ONLY = 0x0001,
    B_READ_WRITE = 0x0002,
    B_FAIL_IF_EXISTS = 0x0100,
    B_CREATE_FILE = 0x0200,
    B_ERASE_FILE = 0x0400,
    B_OPEN_AT_END = 0x0800,
};

class BFile : public BNode, public BDataIO
{
public:
    BFile();
    BFile(const entry_ref* ref, uint32 openMode);
    BFile(const char* path, uint32 openMode);
    ~BFile() override;

    // B_OK, B_BAD_VALUE, B_ENTRY_NOT_FOUND, B_PERMISSION_DENIED, B_FILE_EXISTS, other mapped
    // errno. Links are followed.
    status_t SetTo(const entry_ref* ref, uint32 openMode);
    status_t SetTo(const char* path, uint32 openMode);
    void Unset() override;

    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;
    // seekMode is SEEK_SET, SEEK_CUR or SEEK_END; the new position or a negative status.
    off_t Seek(off_t position, uint32 seekMode);
    off_t Position() const;
    status_t GetSize(off_t* size) const;

private:
    // Opens path, which ref (if given) names; a regular file just seen under ref is opened
    // without another look.
    status_t Open(const entry_ref* ref, const char* path, uint32 openMode);

    off_t fSize = -1; // the size at the open, or -1 once a write may have changed it
    off_t fPosition = 0;
    bool fAppend = false; // opened with B_OPEN_AT_END: every write goes to the end
};
