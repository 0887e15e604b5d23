// platform/Entry.cpp: entry references, entries, and the rename that never replaces.
#include "platform/Entry.h"

#include "platform/EntryTesting.h"
#include "platform/Path.h"
#include "platform/RenameMarks.h"
#include "platform/Utf8.h"

#include <QChar>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{

std::atomic<RenameWay> sForcedWay { RenameWay::NoReplace };
std::mutex sHooksLock;
std::deque<int> sInjectedErrors;
std::function<void()> sBetweenLinkAndUnlink;
std::atomic<int> sRenameDelay { 0 };

// The failure a test injected for this move, or 0.
int injected_failure()
{
    std::lock_guard<std::mutex> lock(sHooksLock);
    if (sInjectedErrors.empty())
        return 0;
    int error = sInjectedErrors.front();
    sInjectedErrors.pop_front();
    return error;
}

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

// What a rename must know of the file system a folder is on.
struct FileSystemTraits {
    bool fuse = false; // lookups are cached
    bool pathInodes = false; // FUSE numbers nodes as it meets paths, not files
    bool utf16Names = false; // names are stored as UTF-16: only strict UTF-8 converts
    bool fuseFat = false; // fusefat: a rename onto a case variant frees the file's clusters
};

// Whether the first bytes of a volume are the boot sector of FAT, exFAT or NTFS.
bool is_windows_volume(const std::string& source)
{
    std::ifstream volume(source, std::ios::binary);
    char sector[512] = {};
    if (!volume.read(sector, sizeof sector))
        return false;
    std::string_view oem(sector + 3, 8), fat16(sector + 54, 5), fat32(sector + 82, 5);
    return oem == "EXFAT   " || oem == "NTFS    "
        || ((fat16 == "FAT12" || fat16 == "FAT16" || fat32 == "FAT32")
            && static_cast<unsigned char>(sector[510]) == 0x55
            && static_cast<unsigned char>(sector[511]) == 0xAA);
}

// A field of the mount table, whose spaces, tabs, newlines and backslashes are octal escapes.
std::string unescape_mount_field(std::string_view field)
{
    std::string text;
    for (size_t at = 0; at < field.size(); ++at) {
        if (field[at] == '\\' && at + 3 < field.size() && field[at + 1] >= '0'
            && field[at + 1] <= '3') {
            text += static_cast<char>(
                (field[at + 1] - '0') << 6 | (field[at + 2] - '0') << 3 | (field[at + 3] - '0'));
            at += 3;
        } else {
            text += field[at];
        }
    }
    return text;
}

// The traits of a FUSE mount, from its type in the mount table: "fuse.SUBTYPE" names the
// daemon; a bare "fuse" or "fuseblk" is told by its volume's boot sector where that can be read
// (a block device without a subtype is almost always a Windows volume).
void read_fuse_traits(dev_t device, FileSystemTraits* traits)
{
    std::ifstream table("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(table, line);) {
        // "ID PARENT MAJOR:MINOR ROOT POINT OPTIONS [TAGS...] - TYPE SOURCE OPTIONS"
        size_t first = line.find(' '), second = line.find(' ', first + 1);
        if (second == std::string::npos || line.compare(second + 1, wanted.size(), wanted) != 0
            || line[second + 1 + wanted.size()] != ' ')
            continue;
        size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            return;
        // A daemon that passes its own inode numbers on (NTFS-3G) shows one at the mount's
        // root; otherwise the root is FUSE's own node 1, and the numbers follow paths.
        size_t root = line.find(' ', second + 1), point = line.find(' ', root + 1);
        size_t options = line.find(' ', point + 1);
        struct stat st;
        if (options != std::string::npos && line.compare(root + 1, point - root - 1, "/") == 0
            && ::stat(
                   unescape_mount_field(line.substr(point + 1, options - point - 1)).c_str(), &st)
                == 0
            && st.st_dev == device)
            traits->pathInodes = st.st_ino == 1;
        std::string_view rest(line);
        rest.remove_prefix(dash + 3);
        std::string_view type = rest.substr(0, rest.find(' '));
        rest.remove_prefix(std::min(rest.size(), type.size() + 1));
        std::string source(rest.substr(0, rest.find(' ')));
        size_t dot = type.find('.');
        std::string_view subtype = dot == std::string_view::npos ? "" : type.substr(dot + 1);
        traits->fuseFat = subtype == "fusefat";
        if (subtype.empty())
            traits->utf16Names = is_windows_volume(source) || type == "fuseblk";
        else
            for (std::string_view windows :
                { "fusefat", "exfat", "exfat-fuse", "ntfs", "ntfs-3g", "lowntfs-3g" })
                traits->utf16Names = traits->utf16Names || subtype == windows;
        return;
    }
}

