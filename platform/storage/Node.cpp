// platform/storage/Node.cpp: BNode, a file-system node and its attributes (xattrs "user.NAME", with
// ID3v2 and MIME-database fallbacks).
#include "platform/storage/Node.h"

#include "platform/storage/Caches.h"
#include "platform/storage/Entry.h"
#include "platform/storage/id3v2/AttributeFallback.h"
#include "platform/support/OpenRegular.h"
#include "platform/support/PathParts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace
{

// What a node has read once for its attribute reads: the names of the attributes it stores
// (listed at the first read, so that an absent attribute costs no call of its own; listed
// only once a read finds nothing where the node was told to expect attributes), and what its
// fallbacks parsed, so that a file is parsed at most once per node.
struct AttributeCache {
    bool namesRead = false;
    std::optional<std::string> names; // "user.NAME" each followed by a NUL; none: not known
    bool readFirst = false; // ExpectAttributes: an attribute is read before the names are listed
    bool stores = false; // a read found a stored xattr
    FallbackSource source;
    bool songTextsRead = false;
    SongTexts songTexts;
    bool typeRead = false;
    std::optional<std::string> type;
};

std::string xattr_name(const char* name)
{
    return std::string("user.") + name;
}

// No stored value: the attribute is absent, also on a file system without xattrs.
bool means_absent(int error)
{
    return error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP;
}

bool is_string_type(type_code type)
{
    return type == B_STRING_TYPE || type == B_MIME_STRING_TYPE;
}

// A string attribute reads as its bytes plus one NUL, unless they already end in one. An empty
// value stays empty: it holds no text to terminate, and callers report a read of 0 bytes as an
// attribute that exists but is empty.
void terminate(std::string* value)
{
    if (!value->empty() && value->back() != '\0')
        value->push_back('\0');
}

} // namespace

struct BNode::Private : AttributeCache {
};

BNode::BNode() = default;

BNode::BNode(const entry_ref* ref)
{
    SetTo(ref);
}

BNode::BNode(const char* path)
{
    SetTo(path);
}

BNode::~BNode()
{
    BNode::Unset();
}

status_t BNode::SetTo(const entry_ref* ref)
{
    if (ref == nullptr) {
        Unset();
        return fStatus = B_BAD_VALUE;
    }
    std::string path = ref->path();
    return SetTo(path.c_str());
}

status_t BNode::SetTo(const char* path)
{
    Unset();
    if (path == nullptr || *path == '\0')
        return fStatus = B_BAD_VALUE;
    struct stat st;
    if (::stat(path, &st) != 0)
        return fStatus = status_for_errno(errno);
    // A regular file is opened, so its attributes are read through the descriptor rather than
    // by walking the path each time. Anything else is never opened; nor is a file we may not
    // read, whose attributes are then read by path.
    int fd = -1;
    if (S_ISREG(st.st_mode)) {
        struct stat opened;
        fd = open_regular(AT_FDCWD, path, O_RDONLY, true, &opened);
        if (fd >= 0)
            st = opened;
        else if (fd == kNotRegular)
            st = opened; // another node took the name: described as what it is now
        fd = std::max(fd, -1);
    }
    return Adopt(fd, path, st, true);
}

status_t BNode::Adopt(int fd, const char* path, const struct stat& st, bool readable)
{
    fPath = path;
    fPrivate = std::make_unique<Private>();
    fPrivate->source.st = st;
    fPrivate->source.path = path;
    fPrivate->source.fd = readable ? fd : -1;
    fFd = fd;
    return fStatus = B_OK;
}

void BNode::Unset()
{
    if (fFd >= 0)
        ::close(fFd);
    fFd = -1;
    fPath.clear();
    fPrivate.reset();
    fStatus = B_NO_INIT;
}

