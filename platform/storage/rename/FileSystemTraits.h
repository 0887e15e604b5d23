// platform/storage/rename/FileSystemTraits.h: what a rename must know of the file system a folder
// is on (storage-internal).
#pragma once

// What a rename must know of the file system a folder is on.
struct FileSystemTraits {
    bool pathInodes = false; // FUSE numbers nodes as it meets paths, not files
    bool utf16Names = false; // names are stored as UTF-16: only strict UTF-8 converts
    bool fuseFat = false; // fusefat: a rename onto a case variant frees the file's clusters
    bool remote = false; // FUSE whose files change elsewhere: attributes by path may be stale
    // Names of 255 UTF-16 units are taken, not only names of 255 bytes (the kernel's FAT,
    // lowntfs-3g and fusefat count bytes).
    bool utf16UnitNames = false;
};

// The traits of the file system that holds the folder dirFd: from its type, and for FUSE from
// the mount table and, where that names no daemon, the volume's boot sector.
FileSystemTraits file_system_traits(int dirFd);
