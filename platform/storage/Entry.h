// platform/storage/Entry.h: entry references and entries (a name in a directory).
#pragma once

#include "platform/storage/NameRules.h"
#include "platform/storage/rename/NodeRef.h"
#include "platform/support/SupportDefs.h"

#include <ctime>
#include <memory>
#include <string>

class BPath;
struct directory_handle;

// A reference to a directory entry: device, directory (absolute path, and its inode for
// identity) and leaf name. The leaf name is raw bytes; nothing here assumes an encoding.
struct entry_ref {
    entry_ref() = default;
    entry_ref(dev_t device, ino_t directory, const char* directoryPath, const char* name);

    status_t set_name(const char* name);
    bool operator==(const entry_ref& other) const;
    bool operator!=(const entry_ref& other) const { return !(*this == other); }

    // The full path: directory path, "/", name.
    std::string path() const;

    dev_t device = -1;
    ino_t directory = 0;
    std::string directory_path;
    std::string name;
    // The directory held open, shared by every reference made in it, so that a rename needs no
    // lookup of the folder; absent for a reference built by hand or when many folders are open.
    // Not part of the reference's identity.
    std::shared_ptr<const directory_handle> folder;
};

// Builds a reference from a path, relative paths against the working directory. The directory
// part is resolved; the leaf is not (a link stays a link). B_OK, B_BAD_VALUE,
// B_ENTRY_NOT_FOUND (the directory is missing), or the mapped errno.
[[nodiscard]] status_t get_ref_for_path(const char* path, entry_ref* ref);

// The rules of the file system that holds ref's folder, learnt from the folder the reference
// holds open where it has one. B_OK, B_BAD_VALUE, or the mapped errno of opening the folder
// (rules then keeps its defaults: names as bytes, 255 of them).
status_t get_name_rules(const entry_ref& ref, name_rules* rules);

class BEntry
{
public:
    BEntry();
    explicit BEntry(const entry_ref* ref, bool traverse = false);
    explicit BEntry(const char* path, bool traverse = false);
    ~BEntry();

    // B_OK, B_BAD_VALUE (null ref or path), B_ENTRY_NOT_FOUND (the folder or, with traverse,
    // a link's target is missing), or another mapped errno. With traverse, a link is resolved
    // to its target.
    status_t SetTo(const entry_ref* ref, bool traverse = false);
    status_t SetTo(const char* path, bool traverse = false);
    // As SetTo(ref), for one file after another of a run: where ref lies in the folder that
    // `before` holds and saw its path name less than a second ago, that look stands for this
    // entry too, and the folder's path is not looked at again.
    status_t SetTo(const entry_ref* ref, const BEntry& before);
    void Unset();
    status_t InitCheck() const { return fStatus; }

    bool Exists() const;
    // B_OK, B_NO_INIT when the entry is not set, B_BAD_VALUE for a null argument.
    status_t GetRef(entry_ref* ref) const;
    // B_OK, B_NO_INIT, B_BAD_VALUE, or what BPath::SetTo gives.
    status_t GetPath(BPath* path) const;
    // Copies the leaf name into buffer (B_FILE_NAME_LENGTH bytes). B_OK, B_NO_INIT,
    // B_BAD_VALUE, or the mapped ENAMETOOLONG for a longer name.
    status_t GetName(char* buffer) const;
    // The node the entry names now, links not followed. B_OK, B_NO_INIT, B_BAD_VALUE, or the
    // mapped errno (B_ENTRY_NOT_FOUND when nothing has the name).
    status_t GetNodeRef(node_ref* ref) const;

    // Renames the entry within its directory; the entry follows the file's name, also when a
    // failure leaves the file under another name than it had. Never replaces an existing entry:
    // atomically where the file system offers it (also against a racing creator), else by a
    // hard link and an unlink, else by a plain rename right after the name was found free.
    // On a case-insensitive file system a change of case only renames.
    // With a known `loaded` node, only that node is moved: if the name now belongs to another,
    // nothing moves and the result is B_ENTRY_NOT_FOUND. Once moved, `loaded` takes the file's
    // identity under its new name (a rename may change its change time).
    // B_OK; B_BAD_VALUE for "", ".", "..", or a name with "/" (nothing moves), and on a file
    // system that stores names as UTF-16 for a name that is not strictly valid UTF-8;
    // B_FILE_EXISTS (also when a folder that cannot be listed leaves a case change in doubt);
    // B_ENTRY_NOT_FOUND; B_PERMISSION_DENIED; B_NOT_ALLOWED when clobber is asked for; other
    // mapped errno values.
    [[nodiscard]] status_t Rename(const char* name, bool clobber = false);
    [[nodiscard]] status_t Rename(const char* name, bool clobber, node_ref& loaded);

private:
    friend int open_entry_regular(const BEntry& entry, int flags, struct stat* st);

    // The folder the reference holds, where SetTo has seen its path still name it; else null.
    const directory_handle* CheckedFolder() const;

    entry_ref fRef;
    status_t fStatus = B_NO_INIT;
    bool fFolderChecked = false; // the folder path named the reference's folder at SetTo
    int64_t fFolderCheckedAt = 0; // when, on the steady clock (nanoseconds)
};

enum { B_FILE_NAME_LENGTH = 256, B_PATH_NAME_LENGTH = 4096 };
