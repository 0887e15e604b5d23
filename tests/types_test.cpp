// tests/types_test.cpp: the type attribute "BEOS:TYPE": stored, from the MIME database, or the
// inode type of files that are not regular (which are never opened).
#include "platform/storage/Node.h"

#include "platform/storage/File.h"
#include "scripts/mp3gen.h"
#include "tests/support/Child.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{

// The type text, "absent", or the failing status.
std::string type_of(const std::string& path)
{
    BNode node(path.c_str());
    if (node.InitCheck() != B_OK)
        return "node status " + std::to_string(node.InitCheck());
    attr_info info;
    status_t status = node.GetAttrInfo("BEOS:TYPE", &info);
    if (status == B_ENTRY_NOT_FOUND)
        return "absent";
    char buffer[256];
    ssize_t count = node.ReadAttr("BEOS:TYPE", B_STRING_TYPE, 0, buffer, sizeof(buffer));
    if (status != B_OK || count < 1)
        return "status " + std::to_string(status) + "/" + std::to_string(count);
    EXPECT_EQ(info.size, count);
    EXPECT_EQ(buffer[count - 1], '\0');
    return std::string(buffer, count - 1);
}

} // namespace

TEST(Types, RegularFilesAreTypedByNameAndContent)
{
    const std::string mp3 = mp3gen::silent_frames(4);
    const std::string id3 = mp3gen::id3v2(3, { { "TIT2", "Song" } }) + mp3;
    const struct {
        const char* name;
        std::string bytes;
        const char* type;
    } cases[] = {
        { "song.mp3", mp3, "audio/x-mpeg" },
        { "song", mp3, "audio/x-mpeg" },
        { "tagged", id3, "audio/x-mpeg" },
        { "\xFF\xFE song.mp3", mp3, "audio/x-mpeg" },
        { "notes.txt", "some words\n", "text/plain" },
        { "notes", "some words\nand more\n", "text/plain" },
        { "empty", "", "application/x-zerosize" },
        { "blob", std::string("\x01\x02\x03\x00\x9A\xFF\x10\x00", 8), "absent" },
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.MakeFile(c.name, c.bytes);
        EXPECT_EQ(type_of(dir.PathOf(c.name)), c.type);
        // The tag record reads the type through an open file: the same answer.
        BFile file(dir.PathOf(c.name).c_str(), B_READ_ONLY);
        char buffer[256];
        ssize_t count = file.ReadAttr("BEOS:TYPE", B_STRING_TYPE, 0, buffer, sizeof(buffer));
        EXPECT_EQ(count > 0 ? std::string(buffer, count - 1) : "absent", c.type);
    }
}

TEST(Types, AStoredTypeWins)
{
    ScratchDir dir;
    dir.MakeMp3("song.mp3");
    dir.SetAttr("song.mp3", "BEOS:TYPE", "audio/x-wav");
    EXPECT_EQ(type_of(dir.PathOf("song.mp3")), "audio/x-wav");
    dir.MakeFile("notes.txt", "words\n");
    dir.SetAttr("notes.txt", "BEOS:TYPE", "audio/x-mpeg");
    EXPECT_EQ(type_of(dir.PathOf("notes.txt")), "audio/x-mpeg");
}

TEST(Types, FilesThatAreNotRegularAreNeverOpened)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.PathOf("folder.mp3").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.PathOf("pipe.mp3").c_str(), 0644), 0);
    int sock = dir.MakeSocket("socket.mp3");
    ASSERT_GE(sock, 0);

    const struct {
        std::string path;
        const char* type;
    } cases[] = {
        { dir.PathOf("folder.mp3"), "inode/directory" },
        { dir.PathOf("pipe.mp3"), "inode/fifo" },
        { dir.PathOf("socket.mp3"), "inode/socket" },
        { "/dev/null", "inode/chardevice" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        // In a child with a watchdog: opening the FIFO would block it, and the test would fail
        // rather than hang.
        std::optional<status_t> same = run_in_child(
            ChildUser::Same, [&] { return type_of(c.path) == c.type ? B_OK : B_ERROR; });
        EXPECT_EQ(same, B_OK) << "expected " << c.type;
        // A tag record's file does not open them either.
        std::optional<status_t> opened = run_in_child(
            ChildUser::Same, [&] { return BFile(c.path.c_str(), B_READ_WRITE).InitCheck(); });
        EXPECT_TRUE(opened.has_value() && *opened != B_OK);
    }
    ::close(sock);
}
