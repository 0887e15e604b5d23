// platform/storage/Path.cpp: BPath, an absolute path held as bytes.
#include "platform/storage/Path.h"

#include "platform/storage/Entry.h"
#include "platform/support/PathParts.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{

// The working directory; empty when it cannot be had.
std::string working_directory()
{
    std::string buffer(256, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return buffer.c_str();
}

// Resolves ".", ".." and links of path; a missing last component is kept as it is.
status_t normalized(const std::string& path, std::string* result)
{
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        *result = real;
        std::free(real);
        return B_OK;
    }
    int error = errno;
    std::string leaf(path_leaf(path));
    if (error != ENOENT || path.find('/') == std::string::npos || leaf == "." || leaf == "..")
        return status_for_errno(error);
    std::string dir = path_folder(path);
    char* real = ::realpath(dir.c_str(), nullptr);
    if (real == nullptr)
        return status_for_errno(errno);
    std::string base = real;
    std::free(real);
    *result = base == "/" ? "/" + leaf : base + "/" + leaf;
    return B_OK;
}

} // namespace

BPath::BPath(const char* dir, const char* leaf, bool normalize)
{
    SetTo(dir, leaf, normalize);
}

status_t BPath::SetTo(const BEntry* entry)
{
    Unset();
    if (entry == nullptr)
        return fStatus = B_BAD_VALUE;
    entry_ref ref;
    if (status_t status = entry->GetRef(&ref); status != B_OK)
        return fStatus = status;
    fPath = ref.path();
    return fStatus = B_OK;
}

status_t BPath::SetTo(const char* dir, const char* leaf, bool normalize)
{
    Unset();
    if (dir == nullptr || *dir == '\0')
        return fStatus = B_BAD_VALUE;
    if (leaf != nullptr && std::strchr(leaf, '/') != nullptr)
        return fStatus = B_BAD_VALUE;

    std::string path = dir;
    if (path.front() != '/') {
        std::string cwd = working_directory();
        if (cwd.empty())
            return fStatus = status_for_errno(errno);
        path = cwd == "/" ? "/" + path : cwd + "/" + path;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (leaf != nullptr && *leaf != '\0')
        path += (path == "/" ? std::string() : std::string("/")) + leaf;

    if (normalize) {
        std::string result;
        if (status_t status = normalized(path, &result); status != B_OK)
            return fStatus = status;
        path = result;
    }
    fPath = path;
    return fStatus = B_OK;
}

// B_OK, B_NO_INIT (path not set), B_BAD_VALUE (leaf containing "/").
status_t BPath::Append(const char* leaf, bool normalize)
{
    if (fStatus != B_OK)
        return fStatus;
    std::string dir = fPath;
    return SetTo(dir.c_str(), leaf, normalize);
}

void BPath::Unset()
{
    fPath.clear();
    fStatus = B_NO_INIT;
}

const char* BPath::Path() const
{
    return fStatus == B_OK ? fPath.c_str() : nullptr;
}

const char* BPath::Leaf() const
{
    if (fStatus != B_OK)
        return nullptr;
    return fPath.c_str() + (fPath.size() - path_leaf(fPath).size());
}
