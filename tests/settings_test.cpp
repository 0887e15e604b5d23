// tests/settings_test.cpp: the window's position and template kept between runs.
#include "tests/support/WindowHarness.h"

#include "platform/storage/AtomicFile.h"
#include "platform/app/Message.h"
#include "scripts/mp3gen.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

class Settings : public WindowHarness
{
protected:
    void SetUp() override
    {
        Song("a.mp3", { { "Artist", "A" }, { "Title", "B" }, { "Album", "C" } });
        Song("b.mp3", { { "Artist", "A2" }, { "Title", "B2" }, { "Album", "C2" } });
    }
    std::string File() const { return config.PathOf("Kelterhof-Orvalin"); }
    void Store(const BMessage& message)
    {
        std::string bytes;
        ASSERT_EQ(message.Flatten(&bytes), B_OK);
        ASSERT_TRUE(mp3gen::write_file(File(), bytes));
    }
    BMessage Stored()
    {
        BMessage message;
        std::string bytes = config.Read("Kelterhof-Orvalin");
        EXPECT_EQ(message.Unflatten(bytes.data(), bytes.size()), B_OK);
        return message;
    }
    BPoint LeftTop() const { return win->Frame().LeftTop(); }
    std::string Template() const { return win->constructor_control->Text(); }
};

TEST_F(Settings, WithoutAFileTheWindowOpensAtItsCreationPlace)
{
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
    EXPECT_EQ(Template(), "/aa - /ta - /la.mp3");
    EXPECT_FALSE(config.Exists("Kelterhof-Orvalin"));
}

