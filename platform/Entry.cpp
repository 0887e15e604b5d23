// platform/Entry.cpp: entry references, entries, and the rename that never replaces.
#include "platform/Entry.h"

#include "platform/EntryTesting.h"
#include "platform/Path.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::atomic<bool> sForceLinkRename { false };
std::atomic<int> sRenameDelay { 0 };

// A leaf name that stays in its directory: not empty, not "." or "..", without "/".
bool is_plain_leaf(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// Splits path into its directory part and its leaf, ignoring trailing slashes.
void split_path(std::string path, std::string* dir, std::string* leaf)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        *dir = std::string(".");
        *leaf = path;
    } else {
        *dir = slash == 0 ? std::string("/") : path.substr(0, slash);
        *leaf = path.substr(slash + 1);
    }
}

// realpath() into a std::string; B_OK or the mapped errno.
status_t resolve(const std::string& path, std::string* resolved)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return status_for_errno(errno);
    *resolved = real;
    std::free(real);
    return B_OK;
}

bool same_node(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Moves old to new within dirFd without ever replacing new. renameat2 with RENAME_NOREPLACE
// where the file system offers it; else a hard link (which fails on an existing name) and an
// unlink of the old name. B_OK, B_FILE_EXISTS, B_ENTRY_NOT_FOUND, B_PERMISSION_DENIED,
// B_NOT_ALLOWED when neither way is possible, other mapped errno.
status_t rename_no_replace(int dirFd, const char* oldName, const char* newName)
{
    if (!sForceLinkRename.load()) {
        if (::renameat2(dirFd, oldName, dirFd, newName, RENAME_NOREPLACE) == 0)
            return B_OK;
        int error = errno;
        if (error != EINVAL && error != ENOSYS && error != ENOTSUP && error != EOPNOTSUPP)
            return status_for_errno(error);
    }

    if (::linkat(dirFd, oldName, dirFd, newName, 0) != 0) {
        int error = errno;
        // A folder the user may not write says so, before any other refusal.
        if (error == EPERM && ::faccessat(dirFd, ".", W_OK, AT_EACCESS) != 0 && errno == EACCES)
            return B_PERMISSION_DENIED;
        // Hard links refused (a directory, or a file system without them): no safe way left.
        if (error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP
            || error == EXDEV || error == ENOSYS)
            return B_NOT_ALLOWED;
        return status_for_errno(error);
    }
    if (::unlinkat(dirFd, oldName, 0) != 0) {
        int error = errno;
        // Take the new link away again, but only while it is still the same file.
        struct stat oldStat, newStat;
        if (::fstatat(dirFd, oldName, &oldStat, AT_SYMLINK_NOFOLLOW) == 0
            && ::fstatat(dirFd, newName, &newStat, AT_SYMLINK_NOFOLLOW) == 0
            && same_node(oldStat, newStat))
            ::unlinkat(dirFd, newName, 0);
        return status_for_errno(error);
    }
    return B_OK;
}

// True when newName names the same node as oldName only because the file system ignores
// case: both resolve to one node, yet no entry is spelled newName. A second hard link is
// listed under its own name, so it never counts as an alias.
bool is_case_alias(int dirFd, const char* oldName, const char* newName)
{
    struct stat oldStat, newStat;
    if (::fstatat(dirFd, oldName, &oldStat, AT_SYMLINK_NOFOLLOW) != 0
        || ::fstatat(dirFd, newName, &newStat, AT_SYMLINK_NOFOLLOW) != 0
        || !same_node(oldStat, newStat))
        return false;

    int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return false;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return false;
    }
    bool listed = false;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, newName) == 0) {
            listed = true;
            break;
        }
    }
    ::closedir(dir);
    return !listed;
}

// A case-only rename on a case-insensitive file system: old -> unique temporary -> new, and
// back to old if the second step fails.
status_t rename_through_temporary(int dirFd, const char* oldName, const char* newName)
{
    static std::atomic<unsigned> sCounter { 0 };
    for (int attempt = 0; attempt < 100; ++attempt) {
        char temporary[64];
        std::snprintf(temporary, sizeof(temporary), ".orvalin-rename-%ld-%u",
            static_cast<long>(::getpid()), sCounter.fetch_add(1));
        status_t status = rename_no_replace(dirFd, oldName, temporary);
        if (status == B_FILE_EXISTS)
            continue;
        if (status != B_OK)
            return status;
        status = rename_no_replace(dirFd, temporary, newName);
        if (status != B_OK)
            (void)rename_no_replace(dirFd, temporary, oldName);
        return status;
    }
    return B_FILE_EXISTS;
}

} // namespace

void entry_force_link_rename(bool force)
{
    sForceLinkRename.store(force);
}

void entry_delay_renames(int microseconds)
{
    sRenameDelay.store(microseconds);
}

// #pragma mark - entry_ref

entry_ref::entry_ref(dev_t device, ino_t directory, const char* directoryPath, const char* name)
    : device(device)
    , directory(directory)
    , directory_path(directoryPath ? directoryPath : "")
    , name(name ? name : "")
{
}

// B_OK; a null name clears it.
status_t entry_ref::set_name(const char* newName)
{
    name = newName ? newName : "";
    return B_OK;
}

bool entry_ref::operator==(const entry_ref& other) const
{
    return device == other.device && directory == other.directory
        && directory_path == other.directory_path && name == other.name;
}

std::string entry_ref::path() const
{
    if (directory_path.empty())
        return name;
    if (name.empty())
        return directory_path;
    if (directory_path == "/")
        return "/" + name;
    return directory_path + "/" + name;
}