FileSystemTraits file_system_traits(int dirFd)
{
    const long kMsdos = 0x4d44, kExfat = 0x2011BAB0, kNtfs = 0x5346544e, kFuse = 0x65735546;
    FileSystemTraits traits;
    struct statfs fs;
    struct stat st;
    if (::fstatfs(dirFd, &fs) != 0 || ::fstat(dirFd, &st) != 0)
        return traits;
    const long type = static_cast<long>(fs.f_type);
    traits.utf16Names = type == kMsdos || type == kExfat || type == kNtfs;
    traits.fuse = traits.pathInodes = type == kFuse;
    if (traits.fuse)
        read_fuse_traits(st.st_dev, &traits);
    return traits;
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

void set_node_ref(const struct stat& st, node_ref* ref)
{
    ref->device = st.st_dev;
    ref->node = st.st_ino;
    ref->size = st.st_size;
    ref->modified = st.st_mtim;
    ref->changed = st.st_ctim;
    ref->has_times = true;
}

// Whether name, in dirFd, names the node `ours`; its stat goes to *now.
bool names_node(int dirFd, const char* name, const struct stat& ours, struct stat* now = nullptr)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !same_node(st, ours))
        return false;
    if (now != nullptr)
        *now = st;
    return true;
}

// The second half of link-and-unlink: drops the old name, but only while it still names our
// node; a file that took the old name meanwhile keeps it. Our new name then goes again if the
// node has another name besides (nothing moved: B_ENTRY_NOT_FOUND); as the node's only name it
// stays, since taking it away would delete the file: the file has been renamed.
status_t unlink_old_name(
    int dirFd, const char* oldName, const char* newName, const struct stat& ours)
{
    if (sBetweenLinkAndUnlink)
        sBetweenLinkAndUnlink();
    struct stat now;
    if (!names_node(dirFd, oldName, ours)) {
        if (!names_node(dirFd, newName, ours, &now))
            return B_ENTRY_NOT_FOUND;
        if (now.st_nlink > 1) {
            ::unlinkat(dirFd, newName, 0);
            return B_ENTRY_NOT_FOUND;
        }
        return B_OK;
    }
    if (::unlinkat(dirFd, oldName, 0) != 0) {
        int error = errno;
        // Take the new link away again, but only while both names are still our file.
        if (names_node(dirFd, oldName, ours) && names_node(dirFd, newName, ours))
            ::unlinkat(dirFd, newName, 0);
        return status_for_errno(error);
    }
    return B_OK;
}

// A plain rename; as on a file system whose rename refuses to replace when a test asks so.
int plain_rename(int dirFd, const char* oldName, const char* newName)
{
    if (sForcedWay.load() == RenameWay::PlainRefusing)
        return ::renameat2(dirFd, oldName, dirFd, newName, RENAME_NOREPLACE);
    return ::renameat(dirFd, oldName, dirFd, newName);
}

// Whether name still holds the placeholder we made: the same node, still empty, still with the
// time we gave it (sshfs gives inode numbers per path, so the node alone proves nothing).
bool is_our_placeholder(int dirFd, const char* name, const struct stat& placeholder)
{
    struct stat now;
    return names_node(dirFd, name, placeholder, &now) && S_ISREG(now.st_mode) && now.st_size == 0
        && now.st_mtim.tv_sec == placeholder.st_mtim.tv_sec
        && now.st_mtim.tv_nsec == placeholder.st_mtim.tv_nsec;
}

