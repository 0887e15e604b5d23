// platform/storage/Entry.cpp: entry references, their held folders, and entries.
#include "platform/storage/Entry.h"

#include "platform/storage/Caches.h"
#include "platform/storage/Path.h"
#include "platform/storage/rename/FileSystemTraits.h"
#include "platform/storage/rename/Journal.h"
#include "platform/storage/rename/Rename.h"
#include "platform/storage/rename/TestSeams.h"
#include "platform/support/OpenRegular.h"
#include "platform/support/PathParts.h"
#include "platform/support/Utf8.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

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
    *dir = path_folder(path);
    *leaf = path_leaf(path);
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

// Whether now is the node loaded as `loaded`. Where inode numbers do not identify a file
// (FUSE file systems such as sshfs and exFAT give them per path), its size and times must
// match as well.
bool is_loaded_node(const struct stat& now, const node_ref& loaded, bool pathInodes)
{
    if (now.st_dev != loaded.device || now.st_ino != loaded.node)
        return false;
    if (!pathInodes || !loaded.has_times)
        return true;
    return now.st_size == loaded.size && now.st_mtim.tv_sec == loaded.modified.tv_sec
        && now.st_mtim.tv_nsec == loaded.modified.tv_nsec
        && now.st_ctim.tv_sec == loaded.changed.tv_sec
        && now.st_ctim.tv_nsec == loaded.changed.tv_nsec;
}

} // namespace

// #pragma mark - directory_handle

// An open directory (O_PATH: it can be neither read nor written through) and its identity.
struct directory_handle {
    directory_handle(int fd, const struct stat& st)
        : fd(fd)
        , device(st.st_dev)
        , node(st.st_ino)
    {
    }
    ~directory_handle();
    directory_handle(const directory_handle&) = delete;
    directory_handle& operator=(const directory_handle&) = delete;

    // The traits of the folder's file system, learnt once: an open folder keeps its mount
    // from being replaced.
    FileSystemTraits Traits() const
    {
        std::call_once(traitsOnce, [this] { traits = file_system_traits(fd); });
        return traits;
    }

    int fd;
    dev_t device;
    ino_t node;
    mutable RenameLessons lessons;

private:
    mutable std::once_flag traitsOnce;
    mutable FileSystemTraits traits;
};

namespace
{

// Held folders are few (a selection is mostly one folder), but a search result may span
// thousands: past this many, references carry no handle and a rename opens its folder itself.
const int kMaxHeldFolders = 64;
std::atomic<int> sHeldFolders { 0 };

// How long one look at a folder's path stands for the entries set after it in that folder.
constexpr int64_t kFolderLookStands = 1000000000; // a second

int64_t steady_nanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Opens the directory at path (O_PATH) and puts its state in *st: the descriptor, or -1 with
// the mapped errno in *status.
int open_directory(const std::string& path, struct stat* st, status_t* status)
{
    int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ::fstat(fd, st) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        fd = -1;
    }
    if (fd < 0)
        *status = status_for_errno(errno);
    return fd;
}

// Opens the directory at path and puts its state in *st. The handle is null when no more
// folders may be held (*st is then from stat) or on failure: B_OK, the mapped ENOTDIR, or the
// mapped errno.
status_t open_folder(
    const std::string& path, struct stat* st, std::shared_ptr<const directory_handle>* handle)
{
    handle->reset();
    if (sHeldFolders.load() >= kMaxHeldFolders) {
        if (::stat(path.c_str(), st) != 0)
            return status_for_errno(errno);
        return S_ISDIR(st->st_mode) ? B_OK : status_for_errno(ENOTDIR);
    }
    status_t status;
    int fd = open_directory(path, st, &status);
    if (fd < 0)
        return status;
    *handle = std::make_shared<const directory_handle>(fd, *st);
    sHeldFolders++;
    return B_OK;
}

} // namespace

directory_handle::~directory_handle()
{
    ::close(fd);
    sHeldFolders--;
}

