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

class BEntry;
struct node_ref;

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
    // Opens the regular file the entry names now, through the folder the entry holds where
    // its SetTo checked it, in one look at the name: *node (where given) is the node the name
    // holds, the one opened, or a link (whose target is opened, as by path) or another node
    // (nothing is opened), or unknown where the name holds nothing. B_OK, B_NO_INIT (an entry
    // not set), the mapped EISDIR, B_BAD_TYPE (a FIFO, device or socket), B_ENTRY_NOT_FOUND,
    // B_PERMISSION_DENIED, other mapped errno. *size (where given) is the size of the file
    // opened, as it was at the open.
    status_t SetTo(const BEntry& entry, uint32 openMode, node_ref* node, off_t* size = nullptr);
    void Unset() override;

    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void* buffer, size_t size) override;
    // seekMode is SEEK_SET, SEEK_CUR or SEEK_END; the new position or a negative status.
    off_t Seek(off_t position, uint32 seekMode);
    off_t Position() const;
    status_t GetSize(off_t* size) const;

private:
    // Takes over fd, the open of path with flags, whose state is st (or the status of a failed
    // open: kNotRegular, or -1 with errno set).
    status_t Take(int fd, const char* path, int flags, const struct stat& st);

    off_t fPosition = 0;
    bool fAppend = false; // opened with B_OPEN_AT_END: every write goes to the end
};