// Neither the no-replace flag nor hard links: a plain rename, right after the new name was
// found free and reserved by an exclusively created placeholder, so that a creator coming in
// between finds the name taken and the rename replaces only our placeholder. The exclusive
// creation is the check: unlike a lookup, FUSE answers it from the daemon, not from a cache
// that may still hold a name that was just renamed away. A folder gets no placeholder: file
// systems do not move a folder over a file.
// Where the rename refuses to replace our placeholder (fusefat 0.3: EEXIST; an SFTP server
// without posix-rename: EPERM), the file system's rename never replaces, which is all we need:
// the placeholder goes while it is still ours, and the rename is tried once more directly.
status_t rename_checked(
    int dirFd, const char* oldName, const char* newName, const struct stat& ours)
{
    struct stat placeholder = {};
    bool reserved = false;
    if (S_ISDIR(ours.st_mode)) {
        struct stat st;
        if (::fstatat(dirFd, newName, &st, AT_SYMLINK_NOFOLLOW) == 0)
            return B_FILE_EXISTS;
        if (errno != ENOENT)
            return status_for_errno(errno);
    } else {
        int fd
            = ::openat(dirFd, newName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return status_for_errno(errno);
        // The mark that tells a placeholder a killed run left from a user's own empty file;
        // a file system that cannot set times still renames, only without the mark.
        const struct timespec times[2] = { { kPlaceholderTime, 0 }, { kPlaceholderTime, 0 } };
        (void)::futimens(fd, times);
        reserved = ::fstat(fd, &placeholder) == 0;
        int error = errno;
        ::close(fd);
        if (!reserved) {
            ::unlinkat(dirFd, newName, 0);
            return status_for_errno(error);
        }
    }
    if (plain_rename(dirFd, oldName, newName) == 0)
        return B_OK;
    int error = errno;
    if (!reserved)
        return status_for_errno(error);
    if (!is_our_placeholder(dirFd, newName, placeholder))
        return status_for_errno(error); // not ours any more: whoever has the name keeps it
    ::unlinkat(dirFd, newName, 0);
    if (error != EEXIST && error != EPERM && error != EACCES)
        return status_for_errno(error);
    if (plain_rename(dirFd, oldName, newName) == 0)
        return B_OK;
    return status_for_errno(errno);
}

// Moves oldName (the node `ours`) to newName within dirFd without ever replacing newName, the
// safest way the file system allows: renameat2 with RENAME_NOREPLACE; where the flag is refused
// (NFS, NTFS-3G, FUSE), a hard link and an unlink; where hard links are refused too (FUSE exFAT
// and FAT), a checked plain rename. B_OK, B_FILE_EXISTS, B_ENTRY_NOT_FOUND,
// B_PERMISSION_DENIED, other mapped errno.
status_t move_no_replace(
    int dirFd, const char* oldName, const char* newName, const struct stat& ours)
{
    if (int error = injected_failure())
        return status_for_errno(error);

    RenameWay way = sForcedWay.load();
    if (way == RenameWay::NoReplace) {
        if (::renameat2(dirFd, oldName, dirFd, newName, RENAME_NOREPLACE) == 0)
            return B_OK;
        int error = errno;
        if (error != EINVAL && error != ENOSYS && error != ENOTSUP && error != EOPNOTSUPP)
            return status_for_errno(error);
    }
    if (way == RenameWay::NoReplace || way == RenameWay::LinkUnlink) {
        if (::linkat(dirFd, oldName, dirFd, newName, 0) == 0)
            return unlink_old_name(dirFd, oldName, newName, ours);
        int error = errno;
        // A folder the user may not write says so, before any other refusal.
        if (error == EPERM && ::faccessat(dirFd, ".", W_OK, AT_EACCESS) != 0 && errno == EACCES)
            return B_PERMISSION_DENIED;
        // Anything but hard links refused (a folder, or a file system without them).
        if (error != EPERM && error != EMLINK && error != ENOTSUP && error != EOPNOTSUPP
            && error != ENOSYS)
            return status_for_errno(error);
    }
    return rename_checked(dirFd, oldName, newName, ours);
}

// Whether the folder lists an entry spelled exactly name.
bool is_listed(int dirFd, const char* name)
{
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
        if (std::strcmp(entry->d_name, name) == 0) {
            listed = true;
            break;
        }
    }
    ::closedir(dir);
    return listed;
}