void set_node_ref(const struct stat& st, node_ref* ref)
{
    ref->device = st.st_dev;
    ref->node = st.st_ino;
    ref->size = st.st_size;
    ref->modified = st.st_mtim;
    ref->changed = st.st_ctim;
    ref->has_times = true;
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

    // A relative directory depends on the working directory, so only absolute ones are kept.
    bool keep = dir.front() == '/';
    LastFolderCache& cache = last_folder_cache();
    if (keep) {
        LastFolderCache::Folder known;
        std::shared_ptr<const directory_handle> handle;
        struct stat st;
        if (cache.Find(dir, &known, &handle) && ::stat(known.resolved.c_str(), &st) == 0
            && S_ISDIR(st.st_mode) && st.st_dev == known.device && st.st_ino == known.node) {
            ref->device = st.st_dev;
            ref->directory = st.st_ino;
            ref->directory_path = known.resolved;
            ref->name = leaf;
            ref->folder = std::move(handle);
            return B_OK;
        }
    }

    std::string directoryPath;
    if (status_t status = resolve(dir, &directoryPath); status != B_OK)
        return status;
    struct stat st;
    std::shared_ptr<const directory_handle> handle;
    if (status_t status = open_folder(directoryPath, &st, &handle); status != B_OK)
        return status;

    ref->device = st.st_dev;
    ref->directory = st.st_ino;
    ref->directory_path = directoryPath;
    ref->name = leaf;
    ref->folder = handle;
    if (keep)
        cache.Keep({ dir, directoryPath, st.st_dev, st.st_ino, handle != nullptr, handle });
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
    fFolderChecked = st.st_dev == ref->device && st.st_ino == ref->directory;
    fFolderCheckedAt = steady_nanoseconds();
    if (traverse) {
        std::string path = ref->path();
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            std::string target;
            status_t status = resolve(path, &target);
            if (status == B_OK)
                status = get_ref_for_path(target.c_str(), &fRef);
            if (status != B_OK) {
                fRef = entry_ref();
                fFolderChecked = false;
                return fStatus = status;
            }
            fFolderChecked = true; // resolved just now
        }
    }
    return fStatus = B_OK;
}

