// platform/storage/Node.h: a file-system node and its typed attributes (extended attributes
// "user.NAME").
#pragma once

#include "platform/support/SupportDefs.h"

#include <memory>
#include <string>

struct entry_ref;
struct stat;

struct attr_info {
    type_code type;
    off_t size;
};

// Attributes: the attribute NAME is the extended attribute "user.NAME". A string attribute
// reads as its stored bytes followed by one NUL, unless the stored bytes already end in one.
// Where no xattr is stored, "Title", "Artist", "Album", "Year", "Comment" and "Track" come from
// the file's ID3v2 tag and "BEOS:TYPE" from the shared MIME database ("audio/x-mpeg" for MPEG
// audio; "inode/..." for files that are not regular).
// An open node reads some things once, at the first attribute read that needs them, and keeps
// them until it is set to another node: the names of the xattrs it stores, its ID3v2 texts and
// its type. A change made through the node itself lists the names again; one made elsewhere
// meanwhile is not seen by it, so a node is opened for one look at a file, not kept to watch it.
class BNode
{
public:
    BNode();
    explicit BNode(const entry_ref* ref);
    explicit BNode(const char* path);
    virtual ~BNode();
    BNode(const BNode&) = delete;
    BNode& operator=(const BNode&) = delete;

    // B_OK, B_BAD_VALUE (null), B_ENTRY_NOT_FOUND, B_PERMISSION_DENIED, other mapped errno.
    // A link is followed to its target.
    status_t SetTo(const entry_ref* ref);
    status_t SetTo(const char* path);
    virtual void Unset();
    status_t InitCheck() const { return fStatus; }

    // Whether the node most likely stores xattrs, as the file read before it did: the names
    // are then not listed before the first read (a listing costs more than several reads
    // there), only once a read finds nothing. What reads give is the same either way.
    void ExpectAttributes(bool stored);
    // Whether a read so far found a stored xattr, or the names listed any.
    bool StoresAttributes() const;

    // B_OK when the attribute exists; B_ENTRY_NOT_FOUND when it does not; B_NO_INIT;
    // B_BAD_VALUE (null argument); B_BUSY when it keeps changing size; other mapped errno.
    status_t GetAttrInfo(const char* name, attr_info* info) const;
    // Bytes read (at most length), or a negative status (B_ENTRY_NOT_FOUND, B_NO_INIT,
    // B_BAD_VALUE, B_BUSY, other mapped errno).
    ssize_t ReadAttr(
        const char* name, type_code type, off_t offset, void* buffer, size_t length) const;
    // Stores the bytes as given; bytes written or a negative status (B_NO_INIT, B_BAD_VALUE,
    // the mapped ENOTSUP where the file system keeps no attributes, other mapped errno).
    [[nodiscard]] ssize_t WriteAttr(
        const char* name, type_code type, off_t offset, const void* buffer, size_t length);
    // B_OK, B_NO_INIT, B_BAD_VALUE, B_ENTRY_NOT_FOUND, other mapped errno.
    [[nodiscard]] status_t RemoveAttr(const char* name);

protected:
    // Takes over fd (an open descriptor of the node at path, or -1 to work by path); st is the
    // node's state, readable whether fd may be read from.
    status_t Adopt(int fd, const char* path, const struct stat& st, bool readable);

    // The node's open descriptor (closed by Unset), or -1 where the node could not be opened.
    int fFd = -1;
    std::string fPath;
    status_t fStatus = B_NO_INIT;

    struct Private;
    std::unique_ptr<Private> fPrivate; // what attribute reads read once (see above)
};
