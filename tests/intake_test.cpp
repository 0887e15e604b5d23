// tests/intake_test.cpp: which files the window takes, the launcher, and the status trace.
#include "tests/support/WindowHarness.h"

#include "app/Orvalin.h"
#include "platform/interface/Alert.h"
#include "platform/storage/File.h"
#include "platform/support/OpenRegular.h"
#include "tests/support/Child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using Intake = WindowHarness;

TEST_F(Intake, LauncherWithoutRefsBeepsAndOpensNoWindow)
{
    BMessage empty('RRCV');
    process_refs(entry_ref(), &empty, nullptr);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(output.Take(), "window()\n");
}

TEST_F(Intake, KeepsOnlyMpegFilesInOrderWithOneBeepPerRejection)
{
    Song("a.mp3");
    dir.MakeFile("wave.wav", "RIFF....WAVEfmt ");
    dir.SetAttr("wave.wav", "BEOS:TYPE", "audio/x-wav");
    Song("more.mp3", { { "BEOS:TYPE", "audio/x-mpegX" } });
    Song("b.mp3");
    dir.MakeFile("notes.txt", "just some words\n");

    Open({ "a.mp3", "wave.wav", "more.mp3", "b.mp3", "notes.txt", "a.mp3" });
    ASSERT_EQ(win->CountFiles(), 3);
    EXPECT_EQ(win->file_refs[0].name, "a.mp3");
    EXPECT_EQ(win->file_refs[1].name, "b.mp3");
    EXPECT_EQ(win->file_refs[2].name, "a.mp3"); // the same file twice is listed twice
    EXPECT_EQ(alerts.beeps, 3);
    std::string trace = output.Take();
    size_t rejections = 0;
    for (size_t at = 0;
         (at = trace.find("File was not 'audio/x-mpeg'.\n", at)) != std::string::npos; at++)
        rejections++;
    EXPECT_EQ(rejections, 3u);
    EXPECT_EQ(Pos(), "1/3");
}