status_t get_ref_for_path(const char* path, entry_ref* ref)
{
    if (path == nullptr || ref == nullptr || *path == '\0')
        return B_BAD_VALUE;

    std::string dir, leaf;
    split_path(path, &dir, &leaf);
    if (leaf.empty() || leaf == "." || leaf == "..") {
        // "/", "x/.", "x/..": the directory itself is the entry.
        std::string resolved;
        if (status_t status = resolve(path, &resolved); status != B_OK)
            return status;
        if (resolved == "/") {
            dir = std::string("/");
            leaf = std::string(".");
        } else {
            split_path(resolved, &dir, &leaf);
        }
    }

    std::string directoryPath;
    if (status_t status = resolve(dir, &directoryPath); status != B_OK)
        return status;
    struct stat st;
    if (::stat(directoryPath.c_str(), &st) != 0)
        return status_for_errno(errno);
    if (!S_ISDIR(st.st_mode))
        return status_for_errno(ENOTDIR);

    ref->device = st.st_dev;
    ref->directory = st.st_ino;
    ref->directory_path = directoryPath;
    ref->name = leaf;
    return B_OK;
}

// #pragma mark - BEntry

BEntry::BEntry() = default;

BEntry::BEntry(const entry_ref* ref, bool traverse)
{
    SetTo(ref, traverse);
}

BEntry::BEntry(const char* path, bool traverse)
{
    SetTo(path, traverse);
}

BEntry::~BEntry() = default;

// B_OK; B_BAD_VALUE (null, or a ref without directory or leaf); B_ENTRY_NOT_FOUND (the
// directory is missing, or traverse meets a dangling link); other mapped errno. The entry itself
// need not exist.
status_t BEntry::SetTo(const entry_ref* ref, bool traverse)
{
    Unset();
    if (ref == nullptr || ref->directory_path.empty() || !is_plain_leaf(ref->name)) {
        // The root directory's own ref is ("/", ".").
        if (ref == nullptr || ref->directory_path != "/" || ref->name != ".")
            return fStatus = B_BAD_VALUE;
    }

    struct stat st;
    if (::stat(ref->directory_path.c_str(), &st) != 0)
        return fStatus = status_for_errno(errno);
    if (!S_ISDIR(st.st_mode))
        return fStatus = status_for_errno(ENOTDIR);

    fRef = *ref;
    if (traverse) {
        std::string path = ref->path();
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            std::string target;
            status_t status = resolve(path, &target);
            if (status == B_OK)
                status = get_ref_for_path(target.c_str(), &fRef);
            if (status != B_OK) {
                fRef = entry_ref();
                return fStatus = status;
            }
        }
    }
    return fStatus = B_OK;
}

// B_OK, B_BAD_VALUE (null or empty path), B_ENTRY_NOT_FOUND, other mapped errno.
status_t BEntry::SetTo(const char* path, bool traverse)
{
    Unset();
    entry_ref ref;
    if (status_t status = get_ref_for_path(path, &ref); status != B_OK)
        return fStatus = status;
    return SetTo(&ref, traverse);
}

void BEntry::Unset()
{
    fRef = entry_ref();
    fStatus = B_NO_INIT;
}

bool BEntry::Exists() const
{
    struct stat st;
    return fStatus == B_OK && ::lstat(fRef.path().c_str(), &st) == 0;
}

status_t BEntry::GetRef(entry_ref* ref) const
{
    if (fStatus != B_OK)
        return fStatus;
    if (ref == nullptr)
        return B_BAD_VALUE;
    *ref = fRef;
    return B_OK;
}

// B_OK, B_BAD_VALUE (null path), B_NO_INIT.
status_t BEntry::GetPath(BPath* path) const
{
    if (path == nullptr)
        return B_BAD_VALUE;
    return path->SetTo(this);
}

// B_OK, B_BAD_VALUE (null buffer), B_NO_INIT, or the mapped ENAMETOOLONG when the leaf does
// not fit.
status_t BEntry::GetName(char* buffer) const
{
    if (buffer == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    if (fRef.name.size() >= B_FILE_NAME_LENGTH)
        return status_for_errno(ENAMETOOLONG);
    std::memcpy(buffer, fRef.name.c_str(), fRef.name.size() + 1);
    return B_OK;
}

status_t BEntry::Rename(const char* name, bool clobber)
{
    if (int delay = sRenameDelay.load(); delay > 0)
        ::usleep(static_cast<useconds_t>(delay));
    if (fStatus != B_OK)
        return fStatus;
    if (name == nullptr || !is_plain_leaf(name))
        return B_BAD_VALUE;
    if (clobber)
        return B_NOT_ALLOWED;

    int dirFd = ::open(fRef.directory_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return status_for_errno(errno);
    // The folder must still be the one the reference was made in: a file never moves elsewhere.
    struct stat st;
    if (::fstat(dirFd, &st) != 0) {
        int error = errno;
        ::close(dirFd);
        return status_for_errno(error);
    }
    if (fRef.device != static_cast<dev_t>(-1)
        && (st.st_dev != fRef.device || st.st_ino != fRef.directory)) {
        ::close(dirFd);
        return B_ENTRY_NOT_FOUND;
    }

    status_t status;
    if (fRef.name == name) {
        // Nothing to move; report only whether the entry is there.
        status = ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? B_OK
                                                                       : status_for_errno(errno);
    } else {
        status = rename_no_replace(dirFd, fRef.name.c_str(), name);
        if (status == B_FILE_EXISTS && is_case_alias(dirFd, fRef.name.c_str(), name))
            status = rename_through_temporary(dirFd, fRef.name.c_str(), name);
    }
    ::close(dirFd);

    if (status == B_OK)
        fRef.name = name;
    return status;
}
