// tests/filesystems_test.cpp: renaming through the real window on each file system music lives
// on: the build tree's, tmpfs, xfs and btrfs on loop images, and FUSE exFAT, FAT and NTFS
// images. Mounting needs root, loop devices, /dev/fuse and the tools; a file system that cannot
// be mounted here is reported as skipped, with the reason.
#include "tests/support/Recorder.h"
#include "tests/support/Scratch.h"

#include "platform/Application.h"
#include "platform/EntryTesting.h"
#include "platform/Message.h"
#include "platform/RenameMarks.h"
#include "scripts/mp3gen.h"
#include "window/TagViewer_window.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
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

enum class Mounting { None, Tmpfs, Loop, FuseOnLoop, FuseOnImage };

struct FileSystem {
    const char* name;
    Mounting mounting;
    int megabytes; // of the image (each mkfs has its minimum)
    std::vector<std::string> mkfs; // the image's path is appended
    std::vector<std::string> mount; // the device or image and the mount point are appended
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
    }

    std::string point, loop;
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
        dir.MakeFile("probe");
        const bool caseInsensitive = dir.Exists("PROBE");
        ::unlink(dir.PathOf("probe").c_str());

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

        // Plain renames; the bytes stay as they were.
        send(CMD_RENAME);
        send(CMD_ADD_MP3);
        EXPECT_TRUE(dir.Exists("Alpha.mp3.mp3"));
        send(CMD_REMOVE_MP3);
        EXPECT_EQ(names(), (std::vector<std::string> { "Alpha.mp3", "song.mp3", "three.mp3" }));
        EXPECT_EQ(dir.Read("Alpha.mp3"), one);

        // A change of case only.
        send(CMD_NEXT);
        send(CMD_RENAME);
        EXPECT_EQ(names(), (std::vector<std::string> { "Alpha.mp3", "Song.mp3", "three.mp3" }));
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
            EXPECT_EQ(rename_temporary_target(actual), "song.mp3") << actual;
            EXPECT_EQ(std::string(win.name_view->Text()), actual);
            EXPECT_EQ(dir.Read(actual), lower);
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
        FileSystem {
            "ExfatFuse", Mounting::FuseOnLoop, 16, { "mkfs.exfat" }, { "mount.exfat-fuse" } },
        FileSystem {
            "FatFuse", Mounting::FuseOnImage, 16, { "mkfs.vfat" }, { "fusefat", "-o", "rw+" } },
        FileSystem { "Ntfs3g", Mounting::FuseOnImage, 16, { "mkfs.ntfs", "-F", "-f", "-Q" },
            { "ntfs-3g" } }),
    fs_name);
