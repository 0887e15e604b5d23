// platform/storage/rename/FileSystemTraits.cpp: what a rename must know of a folder's file system.
#include "platform/storage/rename/FileSystemTraits.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{

enum class Volume { Other, Fat, Exfat, Ntfs };

// Which of FAT, exFAT or NTFS the first bytes of a volume (an image or a block device) are
// the boot sector of, if any. Anything else named as a mount's source is not opened for reading.
Volume windows_volume(const std::string& source)
{
    if (source.empty() || source[0] != '/')
        return Volume::Other;
    int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Volume::Other;
    struct stat st;
    char sector[512] = {};
    bool read = ::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))
        && ::pread(fd, sector, sizeof sector, 0) == static_cast<ssize_t>(sizeof sector);
    ::close(fd);
    if (!read)
        return Volume::Other;
    std::string_view oem(sector + 3, 8), fat16(sector + 54, 5), fat32(sector + 82, 5);
    if (oem == "EXFAT   ")
        return Volume::Exfat;
    if (oem == "NTFS    ")
        return Volume::Ntfs;
    return (fat16 == "FAT12" || fat16 == "FAT16" || fat32 == "FAT32")
            && static_cast<unsigned char>(sector[510]) == 0x55
            && static_cast<unsigned char>(sector[511]) == 0xAA
        ? Volume::Fat
        : Volume::Other;
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
        // Long names: exfat-fuse and ntfs-3g take 255 UTF-16 units, lowntfs-3g only 255 bytes;
        // an NTFS volume mounted without a subtype may be either.
        if (subtype.empty()) {
            Volume volume = windows_volume(source);
            traits->utf16Names = volume != Volume::Other || type == "fuseblk";
            traits->utf16UnitNames = volume == Volume::Exfat;
        } else {
            for (std::string_view windows :
                { "fusefat", "exfat", "exfat-fuse", "ntfs", "ntfs-3g", "lowntfs-3g" })
                traits->utf16Names = traits->utf16Names || subtype == windows;
            for (std::string_view units : { "exfat", "exfat-fuse", "ntfs", "ntfs-3g" })
                traits->utf16UnitNames = traits->utf16UnitNames || subtype == units;
        }
        return;
    }
}

} // namespace

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
    traits.utf16UnitNames = type == kExfat || type == kNtfs; // the kernel's FAT counts bytes
    const bool fuse = type == kFuse;
    traits.pathInodes = fuse;
    if (fuse)
        read_fuse_traits(st.st_dev, &traits);
    // A FUSE daemon serving a local volume sees every change through this kernel; any other
    // (sshfs, gvfs) serves files that change elsewhere.
    traits.remote = fuse && !traits.utf16Names;
    return traits;
}
