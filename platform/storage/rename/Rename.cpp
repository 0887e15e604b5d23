// platform/storage/rename/Rename.cpp: the ways a name moves within its folder without replacing
// another: atomically, by a hard link and an unlink, by a checked plain rename, and a change of
// case only on a case-insensitive file system.
#include "platform/storage/rename/Rename.h"

#include "platform/storage/rename/Journal.h"
#include "platform/storage/rename/RenameMarks.h"
#include "platform/storage/rename/TestSeams.h"
#include "platform/support/OpenRegular.h"
#include "platform/support/Utf8.h"

#include <QChar>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

bool same_node(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool names_node(int dirFd, const char* name, const struct stat& ours, struct stat* now)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !same_node(st, ours))
        return false;
    if (now != nullptr)
        *now = st;
    return true;
}

namespace
{

// The second half of link-and-unlink: drops the old name, but only while it still names our
// node; a file that took the old name meanwhile keeps it. Our new name then goes again if the
// node has another name besides (nothing moved: B_ENTRY_NOT_FOUND); as the node's only name it
// stays, since taking it away would delete the file: the file has been renamed.
status_t unlink_old_name(
    int dirFd, const char* oldName, const char* newName, const struct stat& ours)
{
    seams::between_link_and_unlink();
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
    if (int error = seams::injected_call_failure(SeamCall::PlainRename)) {
        errno = error;
        return -1;
    }
    if (seams::forced_way() == RenameWay::PlainRefusing)
        return ::renameat2(dirFd, oldName, dirFd, newName, RENAME_NOREPLACE);
    return ::renameat(dirFd, oldName, dirFd, newName);
}

// Whether name still holds the placeholder we made: the same node, still empty, still with the
// times it was made with (sshfs gives inode numbers per path, so the node alone proves nothing).
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
// systems do not move a folder over a file. The placeholder is journaled before it is made,
// and its node once it is, so that a later start removes one a killed run left, and only it.
// Where this rename refuses to replace our placeholder (fusefat 0.3: EEXIST; an SFTP server
// without posix-rename: EPERM), it is its own check: the placeholder goes while it is still
// ours, and the rename is tried once more directly. Nothing of that is kept for later renames:
// a refusal proves nothing about the next one.
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
        journal_note(journal_step::placeholder, oldName, newName, ours);
        int fd
            = ::openat(dirFd, newName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return status_for_errno(errno);
        reserved = ::fstat(fd, &placeholder) == 0;
        int error = errno;
        ::close(fd);
        if (!reserved) {
            ::unlinkat(dirFd, newName, 0);
            return status_for_errno(error);
        }
        journal_note(journal_step::placeholder_made, oldName, newName, placeholder);
    }
    if (plain_rename(dirFd, oldName, newName) == 0)
        return B_OK;
    int error = errno;
    if (!reserved)
        return status_for_errno(error);
    if (!is_our_placeholder(dirFd, newName, placeholder))
        return status_for_errno(error); // not ours any more: whoever has the name keeps it
    ::unlinkat(dirFd, newName, 0);
    if (error != EEXIST && error != EPERM)
        return status_for_errno(error);
    if (plain_rename(dirFd, oldName, newName) != 0)
        return status_for_errno(errno);
    return B_OK;
}

} // namespace

status_t move_no_replace(int dirFd, const char* oldName, const char* newName,
    const struct stat& ours, RenameLessons* lessons)
{
    if (int error = seams::injected_failure())
        return status_for_errno(error);

    RenameWay way = seams::forced_way();
    RenameLessons none;
    RenameLessons& learnt = lessons != nullptr ? *lessons : none;
    if (way == RenameWay::NoReplace && !learnt.noReplaceRefused) {
        if (::renameat2(dirFd, oldName, dirFd, newName, RENAME_NOREPLACE) == 0)
            return B_OK;
        int error = errno;
        if (error != EINVAL && error != ENOSYS && error != ENOTSUP && error != EOPNOTSUPP)
            return status_for_errno(error);
        learnt.noReplaceRefused = true;
    }
    if ((way == RenameWay::NoReplace || way == RenameWay::LinkUnlink) && !learnt.linksRefused) {
        journal_note(journal_step::link, oldName, newName, ours);
        int error = seams::injected_call_failure(SeamCall::Link);
        if (error == 0 && ::linkat(dirFd, oldName, dirFd, newName, 0) == 0)
            return unlink_old_name(dirFd, oldName, newName, ours);
        if (error == 0)
            error = errno;
        // A folder the user may not write says so, before any other refusal. In one the user
        // may write, EACCES is the file system refusing links (an SFTP server on FAT).
        if (error == EPERM || error == EACCES) {
            bool writable = ::faccessat(dirFd, ".", W_OK, AT_EACCESS) == 0;
            if (!writable && errno == EACCES)
                return B_PERMISSION_DENIED;
            if (error == EACCES && !writable)
                return status_for_errno(error);
        }
        // Anything but hard links refused (a folder, or a file system without them).
        if (error != EPERM && error != EACCES && error != EMLINK && error != ENOTSUP
            && error != EOPNOTSUPP && error != ENOSYS)
            return status_for_errno(error);
        // Only a refusal of links as such holds for the mount: a folder cannot be linked, and
        // EMLINK is about one file's count of links.
        if (error != EMLINK && !S_ISDIR(ours.st_mode))
            learnt.linksRefused = true;
    }
    return rename_checked(dirFd, oldName, newName, ours);
}

namespace
{

// Whether the folder lists an entry spelled exactly name.
bool is_listed(int dirFd, const char* name)
{
    DIR* dir = open_listing(dirFd);
    if (dir == nullptr)
        return false;
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

} // namespace

bool is_case_alias(int dirFd, const char* oldName, const char* newName, const struct stat& ours)
{
    const std::u32string target = case_folded(newName);
    if (case_folded(oldName) != target)
        return false;
    DIR* dir = open_listing(dirFd);
    if (dir == nullptr)
        return false;
    bool found = false, other = false;
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, oldName) == 0)
            found = true;
        else if (case_folded(entry->d_name) != target)
            continue;
        else if (ours.st_nlink == 1 && names_node(dirFd, entry->d_name, ours))
            found = true;
        else
            other = true;
    }
    bool complete = errno == 0;
    ::closedir(dir);
    return complete && found && !other;
}

status_t rename_case(int dirFd, const char* oldName, const char* newName, const struct stat& ours,
    bool direct, std::string* actual, RenameLessons* lessons)
{
    if (seams::injected_failure() == 0 && direct && ::renameat(dirFd, oldName, dirFd, newName) == 0
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
        journal_note(journal_step::temporary, oldName, temporary, ours);
        status_t status = move_no_replace(dirFd, oldName, temporary, ours, lessons);
        if (status == B_FILE_EXISTS)
            continue;
        if (status != B_OK)
            return status;
        status = move_no_replace(dirFd, temporary, newName, ours, lessons);
        if (status == B_OK) {
            *actual = newName;
            return B_OK;
        }
        if (move_no_replace(dirFd, temporary, oldName, ours, lessons) == B_OK)
            *actual = oldName;
        else if (names_node(dirFd, temporary, ours))
            *actual = temporary;
        else if (names_node(dirFd, newName, ours))
            *actual = newName;
        return status;
    }
    return B_FILE_EXISTS;
}