namespace
{

// The stored bytes of the xattr; B_OK, B_ENTRY_NOT_FOUND when none is stored, or the mapped
// errno.
status_t read_xattr(int fd, const std::string& path, const std::string& name, std::string* value)
{
    auto get = [&](void* buffer, size_t size) {
        return fd >= 0 ? ::fgetxattr(fd, name.c_str(), buffer, size)
                       : ::getxattr(path.c_str(), name.c_str(), buffer, size);
    };
    // Song texts and types are short: one call reads them. A longer value is sized first; it
    // may change between the size query and the read, so that is tried a few times.
    char small[1024];
    if (ssize_t read = get(small, sizeof small); read >= 0) {
        value->assign(small, static_cast<size_t>(read));
        return B_OK;
    }
    if (errno != ERANGE)
        return means_absent(errno) ? B_ENTRY_NOT_FOUND : status_for_errno(errno);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = get(nullptr, 0);
        if (size < 0)
            return means_absent(errno) ? B_ENTRY_NOT_FOUND : status_for_errno(errno);
        value->assign(static_cast<size_t>(size), '\0');
        if (size == 0)
            return B_OK;
        ssize_t read = get(value->data(), value->size());
        if (read >= 0) {
            value->resize(static_cast<size_t>(read));
            return B_OK;
        }
        if (errno != ERANGE)
            return means_absent(errno) ? B_ENTRY_NOT_FOUND : status_for_errno(errno);
    }
    return B_BUSY;
}

// The attribute's bytes, stored or from a fallback; B_OK, B_ENTRY_NOT_FOUND, or another
// mapped errno.
// The names of the attributes the open node stores, or none where they could not be listed.
std::optional<std::string> list_xattrs(int fd)
{
    char small[1024];
    ssize_t size = ::flistxattr(fd, small, sizeof small);
    if (size >= 0)
        return std::string(small, static_cast<size_t>(size));
    if (means_absent(errno))
        return std::string();
    // A long list may change between the size query and the read: then it stays unknown.
    size = errno == ERANGE ? ::flistxattr(fd, nullptr, 0) : -1;
    if (size < 0 || size > (1 << 16))
        return std::nullopt;
    std::string names(static_cast<size_t>(size), '\0');
    size = ::flistxattr(fd, names.data(), names.size());
    if (size < 0)
        return std::nullopt;
    names.resize(static_cast<size_t>(size));
    return names;
}

// Whether the listed names hold xname.
bool listed(const std::string& names, const std::string& xname)
{
    for (size_t at = 0; at < names.size();) {
        size_t end = names.find('\0', at);
        if (end == std::string::npos)
            end = names.size();
        if (std::string_view(names).substr(at, end - at) == xname)
            return true;
        at = end + 1;
    }
    return false;
}

status_t attribute_value(
    int fd, const std::string& path, AttributeCache* cache, const char* name, std::string* value)
{
    const std::string xname = xattr_name(name);
    status_t status;
    if (cache != nullptr && fd >= 0 && !cache->namesRead && !cache->readFirst) {
        cache->names = list_xattrs(fd);
        cache->namesRead = true;
    }
    if (cache != nullptr && cache->names && !listed(*cache->names, xname)) {
        status = B_ENTRY_NOT_FOUND;
    } else {
        status = read_xattr(fd, path, xname, value);
        // Read first, and found nothing: the names are listed after all.
        if (cache != nullptr && fd >= 0 && !cache->namesRead) {
            cache->namesRead = true;
            if (status == B_ENTRY_NOT_FOUND)
                cache->names = list_xattrs(fd);
        }
    }
    if (cache != nullptr && (status == B_OK || (cache->names && !cache->names->empty())))
        cache->stores = true;
    if (status != B_ENTRY_NOT_FOUND || cache == nullptr)
        return status;

    std::optional<std::string> fallback;
    if (std::strcmp(name, "BEOS:TYPE") == 0) {
        if (!cache->typeRead) {
            ContentTypeCache& types = content_type_cache();
            auto key = ContentTypeCache::Key::Of(
                cache->source.st, std::string(path_leaf(cache->source.path)));
            if (!types.Find(key, &cache->type)) {
                cache->type = content_type(cache->source);
                types.Keep(std::move(key), cache->type);
            }
            cache->typeRead = true;
        }
        fallback = cache->type;
    } else {
        static const struct {
            const char* name;
            std::optional<std::string> SongTexts::*text;
        } kSongAttributes[] = {
            { "Title", &SongTexts::title },
            { "Artist", &SongTexts::artist },
            { "Album", &SongTexts::album },
            { "Year", &SongTexts::year },
            { "Comment", &SongTexts::comment },
            { "Track", &SongTexts::track },
        };
        for (const auto& song : kSongAttributes) {
            if (std::strcmp(name, song.name) != 0)
                continue;
            if (!cache->songTextsRead) {
                cache->songTexts = read_id3v2_texts(cache->source);
                cache->songTextsRead = true;
            }
            fallback = cache->songTexts.*song.text;
            break;
        }
    }
    if (!fallback)
        return B_ENTRY_NOT_FOUND;
    *value = *fallback;
    return B_OK;
}

} // namespace

