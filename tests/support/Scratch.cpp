// tests/support/Scratch.cpp: scratch folders for tests that use real files.
#include "tests/support/Scratch.h"

#include "scripts/mp3gen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

// Makes a folder from pattern (ending in XXXXXX) that every user may list and enter.
std::string make_folder(std::string pattern)
{
    if (::mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed for " << pattern << ": " << std::strerror(errno);
    ::chmod(pattern.c_str(), 0755);
    return pattern;
}

} // namespace

ScratchDir::ScratchDir(ScratchFor users)
{
    if (users == ScratchFor::OtherUsers) {
        fPath = make_folder("/var/tmp/orvalin-test-XXXXXX");
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(ORVALIN_SCRATCH_ROOT, error);
    fPath = make_folder(ORVALIN_SCRATCH_ROOT "/t-XXXXXX");
}

ScratchDir::ScratchDir(const std::string& root)
{
    std::error_code error;
    std::filesystem::create_directories(root, error);
    fPath = make_folder(root + "/t-XXXXXX");
}

ScratchDir::~ScratchDir()
{
    std::error_code error;
    // Undo what permission tests may have changed, then remove everything.
    for (auto& entry : std::filesystem::recursive_directory_iterator(fPath, error))
        if (entry.is_directory(error))
            ::chmod(entry.path().c_str(), 0755);
    ::chmod(fPath.c_str(), 0755);
    std::filesystem::remove_all(fPath, error);
}

entry_ref ScratchDir::MakeFile(const std::string& name, const std::string& bytes)
{
    EXPECT_TRUE(mp3gen::write_file(PathOf(name), bytes)) << name;
    return Ref(name);
}

int ScratchDir::MakeSocket(const std::string& name)
{
    const std::string path = PathOf(name);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return -1;
    path.copy(address.sun_path, path.size());
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (sock >= 0 && ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

entry_ref ScratchDir::MakeMp3(
    const std::string& name, const std::string& tag, const std::string& prefix)
{
    return MakeFile(name, prefix + mp3gen::silent_frames(3) + tag);
}

entry_ref ScratchDir::Ref(const std::string& name) const
{
    entry_ref ref;
    EXPECT_EQ(get_ref_for_path(PathOf(name).c_str(), &ref), 0) << name;
    return ref;
}

void ScratchDir::SetAttr(
    const std::string& name, const std::string& attribute, const std::string& value)
{
    EXPECT_TRUE(mp3gen::set_attribute(PathOf(name), attribute, value)) << name << " " << attribute;
}

std::string ScratchDir::Read(const std::string& name) const
{
    std::ifstream in(PathOf(name), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool ScratchDir::Exists(const std::string& name) const
{
    struct stat st;
    return ::lstat(PathOf(name).c_str(), &st) == 0;
}

std::vector<std::string> ScratchDir::Names() const
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(fPath.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}