// The code point of the strictly valid UTF-8 character that fills text.
char32_t decode_utf8(std::string_view text)
{
    const auto byte
        = [&](size_t at) { return static_cast<char32_t>(static_cast<unsigned char>(text[at])); };
    switch (text.size()) {
    case 1:
        return byte(0);
    case 2:
        return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3:
        return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default:
        return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6
            | (byte(3) & 0x3F);
    }
}

// name under Unicode simple case folding, as code points. A name that is not strictly valid
// UTF-8 folds only its ASCII letters; its other bytes stay apart from every character.
std::u32string case_folded(std::string_view name)
{
    std::u32string folded;
    folded.reserve(name.size());
    const bool utf8 = is_strict_utf8(name);
    while (!name.empty()) {
        size_t length = utf8 ? utf8_character_length(name) : 0;
        if (length == 0) {
            unsigned char byte = static_cast<unsigned char>(name[0]);
            folded += byte < 0x80 ? static_cast<char32_t>(std::tolower(byte)) : 0x110000 + byte;
            length = 1;
        } else {
            folded += QChar::toCaseFolded(decode_utf8(name.substr(0, length)));
        }
        name.remove_prefix(length);
    }
    return folded;
}

// True when newName is taken only because the file system ignores case: the two names are
// the same under simple case folding, and the folder lists oldName and no other entry that
// folds like newName, so the entry newName matched is our own. Nothing is concluded from a
// folder that cannot be listed, nor from inode numbers (FUSE file systems give each spelling a
// number of its own). A second hard link is listed under its own name, so it never counts.
bool is_case_alias(int dirFd, const char* oldName, const char* newName)
{
    const std::u32string target = case_folded(newName);
    if (case_folded(oldName) != target)
        return false;
    int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return false;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return false;
    }
    bool ours = false, other = false;
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, oldName) == 0)
            ours = true;
        else if (case_folded(entry->d_name) == target)
            other = true;
    }
    bool complete = errno == 0;
    ::closedir(dir);
    return complete && ours && !other;
}

// A case-only rename on a case-insensitive file system, where newName is only another
// spelling of our own entry. A plain rename to it does that on most FUSE file systems;
// elsewhere it may do nothing, since both names are one entry, and on fusefat it frees the
// file's clusters (the data is lost at the next write), so there it is never tried. Then
// old -> temporary -> new, and back to old if the second step fails. *actual becomes the name
// the file ends under.
status_t rename_case(int dirFd, const char* oldName, const char* newName, const struct stat& ours,
    bool direct, std::string* actual)
{
    if (injected_failure() == 0 && direct && ::renameat(dirFd, oldName, dirFd, newName) == 0
        && is_listed(dirFd, newName)) {
        *actual = newName;
        return B_OK;
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        // Visible, and says where the file was going, so that a killed run can be finished.
        const std::string temporaryName = rename_temporary_name(newName, attempt);
        if (temporaryName.empty())
            return B_FILE_EXISTS;
        const char* temporary = temporaryName.c_str();
        status_t status = move_no_replace(dirFd, oldName, temporary, ours);
        if (status == B_FILE_EXISTS)
            continue;
        if (status != B_OK)
            return status;
        status = move_no_replace(dirFd, temporary, newName, ours);
        if (status == B_OK) {
            *actual = newName;
            return B_OK;
        }
        if (move_no_replace(dirFd, temporary, oldName, ours) == B_OK)
            *actual = oldName;
        else if (names_node(dirFd, temporary, ours))
            *actual = temporary;
        else if (names_node(dirFd, newName, ours))
            *actual = newName;
        return status;
    }
    return B_FILE_EXISTS;
}

} // namespace

void entry_force_rename_way(RenameWay way)
{
    sForcedWay.store(way);
}

void entry_force_link_rename(bool force)
{
    entry_force_rename_way(force ? RenameWay::LinkUnlink : RenameWay::NoReplace);
}

void entry_fail_moves(std::vector<int> errors)
{
    std::lock_guard<std::mutex> lock(sHooksLock);
    sInjectedErrors.assign(errors.begin(), errors.end());
}

void entry_between_link_and_unlink(std::function<void()> action)
{
    sBetweenLinkAndUnlink = std::move(action);
}

void entry_delay_renames(int microseconds)
{
    sRenameDelay.store(microseconds);
}

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

    int fd;
    dev_t device;
    ino_t node;
};