void BNode::ExpectAttributes(bool stored)
{
    if (fPrivate != nullptr)
        fPrivate->readFirst = stored;
}

bool BNode::StoresAttributes() const
{
    return fPrivate != nullptr && fPrivate->stores;
}

status_t BNode::GetAttrInfo(const char* name, attr_info* info) const
{
    if (fStatus != B_OK)
        return B_NO_INIT;
    if (name == nullptr || info == nullptr)
        return B_BAD_VALUE;
    std::string value;
    if (status_t status = attribute_value(fFd, fPath, fPrivate.get(), name, &value); status != B_OK)
        return status;
    // Attributes carry no type of their own on Linux: they are all text.
    info->type = B_STRING_TYPE;
    info->size = static_cast<off_t>(value.size());
    if (!value.empty() && value.back() != '\0')
        info->size++;
    return B_OK;
}

ssize_t BNode::ReadAttr(
    const char* name, type_code type, off_t offset, void* buffer, size_t length) const
{
    if (fStatus != B_OK)
        return B_NO_INIT;
    if (name == nullptr || (buffer == nullptr && length > 0) || offset < 0)
        return B_BAD_VALUE;
    std::string value;
    if (status_t status = attribute_value(fFd, fPath, fPrivate.get(), name, &value); status != B_OK)
        return status;
    if (is_string_type(type))
        terminate(&value);
    if (static_cast<uint64>(offset) >= value.size())
        return 0;
    size_t count = std::min(length, value.size() - static_cast<size_t>(offset));
    std::memcpy(buffer, value.data() + offset, count);
    return static_cast<ssize_t>(count);
}

// Stores the bytes as given (no NUL is added); offset 0 replaces the value, a later offset
// writes into it. Bytes written, B_NO_INIT, B_BAD_VALUE, or the mapped errno (the
// mapped ENOTSUP where the file system keeps no xattrs).
ssize_t BNode::WriteAttr(
    const char* name, type_code, off_t offset, const void* buffer, size_t length)
{
    if (fStatus != B_OK)
        return B_NO_INIT;
    if (name == nullptr || (buffer == nullptr && length > 0) || offset < 0)
        return B_BAD_VALUE;
    // The names known no longer hold: the next read finds them again.
    fPrivate->namesRead = false;
    fPrivate->names.reset();
    std::string xname = xattr_name(name);
    std::string bytes;
    if (offset > 0) {
        status_t status = read_xattr(fFd, fPath, xname, &bytes);
        if (status != B_OK && status != B_ENTRY_NOT_FOUND)
            return status;
        if (bytes.size() < static_cast<size_t>(offset) + length)
            bytes.resize(static_cast<size_t>(offset) + length, '\0');
    } else {
        bytes.resize(length);
    }
    if (length > 0)
        std::memcpy(bytes.data() + offset, buffer, length);
    int result = fFd >= 0 ? ::fsetxattr(fFd, xname.c_str(), bytes.data(), bytes.size(), 0)
                          : ::setxattr(fPath.c_str(), xname.c_str(), bytes.data(), bytes.size(), 0);
    if (result != 0)
        return status_for_errno(errno);
    return static_cast<ssize_t>(length);
}

// B_OK, B_ENTRY_NOT_FOUND (no stored value), B_NO_INIT, B_BAD_VALUE, other mapped errno.
status_t BNode::RemoveAttr(const char* name)
{
    if (fStatus != B_OK)
        return B_NO_INIT;
    if (name == nullptr)
        return B_BAD_VALUE;
    fPrivate->namesRead = false;
    fPrivate->names.reset();
    std::string xname = xattr_name(name);
    int result = fFd >= 0 ? ::fremovexattr(fFd, xname.c_str())
                          : ::removexattr(fPath.c_str(), xname.c_str());
    if (result != 0)
        return means_absent(errno) ? B_ENTRY_NOT_FOUND : status_for_errno(errno);
    return B_OK;
}