TEST_F(Settings, PositionAndTemplateComeBackAndTakeEffectAtTheNextStep)
{
    Open({ "a.mp3", "b.mp3" });
    win->MoveTo(BPoint(321, 234));
    SetTemplate("/ta (/aa)");
    Close();

    BMessage stored = Stored();
    EXPECT_EQ(stored.what, 0u);
    BPoint where;
    ASSERT_EQ(stored.FindPoint("winloc", &where), B_OK);
    EXPECT_EQ(where, BPoint(321, 234));
    BString text;
    ASSERT_EQ(stored.FindString("constructor", &text), B_OK);
    EXPECT_EQ(text, "/ta (/aa)");

    Open({ "a.mp3", "b.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(321, 234));
    EXPECT_EQ(Template(), "/ta (/aa)");
    EXPECT_EQ(Preview(), "A - B - C.mp3"); // built before the stored template was restored
    Send(CMD_NEXT);
    EXPECT_EQ(Preview(), "B2 (A2)");
}

TEST_F(Settings, EmptyTemplateIsRestoredAsEmpty)
{
    BMessage message(0);
    message.AddString("constructor", "");
    Store(message);
    Open({ "a.mp3" });
    EXPECT_EQ(Template(), "");
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
}

TEST_F(Settings, EachFieldAppliesOnItsOwn)
{
    BMessage onlyPlace(0);
    onlyPlace.AddPoint("winloc", BPoint(-500, 4000)); // off screen: applied unchanged
    Store(onlyPlace);
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(-500, 4000));
    EXPECT_EQ(Template(), "/aa - /ta - /la.mp3");
    Close();

    BMessage onlyTemplate(0);
    onlyTemplate.AddString("constructor", "/yt");
    Store(onlyTemplate);
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
    EXPECT_EQ(Template(), "/yt");
}

TEST_F(Settings, DamagedFilesStillOpenTheWindow)
{
    BMessage good(0);
    good.AddPoint("winloc", BPoint(200, 300));
    good.AddString("constructor", "/ta");
    std::string bytes;
    ASSERT_EQ(good.Flatten(&bytes), B_OK);
    const std::string damaged[] = {
        "",
        bytes.substr(0, bytes.size() / 2),
        bytes.substr(0, bytes.size() - 1),
        std::string(bytes).replace(0, 4, "JUNK"),
        "[General]\nwinloc=1,2\n",
        std::string(4096, '\xFF'),
    };
    for (const std::string& content : damaged) {
        SCOPED_TRACE(content.size());
        ASSERT_TRUE(mp3gen::write_file(File(), content));
        Open({ "a.mp3" });
        ASSERT_EQ(win->CountFiles(), 1);
        EXPECT_EQ(Name(), "a.mp3");
        Close();
    }
}

TEST_F(Settings, EveryCloseRewritesTheFileAtomically)
{
    Open({ "a.mp3" });
    Close();
    ASSERT_TRUE(config.Exists("Kelterhof-Orvalin"));
    ::unlink(File().c_str());
    Open({ "a.mp3" });
    Close(); // unchanged, still written
    EXPECT_TRUE(config.Exists("Kelterhof-Orvalin"));
    EXPECT_EQ(config.Names(), std::vector<std::string> { "Kelterhof-Orvalin" }); // no leftovers

    // A write that cannot complete leaves the previous file as it was.
    std::string before = config.Read("Kelterhof-Orvalin");
    Open({ "a.mp3" });
    SetTemplate("changed");
    ::chmod(config.Path().c_str(), 0555);
    pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        Close();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::chmod(config.Path().c_str(), 0755);
    EXPECT_EQ(config.Read("Kelterhof-Orvalin"), before);
    EXPECT_EQ(config.Names(), std::vector<std::string> { "Kelterhof-Orvalin" });
}

TEST_F(Settings, MissingSettingsDirectoryIsNeitherReadNorWrittenNorCreated)
{
    std::string missing = config.PathOf("not-there");
    ::setenv("XDG_CONFIG_HOME", missing.c_str(), 1);
    ::setenv("HOME", missing.c_str(), 1);
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
    Close();
    EXPECT_FALSE(config.Exists("not-there"));
}

// A file larger than any the window writes is foreign: the window opens with its defaults. Up
// to that size it is read whole, also where one field comes again once per value (tens of
// thousands of times: the first value applies).
TEST_F(Settings, FileOverOneMebibyteIsNotRead)
{
    const size_t kCap = 1024 * 1024;
    const size_t kHeader = 16; // magic, version, code, field count
    auto flattened = [](const BMessage& message) {
        std::string bytes;
        EXPECT_EQ(message.Flatten(&bytes), B_OK);
        return bytes;
    };
    auto padding = [&](size_t length) {
        BMessage message(0);
        message.AddString("padding", std::string(length, 'x').c_str());
        return flattened(message).substr(kHeader);
    };
    BMessage head(0);
    head.AddPoint("winloc", BPoint(200, 300));
    head.AddString("constructor", "/ta");
    BMessage again(0);
    again.AddString("constructor", "/yt");
    const std::string once = flattened(head), repeat = flattened(again).substr(kHeader);
    const size_t padded = padding(0).size();
    // Every file holds the head's two fields and ends with a padding field; "repeated" puts as
    // many more "constructor" fields as fit before it.
    for (bool repeated : { false, true }) {
        for (size_t size : { kCap, kCap + 1 }) {
            SCOPED_TRACE(testing::Message() << size << (repeated ? ", repeated" : ""));
            const size_t repeats = repeated ? (size - once.size() - padded) / repeat.size() : 0;
            std::string bytes = once;
            for (size_t i = 0; i < repeats; i++)
                bytes += repeat;
            bytes += padding(size - bytes.size() - padded);
            const uint32 fields = static_cast<uint32>(3 + repeats);
            for (int i = 0; i < 4; i++)
                bytes[12 + i] = static_cast<char>(fields >> (8 * i));
            ASSERT_EQ(bytes.size(), size);
            ASSERT_TRUE(mp3gen::write_file(File(), bytes));
            Open({ "a.mp3" });
            const bool read = size <= kCap;
            EXPECT_EQ(LeftTop(), read ? BPoint(200, 300) : BPoint(100, 100));
            EXPECT_EQ(Template(), read ? "/ta" : "/aa - /ta - /la.mp3");
            delete win; // not Close(): that would rewrite the file
            win = nullptr;
        }
    }
}

// Only a regular file is ever replaced: a settings path that is, or links to, a device, a FIFO,
// a folder or a socket keeps it as it was, no file is written beside it, and the window opens
// and closes as without settings.
TEST_F(Settings, OnlyARegularFileIsReplaced)
{
    ScratchDir elsewhere;
    struct stat device;
    const bool root = ::geteuid() == 0;
    for (const char* kind : { "device", "FIFO", "folder", "socket" }) {
        for (bool linked : { false, true }) {
            SCOPED_TRACE(testing::Message() << kind << (linked ? ", through a link" : ""));
            const std::string node = linked ? elsewhere.PathOf("node") : File();
            int socket = -1;
            std::string made = kind;
            if (made == "device") {
                // A look-alike of /dev/null (character device 1, 3), made here as root.
                if (!root || ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                    std::printf("SKIPPED %s: mknod needs root\n", made.c_str());
                    continue;
                }
            } else if (made == "FIFO") {
                ASSERT_EQ(::mkfifo(node.c_str(), 0644), 0);
            } else if (made == "folder") {
                ASSERT_EQ(::mkdir(node.c_str(), 0755), 0);
            } else {
                socket = linked ? elsewhere.MakeSocket("node") : config.MakeSocket(kSettingsName);
                ASSERT_GE(socket, 0);
            }
            if (linked) {
                ASSERT_EQ(::symlink(node.c_str(), File().c_str()), 0);
            }
            struct stat before;
            ASSERT_EQ(::lstat(node.c_str(), &before), 0);
            const auto names = config.Names(), elsewhereNames = elsewhere.Names();

            EXPECT_EQ(replace_file_atomically(File().c_str(), "bytes"), B_BAD_TYPE);
            Open({ "a.mp3" });
            EXPECT_EQ(LeftTop(), BPoint(100, 100));
            win->MoveTo(BPoint(321, 234));
            Close();
            EXPECT_TRUE(alerts.Texts().empty());

            ASSERT_EQ(::lstat(node.c_str(), &device), 0);
            EXPECT_EQ(device.st_mode, before.st_mode);
            EXPECT_EQ(device.st_ino, before.st_ino);
            EXPECT_EQ(device.st_rdev, before.st_rdev);
            EXPECT_EQ(config.Names(), names);
            EXPECT_EQ(elsewhere.Names(), elsewhereNames);
            if (socket >= 0)
                ::close(socket);
            std::filesystem::remove_all(node);
            ::unlink(File().c_str());
        }
    }
}

// The link stays and the file it leads to is replaced, from beside that file; a dangling
// link has its target created.
TEST_F(Settings, SymlinkedFileKeepsItsLink)
{
    ScratchDir elsewhere;
    ASSERT_EQ(::mkdir(config.PathOf("real").c_str(), 0755), 0);
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links; // link, target
        std::string file; // where the settings end up
    } cases[] = {
        { "relative", { { "Kelterhof-Orvalin", "real/settings" } },
            config.PathOf("real/settings") },
        { "absolute, in another folder", { { "Kelterhof-Orvalin", elsewhere.PathOf("settings") } },
            elsewhere.PathOf("settings") },
        { "a chain", { { "Kelterhof-Orvalin", "real/link" }, { "real/link", "../real/chained" } },
            config.PathOf("real/chained") },
    };
    // Temporary files are named after their target with a suffix.
    auto temporaries = [&] {
        int count = 0;
        for (const std::string& root : { config.Path(), elsewhere.Path() })
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
                count += entry.path().filename().string().find('.') != std::string::npos;
        return count;
    };
    for (const auto& c : cases) {
        for (bool dangling : { false, true }) {
            SCOPED_TRACE(testing::Message() << c.what << (dangling ? ", dangling" : ""));
            for (const auto& [link, target] : c.links) {
                ::unlink(config.PathOf(link).c_str());
                ASSERT_EQ(::symlink(target.c_str(), config.PathOf(link).c_str()), 0);
            }
            ::unlink(c.file.c_str());
            if (!dangling) {
                ASSERT_TRUE(mp3gen::write_file(c.file, "old"));
            }
            Open({ "a.mp3" });
            win->MoveTo(BPoint(321, 234));
            Close();
            for (const auto& [link, target] : c.links) {
                char buffer[4096];
                ssize_t length = ::readlink(config.PathOf(link).c_str(), buffer, sizeof buffer);
                EXPECT_EQ(std::string(buffer, std::max<ssize_t>(length, 0)), target);
            }
            std::ifstream in(c.file, std::ios::binary);
            const std::string bytes { std::istreambuf_iterator<char>(in), {} };
            BMessage stored;
            ASSERT_EQ(stored.Unflatten(bytes.data(), bytes.size()), B_OK);
            BPoint where;
            EXPECT_EQ(stored.FindPoint("winloc", &where), B_OK);
            EXPECT_EQ(where, BPoint(321, 234));
            EXPECT_EQ(temporaries(), 0);
        }
    }
}

