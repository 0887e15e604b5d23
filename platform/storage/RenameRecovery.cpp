// platform/storage/RenameRecovery.cpp: finishes or removes what a killed rename left behind.
#include "platform/storage/RenameRecovery.h"

#include "platform/storage/Entry.h"
#include "platform/storage/PlaceholderJournal.h"
#include "platform/storage/RenameMarks.h"
#include "platform/support/Trace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// A descriptor closed when it goes out of scope.
struct Descriptor {
    explicit Descriptor(int fd)
        : fd(fd)
    {
    }
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

// The names in the folder that may be regular files (the others are no leftover of ours).
std::vector<std::string> candidate_names(int dirFd)
{
    std::vector<std::string> names;
    int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return names;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return names;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

// An empty regular file with no second name, which the rename never gives a placeholder.
bool is_empty_file(const struct stat& st)
{
    return S_ISREG(st.st_mode) && st.st_size == 0 && st.st_nlink == 1;
}

// A placeholder as the rename made it: empty, and with the shared mark.
bool is_our_placeholder(const struct stat& st)
{
    return is_empty_file(st) && is_rename_placeholder(st);
}

// Removes name when it is a placeholder: one of ours, or with `unmarked`, any empty file. It is
// opened and checked once more just before the unlink, so that only a file that is still as it
// was goes.
bool remove_placeholder(int dirFd, const char* name, bool unmarked = false)
{
    auto matches = [unmarked](const struct stat& st) {
        return unmarked ? is_empty_file(st) : is_our_placeholder(st);
    };
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !matches(st))
        return false;
    Descriptor file(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat now;
    if (file.fd < 0 || ::fstat(file.fd, &now) != 0 || now.st_dev != st.st_dev
        || now.st_ino != st.st_ino || !matches(now))
        return false;
    return ::unlinkat(dirFd, name, 0) == 0;
}

// Whether two open files hold the same bytes.
bool same_bytes(int a, int b)
{
    char bufferA[65536], bufferB[65536];
    for (;;) {
        ssize_t readA = ::read(a, bufferA, sizeof(bufferA));
        if (readA < 0)
            return false;
        ssize_t readB = 0;
        while (readB < readA) {
            ssize_t more = ::read(b, bufferB + readB, static_cast<size_t>(readA - readB));
            if (more <= 0)
                break;
            readB += more;
        }
        if (readB != readA || std::memcmp(bufferA, bufferB, static_cast<size_t>(readA)) != 0)
            return false;
        if (readA == 0)
            return true;
    }
}

// Whether temporary and target are two names of one file, as a killed link and unlink leaves
// them: the same node, or, where node numbers are given per path (some FUSE file systems), two
// names of linked files with the same size and bytes.
bool same_file(int dirFd, const char* temporary, const struct stat& ours, const char* target,
    const struct stat& theirs)
{
    // Only the file's second name may go. A FUSE file system can still resolve an old
    // spelling of the name the file had (its lookups are cached a while), giving the same node
    // with one link: that is no second name.
    if (!S_ISREG(theirs.st_mode) || ours.st_nlink < 2 || theirs.st_nlink < 2)
        return false;
    if (ours.st_dev == theirs.st_dev && ours.st_ino == theirs.st_ino)
        return true;
    if (ours.st_size != theirs.st_size)
        return false;
    Descriptor a(::openat(dirFd, temporary, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    Descriptor b(::openat(dirFd, target, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    return a.fd >= 0 && b.fd >= 0 && same_bytes(a.fd, b.fd);
}

// Finishes the rename that left the regular file `ours` under the temporary name.
void recover_temporary(const std::string& folderPath, int dirFd, const std::string& name,
    const struct stat& ours, recovery_report* report)
{
    std::string target = rename_temporary_target(name);
    if (target.empty() || !rename_temporary_target(target).empty())
        return;
    struct stat theirs;
    // An empty file under the target is the placeholder of the killed step from the temporary
    // name to the target, also when the kill came before it was dated: the song beside it under
    // the temporary name says so.
    if (::fstatat(dirFd, target.c_str(), &theirs, AT_SYMLINK_NOFOLLOW) == 0 && is_empty_file(theirs)
        && ours.st_size > 0 && remove_placeholder(dirFd, target.c_str(), true)) {
        trace("removed placeholder: %s\n", target.c_str());
        report->placeholders++;
    }
    if (::fstatat(dirFd, target.c_str(), &theirs, AT_SYMLINK_NOFOLLOW) == 0) {
        if (same_file(dirFd, name.c_str(), ours, target.c_str(), theirs)
            && ::unlinkat(dirFd, name.c_str(), 0) == 0) {
            trace("removed: %s (the same file as %s)\n", name.c_str(), target.c_str());
            report->duplicates++;
            report->moved[name] = target;
        } else {
            trace("left alone: %s (%s is taken)\n", name.c_str(), target.c_str());
            report->kept++;
        }
        return;
    }
    if (errno != ENOENT)
        return;
    // The rename itself, so that the file system's safest way is taken and nothing is replaced;
    // only the file found under the temporary name moves.
    entry_ref ref;
    std::string path = folderPath + "/" + name;
    BEntry entry;
    node_ref loaded;
    loaded.device = ours.st_dev;
    loaded.node = ours.st_ino;
    if (get_ref_for_path(path.c_str(), &ref) != B_OK || entry.SetTo(&ref) != B_OK)
        return;
    if (status_t status = entry.Rename(target.c_str(), false, loaded); status != B_OK) {
        trace("left alone: %s (cannot be renamed to %s)\n", name.c_str(), target.c_str());
        report->kept++;
        return;
    }
    trace("recovered: %s -> %s\n", name.c_str(), target.c_str());
    report->finished++;
    report->moved[name] = target;
}

// The folder part of path, as the path gives it.
std::string folder_of(const std::string& path, std::string* leaf)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        *leaf = trimmed;
        return ".";
    }
    *leaf = trimmed.substr(slash + 1);
    return slash == 0 ? std::string("/") : trimmed.substr(0, slash);
}

} // namespace

recovery_report recover_folder(const std::string& folderPath)
{
    recovery_report report;
    Descriptor dir(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        return report;
    // Placeholders a killed run made but had not yet marked: its note names them.
    if (char* resolved = ::realpath(folderPath.c_str(), nullptr)) {
        for (const std::string& name : take_placeholder_notes(resolved)) {
            if (remove_placeholder(dir.fd, name.c_str(), true)) {
                trace("removed placeholder: %s\n", name.c_str());
                report.placeholders++;
            }
        }
        std::free(resolved);
    }
    std::vector<std::string> names = candidate_names(dir.fd);

    // Placeholders first: one may hold the very name a temporary name was going to.
    std::vector<std::pair<std::string, struct stat>> temporaries;
    for (const std::string& name : names) {
        bool temporary = !rename_temporary_target(name).empty();
        struct stat st;
        if (::fstatat(dir.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        // Under a temporary name, the name itself is the mark.
        if (is_our_placeholder(st) || (temporary && is_empty_file(st))) {
            if (remove_placeholder(dir.fd, name.c_str(), temporary)) {
                trace("removed placeholder: %s\n", name.c_str());
                report.placeholders++;
            }
        } else if (temporary) {
            temporaries.emplace_back(name, st);
        }
    }
    for (const auto& [name, st] : temporaries)
        recover_temporary(folderPath, dir.fd, name, st, &report);
    return report;
}

void RenameRecovery::Visit(std::string* path)
{
    std::string leaf;
    std::string folder = folder_of(*path, &leaf);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if (fDone.insert({ st.st_dev, st.st_ino }).second) {
        recovery_report report = recover_folder(folder);
        for (auto& [temporary, now] : report.moved)
            fMoved[{ st.st_dev, st.st_ino, temporary }] = now;
    }
    auto found = fMoved.find({ st.st_dev, st.st_ino, leaf });
    if (found != fMoved.end())
        *path = (folder == "/" ? std::string() : folder) + "/" + found->second;
}
