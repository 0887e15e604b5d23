// tests/filesystems_test.cpp: renaming through the real window on each file system music lives
// on: the build tree's, tmpfs, xfs and btrfs on loop images, FUSE exFAT, FAT and NTFS images
// (NTFS also case-insensitive), and sshfs to an SFTP server on 127.0.0.1 with and without its
// rename and hard-link extensions. Mounting needs root, loop devices, /dev/fuse and the tools;
// a file system that cannot be mounted here is reported as skipped, with the reason.
#include "tests/support/Recorder.h"
#include "tests/support/Scratch.h"

#include "platform/app/Application.h"
#include "platform/app/Message.h"
#include "platform/storage/Entry.h"
#include "platform/storage/rename/RenameMarks.h"
#include "platform/storage/rename/TestSeams.h"
#include "scripts/mp3gen.h"
#include "window/TagViewer_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{

const std::string kRoot = std::string(ORVALIN_SCRATCH_ROOT) + "/filesystems";
const char* kExists = "A file by that name already exists.\n";
const char* kGrumble = "Dear Master,\nFor some obscure reason,\nyour wish can not be granted.\n";

// Runs a tool and waits for it; true when it exits 0. Its output goes to *output.
bool run(const std::vector<std::string>& argv, std::string* output = nullptr)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return false;
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(channel[1], 1);
        ::dup2(channel[1], 2);
        ::close(channel[0]);
        ::close(channel[1]);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (output != nullptr)
        *output = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool have_tool(const std::string& name)
{
    std::string path
        = std::string(std::getenv("PATH") ? std::getenv("PATH") : "") + ":/usr/sbin:/sbin";
    std::stringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

enum class Mounting { None, Tmpfs, Loop, FuseOnLoop, FuseOnImage, Sshfs };

struct FileSystem {
    const char* name;
    Mounting mounting;
    int megabytes; // of the image (each mkfs has its minimum)
    std::vector<std::string> mkfs; // the image's path is appended
    // The device or image and the mount point are appended; for sshfs, the server's SFTP
    // subsystem.
    std::vector<std::string> mount;
    bool utf16Names = false; // names are stored as UTF-16
    bool cached = false; // sshfs with its default caches
    // Names of 255 UTF-16 units are taken, not only of 255 bytes (an NTFS image mounted without
    // a subtype may be lowntfs-3g's, which counts bytes).
    bool utf16Units = false;
};

// A mounted file system; unmounts it and detaches its loop device in every outcome.
class Mounted
{
public:
    ~Mounted() { Release(); }
    void Release()
    {
        if (!point.empty()) {
            for (int attempt = 0; attempt < 50 && ::umount2(point.c_str(), 0) != 0; ++attempt) {
                if (errno != EBUSY)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            ::umount2(point.c_str(), MNT_DETACH);
            point.clear();
        }
        if (!loop.empty()) {
            // The FUSE daemon may still hold the device for a moment after the unmount.
            for (int attempt = 0; attempt < 50 && !run({ "losetup", "-d", loop }); ++attempt)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            loop.clear();
        }
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
            server = -1;
        }
    }

    std::string point, loop;
    std::string served; // for sshfs: the server's side of the mount point
    pid_t server = -1;
};

// Unmounts what a crashed earlier run left under folder and detaches loop devices on image.
void clean_up_stale(const std::string& folder, const std::string& image)
{
    std::ifstream mounts("/proc/self/mounts");
    std::vector<std::string> stale;
    for (std::string line; std::getline(mounts, line);) {
        std::stringstream fields(line);
        std::string device, point;
        fields >> device >> point;
        if (point.rfind(folder, 0) == 0)
            stale.push_back(point);
    }
    for (auto it = stale.rbegin(); it != stale.rend(); ++it)
        ::umount2(it->c_str(), MNT_DETACH);
    std::string loops;
    if (::access(image.c_str(), F_OK) == 0 && run({ "losetup", "-j", image }, &loops)) {
        std::stringstream lines(loops);
        for (std::string line; std::getline(lines, line);)
            if (size_t colon = line.find(':'); colon != std::string::npos)
                run({ "losetup", "-d", line.substr(0, colon) });
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}

// With port 0: a TCP port of 127.0.0.1 that nothing listens on now, or 0. Otherwise: port if
// something accepts connections there, else 0.
int loopback_port(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    auto* at = reinterpret_cast<sockaddr*>(&address);
    socklen_t length = sizeof address;
    bool done = fd >= 0
        && (port == 0 ? ::bind(fd, at, length) == 0 && ::getsockname(fd, at, &length) == 0
                      : ::connect(fd, at, length) == 0);
    if (fd >= 0)
        ::close(fd);
    return done ? ntohs(address.sin_port) : 0;
}

// Starts a throwaway sshd on a free port of 127.0.0.1, with its own host key and one authorized
// key, serving folder/served through the SFTP subsystem fs.mount, and mounts that with sshfs
// (without sshfs's caches, so that a change on the server shows at once, unless fs.cached).
std::string mount_sftp(const FileSystem& fs, const std::string& folder, Mounted* mounted)
{
    const char* sshd = "/usr/sbin/sshd";
    if (::access(sshd, X_OK) != 0)
        return "sshd is not installed";
    for (const char* tool : { "ssh-keygen", "sshfs" })
        if (!have_tool(tool))
            return std::string(tool) + " is not installed";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "no /dev/fuse";
    std::string output;
    for (const char* key : { "host_key", "user_key" })
        if (!run({ "ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", folder + "/" + key },
                &output))
            return "ssh-keygen failed: " + output;
    std::filesystem::copy_file(folder + "/user_key.pub", folder + "/authorized_keys");
    int port = loopback_port(0);
    if (port == 0)
        return "no free port on 127.0.0.1";
    const std::string config = folder + "/sshd_config";
    {
        std::ofstream out(config);
        out << "ListenAddress 127.0.0.1\nPort " << port << "\nHostKey " << folder
            << "/host_key\nPidFile none\nAuthorizedKeysFile " << folder
            << "/authorized_keys\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
            << "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\n"
            << "Subsystem sftp";
        for (const std::string& word : fs.mount)
            out << ' ' << word;
        out << '\n';
    }
    std::filesystem::create_directories("/run/sshd"); // its privilege separation folder
    mounted->server = ::fork();
    if (mounted->server == 0) {
        int log = ::open((folder + "/sshd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, 1);
        ::dup2(log, 2);
        ::execl(sshd, sshd, "-D", "-e", "-f", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int attempt = 0; attempt < 100 && loopback_port(port) == 0; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (loopback_port(port) == 0)
        return "sshd did not start";
    mounted->served = folder + "/served";
    const std::string point = folder + "/mnt";
    std::filesystem::create_directories(mounted->served);
    if (!run({ "sshfs", "-p", std::to_string(port), "-o",
                 "IdentityFile=" + folder
                     + "/user_key,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,"
                       "BatchMode=yes"
                     + std::string(fs.cached ? "" : ",dir_cache=no,attr_timeout=0,entry_timeout=0"),
                 "root@127.0.0.1:" + mounted->served, point },
            &output))
        return "sshfs failed: " + output;
    mounted->point = point;
    return "";
}

// Mounts fs under kRoot; an empty result, or the reason it cannot be mounted here.
std::string mount(const FileSystem& fs, Mounted* mounted)
{
    const std::string folder = kRoot + "/" + fs.name;
    const std::string image = kRoot + "/" + fs.name + ".img";
    const std::string point = folder + "/mnt";
    if (::geteuid() != 0)
        return "mounting needs root";
    clean_up_stale(folder, image);
    std::filesystem::create_directories(point);
    if (fs.mounting == Mounting::Sshfs)
        return mount_sftp(fs, folder, mounted);

    std::vector<std::string> mountArgs = fs.mount;
    std::string output;
    if (fs.mounting == Mounting::Tmpfs) {
        mountArgs.push_back(point);
    } else {
        bool fuse = fs.mounting == Mounting::FuseOnLoop || fs.mounting == Mounting::FuseOnImage;
        if (fuse && ::access("/dev/fuse", R_OK | W_OK) != 0)
            return "no /dev/fuse";
        if (fs.mounting != Mounting::FuseOnImage && ::access("/dev/loop-control", F_OK) != 0)
            return "no loop devices";
        for (const std::string& tool : { fs.mkfs[0], fs.mount[0] })
            if (!have_tool(tool))
                return tool + " is not installed";
        std::filesystem::remove(image);
        if (::truncate((std::ofstream(image), image).c_str(), off_t(fs.megabytes) << 20) != 0)
            return "cannot make the image";
        std::vector<std::string> mkfs = fs.mkfs;
        mkfs.push_back(image);
        if (!run(mkfs, &output))
            return fs.mkfs[0] + " failed: " + output;
        std::string device = image;
        if (fs.mounting == Mounting::FuseOnLoop) {
            if (!run({ "losetup", "-f", "--show", image }, &output))
                return "losetup failed: " + output;
            mounted->loop = output.substr(0, output.find('\n'));
            device = mounted->loop;
        }
        mountArgs.push_back(device);
        mountArgs.push_back(point);
    }
    if (!run(mountArgs, &output))
        return fs.mount[0] + " failed: " + output;
    mounted->point = point;
    return "";
}

class Matrix : public testing::TestWithParam<FileSystem>
{
};

std::string fs_name(const testing::TestParamInfo<FileSystem>& info)
{
    return info.param.name;
}

} // namespace

TEST_P(Matrix, RenamesThroughTheWindow)
{
    const FileSystem& fs = GetParam();
    Mounted mounted;
    std::string root = ORVALIN_SCRATCH_ROOT;
    if (fs.mounting != Mounting::None) {
        std::string reason = mount(fs, &mounted);
        if (!reason.empty()) {
            std::printf("%s: skipped: %s\n", fs.name, reason.c_str());
            GTEST_SKIP() << fs.name << ": " << reason;
        }
        root = mounted.point;
    }

    ensure_gui();
    ScratchDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    AlertRecorder alerts;
    TraceCapture output;
    {
        ScratchDir dir(root);
        // Names come from the ID3v1 tags: FAT and exFAT keep no extended attributes, and the
        // type comes from the file's name and content.
        auto song = [&](const std::string& name, const std::string& title) {
            mp3gen::Id3v1 tag;
            tag.title = title;
            tag.artist = name;
            dir.MakeMp3(name, mp3gen::id3v1(tag));
            return dir.Read(name);
        };
        const std::string one = song("one.mp3", "Alpha");
        const std::string lower = song("song.mp3", "Song");
        const std::string three = song("three.mp3", "Alpha");
        dir.MakeFile("Probe");
        const bool caseInsensitive = dir.Exists("PROBE");
        // lowntfs-3g's ignore_case lists every name in lower case.
        const std::vector<std::string> probed = dir.Names();
        const bool listsLowerCase
            = std::find(probed.begin(), probed.end(), "probe") != probed.end();
        ::unlink(dir.PathOf("Probe").c_str());

        BMessage refs('RRCV');
        for (const char* name : { "one.mp3", "song.mp3", "three.mp3" }) {
            entry_ref ref = dir.Ref(name);
            refs.AddRef("refs", &ref);
        }
        TagViewer_window win(BRect(100, 100, 101, 101), &refs);
        ASSERT_EQ(win.CountFiles(), 3) << output.Take();
        win.constructor_control->SetText("/tt.mp3");
        auto send = [&](uint32 what) {
            BMessage msg(what);
            win.MessageReceived(&msg);
        };
        auto names = [&] { return dir.Names(); };
        auto listed = [&](std::vector<std::string> expected) {
            for (std::string& name : expected)
                for (char& c : name)
                    c = listsLowerCase ? static_cast<char>(std::tolower(c)) : c;
            return expected;
        };

        // Plain renames; the bytes stay as they were.
        send(CMD_RENAME);
        send(CMD_ADD_MP3);
        EXPECT_TRUE(dir.Exists("Alpha.mp3.mp3"));
        send(CMD_REMOVE_MP3);
        EXPECT_EQ(names(), listed({ "Alpha.mp3", "song.mp3", "three.mp3" }));
        EXPECT_EQ(dir.Read("Alpha.mp3"), one);

        // A change of case only.
        send(CMD_NEXT);
        send(CMD_RENAME);
        EXPECT_EQ(names(), listed({ "Alpha.mp3", "Song.mp3", "three.mp3" }));
        EXPECT_EQ(std::string(win.name_view->Text()), "Song.mp3");
        EXPECT_EQ(dir.Read("Song.mp3"), lower);
        EXPECT_TRUE(alerts.alerts.empty()) << output.Take();

        // A taken name: the waiting "Ok" alert, both files untouched.
        send(CMD_NEXT);
        send(CMD_RENAME);
        ASSERT_EQ(alerts.Texts(), std::vector<std::string> { kExists });
        EXPECT_EQ(alerts.alerts[0].buttons, std::vector<std::string> { "Ok" });
        EXPECT_EQ(dir.Read("Alpha.mp3"), one);
        EXPECT_EQ(dir.Read("three.mp3"), three);

        if (caseInsensitive) {
            // A case-only rename whose second step and move back both fail: the list follows
            // the file under its temporary name, and the failure is reported.
            send(CMD_PREV);
            win.constructor_control->SetText("song.mp3");
            alerts.Clear();
            output.Take();
            entry_fail_moves({ 0, EIO, 0, EIO, EIO });
            send(CMD_RENAME);
            entry_fail_moves({});
            EXPECT_NE(output.Take().find("Rename: B_FILE_ERROR \n"), std::string::npos);
            EXPECT_EQ(alerts.Texts(), std::vector<std::string> { kGrumble });
            std::string actual = win.file_refs[1].name;
            const std::string temporary = rename_temporary_name("song.mp3", 0);
            EXPECT_EQ(actual.substr(0, temporary.size()), temporary);
            EXPECT_EQ(std::string(win.name_view->Text()), actual);
            EXPECT_EQ(dir.Read(actual), lower);
        }
        // Case changes, of a file of many clusters (fusefat's own rename onto a case variant
        // frees them, and the next file written takes them) and beyond ASCII; and names that
        // are not UTF-8 (a surrogate, an overlong "/"), which a file system storing UTF-16
        // refuses before anything moves: exFAT-FUSE would take them and then fail to list the
        // folder. The file's bytes are checked after another file was written.
        struct Change {
            const char *from, *to;
            bool utf8;
        };
        const Change cases[] = {
            { "big.mp3", "BIG.mp3", true },
            { "die \xC3\xA4rzte.mp3", "Die \xC3\x84rzte.mp3", true },
            { "\xC3\xA9lan.mp3", "\xC3\x89lan.mp3", true },
            { "bytes.mp3", "\xED\xA0\x80.mp3", false },
            { "bytes.mp3", "\xC0\xAF.mp3", false },
        };
        const size_t count = dir.Count();
        std::string bytes(64 << 10, '\0');
        for (size_t at = 0; at < bytes.size(); ++at)
            bytes[at] = static_cast<char>(at * 7 + at / 4096);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.to);
            if (!mp3gen::write_file(dir.PathOf(c.from), bytes)) {
                std::printf("%s: cannot make \"%s\" here; that case is skipped\n", fs.name, c.from);
                continue;
            }
            entry_ref ref = dir.Ref(c.from);
            BEntry entry(&ref);
            const bool refused = fs.utf16Names && !c.utf8;
            EXPECT_EQ(entry.Rename(c.to), refused ? B_BAD_VALUE : B_OK);
            EXPECT_EQ(dir.Count(), count + 1);
            const std::string name = refused ? c.from : c.to;
            if (dir.Read(name) != bytes) {
                // fusefat spins on a broken cluster chain at the next change: the volume is
                // detached, not touched again.
                ::umount2(mounted.point.c_str(), MNT_DETACH);
                mounted.point.clear();
                FAIL() << "the rename changed the file's bytes; the volume was detached";
            }
            dir.MakeFile("filler", std::string(256 << 10, 'f'));
            EXPECT_TRUE(dir.Read(name) == bytes) << "a later write changed the file's bytes";
            ::unlink(dir.PathOf("filler").c_str());
            ::unlink(dir.PathOf(name).c_str());
        }

        // Names built from song texts (ID3v2, so that FAT's files have them too): a value's "/"
        // and, on a file system storing UTF-16, Windows's reserved characters become "_" and
        // trailing spaces and dots go; a long name is cut before its suffix to 255 bytes, or
        // to 255 UTF-16 units where the file system counts those. The preview shows the name
        // written.
        auto times = [](const std::string& unit, int count) {
            std::string text;
            while (count-- > 0)
                text += unit;
            return text;
        };
        const std::string e = "\xC3\xA9", note = "\xF0\x9F\x8E\xB5"; // 1 and 2 UTF-16 units
        const struct {
            std::string title;
            const char* text;
            std::string windows, plain; // the name written on a UTF-16 file system, elsewhere
            std::string units = ""; // where 255 UTF-16 units are taken, if not windows
        } built[] = {
            { "AC/DC", "/ta.mp3", "AC_DC.mp3", "AC_DC.mp3" },
            { "Who Are You?", "/ta.mp3", "Who Are You_.mp3", "Who Are You?.mp3" },
            { "a\\b:c*d\"e<f>g|h\x01", "/ta.mp3", "a_b_c_d_e_f_g_h_.mp3",
                "a\\b:c*d\"e<f>g|h\x01.mp3" },
            { "Ends in dots. . ", "/ta", "Ends in dots", "Ends in dots. . " },
            { std::string(300, 'x'), "/ta - /ta.mp3", std::string(251, 'x') + ".mp3",
                std::string(251, 'x') + ".mp3" },
            // 300 bytes, of which the attribute read keeps 127 letters or 63 notes.
            { times(e, 150), "/ta.mp3", times(e, 125) + ".mp3", times(e, 125) + ".mp3",
                times(e, 127) + ".mp3" },
            { times(note, 75), "/ta/ta.mp3", times(note, 62) + ".mp3", times(note, 62) + ".mp3",
                times(note, 125) + ".mp3" },
        };
        // fusefat makes no name beyond ASCII.
        const bool ascii = !mp3gen::write_file(dir.PathOf(e + ".probe"), "");
        ::unlink(dir.PathOf(e + ".probe").c_str());
        auto same_name = [&](std::string listed, std::string wanted) {
            if (listsLowerCase)
                for (std::string* name : { &listed, &wanted })
                    for (char& c : *name)
                        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            return listed == wanted;
        };
        for (const auto& b : built) {
            SCOPED_TRACE(b.text + std::string(" ") + b.title.substr(0, 20));
            if (ascii && static_cast<unsigned char>(b.title[0]) >= 0x80) {
                std::printf("%s: makes no name beyond ASCII; that case is skipped\n", fs.name);
                continue;
            }
            dir.MakeMp3(
                "in.mp3", "", mp3gen::id3v2(4, { { "TIT2", b.title, mp3gen::Frame::Utf8 } }));
            const std::string content = dir.Read("in.mp3");
            const std::vector<std::string> before = dir.Names();
            BMessage one('RRCV');
            entry_ref ref = dir.Ref("in.mp3");
            one.AddRef("refs", &ref);
            TagViewer_window named(BRect(100, 100, 101, 101), &one);
            ASSERT_EQ(named.CountFiles(), 1) << output.Take();
            named.constructor_control->SetText(b.text);
            BMessage reload(CMD_NEXT), rename(CMD_RENAME);
            named.MessageReceived(&reload);
            const std::string& wanted = fs.utf16Units && !b.units.empty() ? b.units
                : fs.utf16Names                                           ? b.windows
                                                                          : b.plain;
            EXPECT_EQ(std::string(named.preview_view->Text()), wanted);
            alerts.Clear();
            named.MessageReceived(&rename);
            EXPECT_TRUE(alerts.alerts.empty()) << output.Take();
            EXPECT_EQ(std::string(named.name_view->Text()), wanted);
            // The one new name in the folder, byte for byte, holds the song.
            std::vector<std::string> after = dir.Names();
            ASSERT_EQ(after.size(), before.size());
            std::string written;
            for (const std::string& name : after)
                if (std::find(before.begin(), before.end(), name) == before.end())
                    written = name;
            EXPECT_TRUE(same_name(written, wanted)) << written;
            EXPECT_EQ(dir.Read(wanted), content);
            ::unlink(dir.PathOf(wanted).c_str());
        }

        // Another song took the loaded file's name since the load (on the server, for sshfs,
        // whose inode numbers follow the path): it is not moved, whether its size differs or
        // only its time (2 s younger).
        for (const char* bytes : { "another song", "ANOTHR" }) {
            SCOPED_TRACE(bytes);
            entry_ref ref = dir.MakeFile("loaded.mp3", "loaded");
            BEntry entry(&ref);
            node_ref loaded;
            ASSERT_EQ(entry.GetNodeRef(&loaded), B_OK);
            const std::string side = mounted.served.empty()
                ? dir.Path()
                : mounted.served + dir.Path().substr(root.size());
            ASSERT_TRUE(mp3gen::write_file(side + "/other", bytes));
            const struct timespec younger[2]
                = { { loaded.modified.tv_sec + 2, 0 }, { loaded.modified.tv_sec + 2, 0 } };
            ASSERT_EQ(::utimensat(AT_FDCWD, (side + "/other").c_str(), younger, 0), 0);
            ASSERT_EQ(::unlink((side + "/loaded.mp3").c_str()), 0);
            ASSERT_EQ(::rename((side + "/other").c_str(), (side + "/loaded.mp3").c_str()), 0);
            EXPECT_EQ(entry.Rename("moved.mp3", false, loaded), B_ENTRY_NOT_FOUND);
            EXPECT_EQ(dir.Read("loaded.mp3"), bytes);
            EXPECT_FALSE(dir.Exists("moved.mp3"));
            ::unlink(dir.PathOf("loaded.mp3").c_str());
        }

        std::printf("%s: renamed through the window%s\n", fs.name,
            caseInsensitive ? " (case-insensitive)" : "");
    }
    mounted.Release();
}

INSTANTIATE_TEST_SUITE_P(FileSystems, Matrix,
    testing::Values(FileSystem { "BuildTree", Mounting::None, 0, {}, {} },
        FileSystem { "Tmpfs", Mounting::Tmpfs, 0, {},
            { "mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs" } },
        FileSystem {
            "Xfs", Mounting::Loop, 300, { "mkfs.xfs", "-q", "-f" }, { "mount", "-o", "loop" } },
        FileSystem {
            "Btrfs", Mounting::Loop, 128, { "mkfs.btrfs", "-q", "-f" }, { "mount", "-o", "loop" } },
        FileSystem { "ExfatFuse", Mounting::FuseOnLoop, 16, { "mkfs.exfat" },
            { "mount.exfat-fuse" }, true, false, true },
        FileSystem { "FatFuse", Mounting::FuseOnImage, 16, { "mkfs.vfat" },
            { "fusefat", "-o", "rw+" }, true },
        FileSystem { "Ntfs3g", Mounting::FuseOnImage, 16, { "mkfs.ntfs", "-F", "-f", "-Q" },
            { "ntfs-3g" }, true },
        FileSystem { "LowNtfs3gIgnoreCase", Mounting::FuseOnImage, 16,
            { "mkfs.ntfs", "-F", "-f", "-Q" }, { "lowntfs-3g", "-o", "ignore_case" }, true },
        FileSystem { "SshfsExtensions", Mounting::Sshfs, 0, {}, { "internal-sftp" } },
        FileSystem { "SshfsPlain", Mounting::Sshfs, 0, {},
            { "internal-sftp", "-P", "hardlink,posix-rename" } },
        FileSystem { "SshfsCached", Mounting::Sshfs, 0, {}, { "internal-sftp" }, false, true }),
    fs_name);