namespace
{

// Held folders are few (a selection is mostly one folder), but a search result may span
// thousands: past this many, references carry no handle and a rename opens its folder itself.
const int kMaxHeldFolders = 64;
std::atomic<int> sHeldFolders { 0 };

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
    try {
        *handle = std::make_shared<const directory_handle>(fd, *st);
    } catch (const std::exception&) {
        ::close(fd); // no handle: the reference works by path
        return B_OK;
    }
    sHeldFolders++;
    return B_OK;
}

// The folder of the previous absolute path: the paths of one selection mostly share it, so the
// next path given the same way costs one stat, which confirms that the folder resolved then is
// still there, instead of resolving every component again. Its handle is not kept alive from
// here: once no reference holds a folder it is closed (and can be unmounted).
struct LastFolder {
    std::string given, resolved;
    dev_t device = -1;
    ino_t node = 0;
    bool held = false;
    std::weak_ptr<const directory_handle> handle;
};
std::mutex sLastFolderLock;
LastFolder sLastFolder;

} // namespace

directory_handle::~directory_handle()
{
    ::close(fd);
    sHeldFolders--;
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
    if (keep) {
        std::lock_guard<std::mutex> lock(sLastFolderLock);
        std::shared_ptr<const directory_handle> handle = sLastFolder.handle.lock();
        struct stat st;
        if (sLastFolder.given == dir && (handle != nullptr || !sLastFolder.held)
            && ::stat(sLastFolder.resolved.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
            && st.st_dev == sLastFolder.device && st.st_ino == sLastFolder.node) {
            ref->device = st.st_dev;
            ref->directory = st.st_ino;
            ref->directory_path = sLastFolder.resolved;
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
    if (keep) {
        std::lock_guard<std::mutex> lock(sLastFolderLock);
        try {
            sLastFolder = LastFolder { dir, directoryPath, st.st_dev, st.st_ino, handle != nullptr,
                handle };
        } catch (const std::exception&) {
            sLastFolder = LastFolder();
        }
    }
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
    if (::lstat(fRef.path().c_str(), &st) != 0)
        return status_for_errno(errno);
    set_node_ref(st, ref);
    return B_OK;
}

status_t BEntry::Rename(const char* name, bool clobber)
{
    node_ref unknown;
    return Rename(name, clobber, unknown);
}

status_t BEntry::Rename(const char* name, bool clobber, node_ref& loaded)
{
    if (int delay = sRenameDelay.load(); delay > 0)
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
    if (const directory_handle* folder = fRef.folder.get(); folder != nullptr && fFolderChecked
        && folder->device == fRef.device && folder->node == fRef.directory) {
        dirFd = folder->fd;
        held = true;
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
    }

    status_t status;
    struct stat ours;
    const FileSystemTraits traits = file_system_traits(dirFd);
    if (traits.utf16Names && !is_strict_utf8(name)) {
        // Such a file system may take the name and then be unable to list the folder.
        status = B_BAD_VALUE;
    } else if (::fstatat(dirFd, fRef.name.c_str(), &ours, AT_SYMLINK_NOFOLLOW) != 0) {
        status = status_for_errno(errno);
    } else if (loaded.node != 0 && !is_loaded_node(ours, loaded, traits.pathInodes)) {
        // Another file has taken the name since it was loaded.
        status = B_ENTRY_NOT_FOUND;
    } else if (fRef.name == name) {
        status = B_OK; // nothing to move
    } else {
        std::string actual = fRef.name;
        status = move_no_replace(dirFd, fRef.name.c_str(), name, ours);
        if (status == B_OK)
            actual = name;
        else if (status == B_FILE_EXISTS && is_case_alias(dirFd, fRef.name.c_str(), name))
            status = rename_case(dirFd, fRef.name.c_str(), name, ours, !traits.fuseFat, &actual);
        fRef.name = actual;
        // A rename may change the file's change time (NTFS-3G does): the loaded identity
        // follows, so that the next rename of the same load still recognises the file.
        struct stat now;
        if (loaded.node != 0 && names_node(dirFd, actual.c_str(), ours, &now))
            set_node_ref(now, &loaded);
    }
    if (!held)
        ::close(dirFd);
    return status;
}