// A writer killed at any moment leaves the old file or the new one, whole.
TEST_F(Settings, WriterKilledAnywhereLeavesOneWholeFile)
{
    const int kKills = 200;
    std::string images[2];
    for (int i = 0; i < 2; i++) {
        BMessage message(0);
        message.AddPoint("winloc", BPoint(i, i));
        message.AddString("constructor", std::string(256 * 1024, "ab"[i]).c_str());
        ASSERT_EQ(message.Flatten(&images[i]), B_OK);
    }
    ASSERT_EQ(replace_file_atomically(File().c_str(), images[0]), B_OK);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delay(0, 8000); // microseconds
    int midWrite = 0;
    for (int kill = 0; kill < kKills; kill++) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            for (int i = 1;; i++)
                (void)replace_file_atomically(File().c_str(), images[i % 2]);
        ::usleep(delay(random));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string bytes = config.Read("Kelterhof-Orvalin");
        ASSERT_TRUE(bytes == images[0] || bytes == images[1]) << "kill " << kill;
        BMessage message;
        ASSERT_EQ(message.Unflatten(bytes.data(), bytes.size()), B_OK);
        // A temporary file left behind shows a kill between its creation and the rename.
        for (const std::string& name : config.Names())
            if (name != "Kelterhof-Orvalin") {
                midWrite++;
                ::unlink(config.PathOf(name).c_str());
            }
    }
    std::printf("%d of %d kills landed while a write was under way\n", midWrite, kKills);
}