TEST_F(Intake, FileWithoutTypeBeepsWithoutTraceLine)
{
    Song("a.mp3");
    // Bytes that match no known content type, under a name without an extension.
    dir.MakeFile("noise", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0b", 10));
    Open({ "noise", "a.mp3" });
    EXPECT_EQ(win->CountFiles(), 1);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_EQ(output.Take().find("File was not"), std::string::npos);
}

TEST_F(Intake, EmptyTypeAttributeTracesStatusOfTheRead)
{
    Song("a.mp3");
    Song("empty-type.mp3", { { "BEOS:TYPE", "" } });
    Open({ "empty-type.mp3", "a.mp3" });
    EXPECT_EQ(win->CountFiles(), 1);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_NE(output.Take().find("No BEOS:MIME attribute? B_OK \n"), std::string::npos);
}

TEST_F(Intake, CallersMessageKeepsItsRefs)
{
    Song("a.mp3");
    Song("b.mp3");
    BMessage selection = Refs({ "a.mp3", "b.mp3" });
    BMessage copy(selection);
    TagViewer_window viewer(BRect(100, 100, 101, 101), &copy);
    EXPECT_FALSE(copy.HasRef("refs", 0)); // the intake consumes the message it is given
    EXPECT_EQ(viewer.CountFiles(), 2);

    // The launcher hands the window a copy, so the file manager's message stays whole. No file
    // is accepted here, so the window does not open and the launcher returns.
    dir.MakeFile("c.txt", "text");
    BMessage texts = Refs({ "c.txt" });
    window(&texts);
    EXPECT_TRUE(texts.HasRef("refs", 0));
}

TEST_F(Intake, NoAcceptedFileShowsOneWaitingAlertAndNoWindow)
{
    dir.MakeFile("a.txt", "text");
    ::mkfifo(dir.PathOf("pipe.mp3").c_str(), 0644); // never opened: it would block
    BMessage selection = Refs({ "a.txt", "pipe.mp3" });
    window(&selection);
    EXPECT_EQ(alerts.beeps, 2);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_TRUE(alerts.alerts[0].waits);
    EXPECT_NE(
        alerts.alerts[0].text.find("None of the selected files is MPEG audio"), std::string::npos);
    std::string trace = output.Take();
    EXPECT_EQ(trace.find("window shown."), std::string::npos);
    EXPECT_FALSE(config.Exists("Kelterhof-Orvalin"));
}

TEST_F(Intake, DroppedFilesAreAppended)
{
    Song("a.mp3");
    Song("b.mp3");
    Song("c.mp3");
    Song("d.mp3");
    Song("e.mp3");
    dir.MakeFile("f.txt", "text");
    Open({ "a.mp3", "b.mp3" });
    alerts.Clear();
    BMessage drop = Refs({ "c.mp3", "d.mp3", "f.txt", "e.mp3" }, 'DATA');
    win->MessageReceived(&drop);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_EQ(win->CountFiles(), 5);
    EXPECT_EQ(Pos(), "1/5");

    // A drop whose files are all rejected changes nothing but beeps.
    BMessage rejected = Refs({ "f.txt" }, 'DATA');
    win->MessageReceived(&rejected);
    EXPECT_EQ(win->CountFiles(), 5);
    EXPECT_EQ(alerts.beeps, 2);
}

TEST_F(Intake, StatusTraceNamesEveryCodeOfItsTable)
{
    Song("a.mp3");
    Open({ "a.mp3" });
    const std::pair<status_t, const char*> cases[] = {
        { B_OK, "B_OK \n" }, { B_ERROR, "B_ERROR \n" },
        { B_ENTRY_NOT_FOUND, "B_ENTRY_NOT_FOUND \n" }, { B_FILE_ERROR, "B_FILE_ERROR \n" },
        { B_NOT_ALLOWED, "B_NOT_ALLOWED \n" }, { B_DEVICE_FULL, "B_DEVICE_FULL \n" },
        { B_NO_MEMORY, "B_NO_MEMORY \n" }, { B_BAD_VALUE, "B_BAD_VALUE \n" },
        { B_BUSY, "B_BUSY \n" }, { B_NO_INIT, "B_NO_INIT \n" },
        { B_PERMISSION_DENIED, "B_PERMISSION_DENIED \n" }, { B_FILE_EXISTS, "B_FILE_EXISTS \n" },
        { static_cast<status_t>(0x80001234), "" }, // unknown: the prefix alone
    };
    output.Take();
    for (auto [status, name] : cases) {
        SCOPED_TRACE(name);
        win->error_check("Rename: ", status);
        EXPECT_EQ(output.Take(), std::string("Rename: ") + name);
    }
}

TEST_F(Intake, SpecialFilesNeitherBlockNorAreRead)
{
    ::alarm(120); // an open that blocks ends the test here instead of hanging it
    Song("real.mp3");
    ASSERT_EQ(::mkfifo(dir.PathOf("pipe.mp3").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("folder.mp3").c_str(), 0755), 0);
    int sock = dir.MakeSocket("socket.mp3");
    ASSERT_GE(sock, 0);
    ASSERT_EQ(::symlink("missing.mp3", dir.PathOf("dangling.mp3").c_str()), 0);
    ASSERT_EQ(::symlink("real.mp3", dir.PathOf("link.mp3").c_str()), 0);
    dir.MakeFile("big.mp3");
    ASSERT_EQ(::truncate(dir.PathOf("big.mp3").c_str(), off_t(1) << 30), 0); // sparse: 1 GiB
    dir.MakeFile("x.mp3");

    const struct {
        std::string path;
        bool accepted;
    } cases[] = {
        { dir.PathOf("pipe.mp3"), false },
        { dir.PathOf("folder.mp3"), false },
        { "/dev/zero", false },
        { "/dev/null", false },
        { dir.PathOf("socket.mp3"), false },
        { dir.PathOf("dangling.mp3"), false },
        // Typed by their names: loaded, without a read of the sparse gigabyte.
        { dir.PathOf("big.mp3"), true },
        { dir.PathOf("x.mp3"), true },
        { dir.PathOf("link.mp3"), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        BMessage msg('RRCV');
        for (const std::string& path : { c.path, dir.PathOf("real.mp3") }) {
            entry_ref ref;
            ASSERT_EQ(get_ref_for_path(path.c_str(), &ref), B_OK);
            msg.AddRef("refs", &ref);
        }
        alerts.Clear();
        Close();
        win = new TagViewer_window(BRect(100, 100, 101, 101), &msg);
        EXPECT_EQ(win->CountFiles(), c.accepted ? 2 : 1);
        EXPECT_EQ(alerts.beeps, c.accepted ? 0 : 1);
        EXPECT_TRUE(alerts.alerts.empty());
    }

    // The link is renamed; its target keeps its name.
    Send(CMD_ADD_MP3);
    EXPECT_EQ(Name(), "link.mp3.mp3");
    char target[64] = {};
    EXPECT_GT(::readlink(dir.PathOf("link.mp3.mp3").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "real.mp3");
    EXPECT_TRUE(dir.Exists("real.mp3"));

    // Seen to hold a song, a FIFO by the time it is opened: refused, without blocking.
    entry_ref swapped = dir.Ref("x.mp3");
    node_ref seen;
    ASSERT_EQ(BEntry(&swapped).GetNodeRef(&seen), B_OK);
    ASSERT_EQ(::unlink(dir.PathOf("x.mp3").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.PathOf("x.mp3").c_str(), 0644), 0);
    // With a reader at the other end, a non-blocking open would succeed: the reader sees a
    // writer come and go (POLLHUP) only if the FIFO was opened.
    int reader = ::open(dir.PathOf("x.mp3").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(BFile(&swapped, B_WRITE_ONLY).InitCheck(), B_BAD_TYPE);
    EXPECT_EQ(BFile(&swapped, B_READ_WRITE).InitCheck(), B_BAD_TYPE);
    BFile fromEntry;
    EXPECT_EQ(fromEntry.SetTo(BEntry(&swapped), B_READ_WRITE, &seen), B_BAD_TYPE);
    struct pollfd hangUp = { reader, POLLIN, 0 };
    EXPECT_EQ(::poll(&hangUp, 1, 0), 0) << "the FIFO was opened";
    ::close(reader);
    ::close(sock);

    // A forked child opens the file it names, not its parent's file under the number its own
    // pinning descriptor took.
    struct stat st;
    int held = open_regular(AT_FDCWD, dir.PathOf("real.mp3").c_str(), O_RDONLY, false, &st);
    ASSERT_GE(held, 0);
    std::optional<status_t> child = run_in_child(ChildUser::Same, [&] {
        ::close(held);
        struct stat pinned, opened;
        int fd = open_regular(AT_FDCWD, dir.PathOf("big.mp3").c_str(), O_RDONLY, false, &pinned);
        return fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_ino == pinned.st_ino ? B_OK
                                                                                      : B_ERROR;
    });
    EXPECT_EQ(child, std::optional<status_t>(B_OK));
    ::close(held);
    ::alarm(0);
}