status_t BEntry::SetTo(const entry_ref* ref, const BEntry& before)
{
    const directory_handle* folder = before.CheckedFolder();
    if (ref == nullptr || folder == nullptr || ref->folder.get() != folder
        || ref->device != before.fRef.device || ref->directory != before.fRef.directory
        || ref->directory_path != before.fRef.directory_path || !is_plain_leaf(ref->name)
        || steady_nanoseconds() - before.fFolderCheckedAt >= kFolderLookStands)
        return SetTo(ref, false);
    const int64_t checkedAt = before.fFolderCheckedAt;
    fRef = *ref;
    fFolderChecked = true;
    fFolderCheckedAt = checkedAt;
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
    fFolderChecked = false;
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

// B_OK, B_NO_INIT, B_BAD_VALUE (null), or the mapped errno.
status_t BEntry::GetNodeRef(node_ref* ref) const
{
    if (ref == nullptr)
        return B_BAD_VALUE;
    if (fStatus != B_OK)
        return fStatus;
    struct stat st;
    const directory_handle* folder = CheckedFolder();
    if ((folder != nullptr ? ::fstatat(folder->fd, fRef.name.c_str(), &st, AT_SYMLINK_NOFOLLOW)
                           : ::lstat(fRef.path().c_str(), &st))
        != 0)
        return status_for_errno(errno);
    set_node_ref(st, ref);
    return B_OK;
}

const directory_handle* BEntry::CheckedFolder() const
{
    const directory_handle* folder = fRef.folder.get();
    if (folder != nullptr && fFolderChecked && folder->device == fRef.device
        && folder->node == fRef.directory)
        return folder;
    return nullptr;
}

int open_entry_regular(const BEntry& entry, int flags, struct stat* st)
{
    if (entry.fStatus != B_OK) {
        errno = ENOENT;
        return -1;
    }
    if (const directory_handle* folder = entry.CheckedFolder())
        return open_regular(folder->fd, entry.fRef.name.c_str(), flags, false, st);
    return open_regular(AT_FDCWD, entry.fRef.path().c_str(), flags, false, st);
}

status_t get_name_rules(const entry_ref& ref, name_rules* rules)
{
    if (rules == nullptr)
        return B_BAD_VALUE;
    *rules = name_rules();
    FileSystemTraits traits;
    if (const directory_handle* folder = ref.folder.get(); folder != nullptr) {
        traits = folder->Traits();
    } else {
        struct stat st;
        status_t opened;
        int dirFd = open_directory(ref.directory_path, &st, &opened);
        if (dirFd < 0)
            return opened;
        traits = file_system_traits(dirFd);
        ::close(dirFd);
    }
    rules->utf16_names = traits.utf16Names;
    if (traits.utf16Names && traits.utf16UnitNames) {
        // 255 UTF-16 units are at most 765 bytes.
        rules->max_utf16_units = 255;
        rules->max_bytes = 765;
    }
    return B_OK;
}

status_t BEntry::Rename(const char* name, bool clobber)
{
    node_ref unknown;
    return Rename(name, clobber, unknown);
}

status_t BEntry::Rename(const char* name, bool clobber, node_ref& loaded)
{
    if (int delay = seams::rename_delay(); delay > 0)
        ::usleep(static_cast<useconds_t>(delay));
    if (fStatus != B_OK)
        return fStatus;
    if (name == nullptr || !is_plain_leaf(name))
        return B_BAD_VALUE;
    if (clobber)
        return B_NOT_ALLOWED;

    // The folder must still be the one the reference was made in: a file never moves elsewhere.
    // A reference that holds its folder open renames through it, once SetTo has seen the
    // folder's path still name that folder; otherwise the folder is opened and checked here.
    int dirFd;
    bool held = false;
    RenameLessons* lessons = nullptr;
    FileSystemTraits traits;
    dev_t folderDevice = fRef.device;
    ino_t folderNode = fRef.directory;
    if (const directory_handle* folder = CheckedFolder()) {
        dirFd = folder->fd;
        held = true;
        lessons = &folder->lessons;
        traits = folder->Traits();
    } else {
        struct stat st;
        status_t opened;
        dirFd = open_directory(fRef.directory_path, &st, &opened);
        if (dirFd < 0)
            return opened;
        if (fRef.device != static_cast<dev_t>(-1)
            && (st.st_dev != fRef.device || st.st_ino != fRef.directory)) {
            ::close(dirFd);
            return B_ENTRY_NOT_FOUND;
        }
        folderDevice = st.st_dev;
        folderNode = st.st_ino;
    }

    status_t status;
    struct stat ours;
    if (!held)
        traits = file_system_traits(dirFd);
    // Where inode numbers do not identify a file, its size and times do; where its files change
    // elsewhere, as the file system gives them for the open file: sshfs answers a lookup by
    // path from a cache that may still describe a file the name no longer holds.
    const auto look = [&](struct stat* st) {
        return traits.remote ? stat_through_handle(dirFd, fRef.name.c_str(), st)
                             : ::fstatat(dirFd, fRef.name.c_str(), st, AT_SYMLINK_NOFOLLOW);
    };
    if (traits.utf16Names && !is_strict_utf8(name)) {
        // Such a file system may take the name and then be unable to list the folder.
        status = B_BAD_VALUE;
    } else if (look(&ours) != 0) {
        status = status_for_errno(errno);
    } else if (loaded.node != 0 && !is_loaded_node(ours, loaded, traits.pathInodes)) {
        // Another file has taken the name since it was loaded.
        status = B_ENTRY_NOT_FOUND;
    } else if (fRef.name == name) {
        status = B_OK; // nothing to move
    } else {
        // Journaled first, with every step below that may leave something behind: what undo
        // puts back, and what a later start finishes if this run is killed.
        journal_folder_scope journaled(folderDevice, folderNode, fRef.directory_path);
        const std::string from = fRef.name;
        journal_note(journal_step::rename, from.c_str(), name, ours);
        std::string actual = fRef.name;
        status = move_no_replace(dirFd, fRef.name.c_str(), name, ours, lessons);
        if (status == B_OK)
            actual = name;
        else if (status == B_FILE_EXISTS && is_case_alias(dirFd, fRef.name.c_str(), name, ours))
            status = rename_case(
                dirFd, fRef.name.c_str(), name, ours, !traits.fuseFat, &actual, lessons);
        fRef.name = actual;
        journal_note(journal_step::done, from.c_str(), name, ours);
        // A rename may change the file's change time (NTFS-3G does): where the times are part
        // of the identity, the loaded identity follows, so that the next rename of the same
        // load still recognises the file. Elsewhere the node alone identifies it.
        struct stat now;
        if (loaded.node != 0 && traits.pathInodes && names_node(dirFd, actual.c_str(), ours, &now))
            set_node_ref(now, &loaded);
    }
    if (!held)
        ::close(dirFd);
    return status;
}
