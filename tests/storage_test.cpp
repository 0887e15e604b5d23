// tests/storage_test.cpp: files (open modes, positions, sizes), paths, the settings directory
// the errno mapping, and what the start puts right after a killed rename.
#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "platform/storage/FindDirectory.h"
#include "platform/storage/Path.h"
#include "platform/storage/rename/Journal.h"
#include "platform/storage/rename/TestSeams.h"
#include "tests/support/Child.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// Sets an environment variable for the life of the guard.
class EnvGuard
{
public:
    EnvGuard(const char* name, const char* value)
        : fName(name)
    {
        if (const char* old = std::getenv(name))
            fOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvGuard()
    {
        if (fOld)
            ::setenv(fName, fOld->c_str(), 1);
        else
            ::unsetenv(fName);
    }

private:
    const char* fName;
    std::optional<std::string> fOld;
};

} // namespace

TEST(File, OpenModesMapOntoTheSystemFlags)
{
    ScratchDir dir;
    dir.MakeFile("old", "0123456789");
    const uint32 kCreateErase = B_WRITE_ONLY | B_CREATE_FILE | B_ERASE_FILE;
    const struct {
        const char* name;
        uint32 mode;
        status_t status;
        std::string after; // the file's bytes after writing "ab" (when open)
    } cases[] = {
        { "old", B_READ_WRITE, B_OK, "ab23456789" },
        { "old", B_WRITE_ONLY | B_OPEN_AT_END, B_OK, "0123456789ab" },
        { "old", kCreateErase, B_OK, "ab" },
        { "old", B_READ_WRITE | B_CREATE_FILE | B_FAIL_IF_EXISTS, B_FILE_EXISTS, "0123456789" },
        { "new", kCreateErase, B_OK, "ab" },
        { "new", B_READ_WRITE, B_ENTRY_NOT_FOUND, "" },
        { "old", 3, B_BAD_VALUE, "0123456789" },
        { "old", B_READ_ONLY | 0x4000, B_BAD_VALUE, "0123456789" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(c.mode));
        dir.MakeFile("old", "0123456789");
        ::unlink(dir.PathOf("new").c_str());
        BFile file(dir.PathOf(c.name).c_str(), c.mode);
        ASSERT_EQ(file.InitCheck(), c.status);
        if (c.status == B_OK)
            EXPECT_EQ(file.Write("ab", 2), 2);
        else
            EXPECT_EQ(file.Write("ab", 2), B_NO_INIT);
        file.Unset();
        EXPECT_EQ(dir.Read(c.name), c.after);
    }

    BFile readOnly(dir.PathOf("old").c_str(), B_READ_ONLY);
    ASSERT_EQ(readOnly.InitCheck(), B_OK);
    EXPECT_LT(readOnly.Write("x", 1), 0);
    EXPECT_EQ(BFile(dir.Path().c_str(), B_READ_ONLY).InitCheck(), status_for_errno(EISDIR));
    EXPECT_EQ(BFile(static_cast<const entry_ref*>(nullptr), B_READ_ONLY).InitCheck(), B_BAD_VALUE);
}

TEST(File, SeeksReadsAndSizes)
{
    ScratchDir dir;
    entry_ref ref = dir.MakeFile("data", "0123456789");
    BFile file(&ref, B_READ_WRITE);
    ASSERT_EQ(file.InitCheck(), B_OK);
    off_t size = 0;
    ASSERT_EQ(file.GetSize(&size), B_OK);
    EXPECT_EQ(size, 10);

    char buffer[16] = {};
    EXPECT_EQ(file.Seek(-4, SEEK_END), 6);
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file.Position(), 10);
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0);
    EXPECT_EQ(file.Seek(2, SEEK_SET), 2);
    EXPECT_EQ(file.Seek(3, SEEK_CUR), 5);
    EXPECT_EQ(file.Write("ab", 2), 2);
    EXPECT_EQ(file.Position(), 7);
    // Before the start, or an unknown mode: refused, and the position stays.
    EXPECT_EQ(file.Seek(-20, SEEK_END), B_BAD_VALUE);
    EXPECT_EQ(file.Seek(0, 7), B_BAD_VALUE);
    EXPECT_EQ(file.Position(), 7);
    EXPECT_EQ(file.Seek(4, SEEK_END), 14); // past the end: a later write leaves a hole
    EXPECT_EQ(dir.Read("data"), "01234ab789");

    BFile unset;
    EXPECT_EQ(unset.Read(buffer, 1), B_NO_INIT);
    EXPECT_EQ(unset.Seek(0, SEEK_SET), B_NO_INIT);
    EXPECT_EQ(unset.GetSize(&size), B_NO_INIT);
}

TEST(Path, JoinsAndSplitsBytes)
{
    ScratchDir dir;
    BPath joined(dir.Path().c_str(), "caf\xE9.mp3");
    ASSERT_EQ(joined.InitCheck(), B_OK);
    EXPECT_EQ(std::string(joined.Path()), dir.PathOf("caf\xE9.mp3"));
    EXPECT_STREQ(joined.Leaf(), "caf\xE9.mp3");
    EXPECT_EQ(joined.Append("x"), B_OK);
    EXPECT_STREQ(joined.Leaf(), "x");

    BPath root("/", "etc");
    EXPECT_STREQ(root.Path(), "/etc");
    EXPECT_EQ(BPath(dir.Path().c_str(), "a/b").InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BPath(nullptr).InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BPath().Path(), nullptr);
    EXPECT_EQ(BPath().Leaf(), nullptr);

    // Normalizing resolves links and dots; a missing leaf is kept.
    ASSERT_EQ(::mkdir(dir.PathOf("real").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("real", dir.PathOf("alias").c_str()), 0);
    BPath normalized((dir.PathOf("alias") + "/../alias/.").c_str(), "new.mp3", true);
    ASSERT_EQ(normalized.InitCheck(), B_OK);
    EXPECT_EQ(std::string(normalized.Path()), dir.PathOf("real/new.mp3"));
}

TEST(FindDirectory, SettingsLiveInTheConfigDirectory)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.PathOf("config").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("home").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("home/.config").c_str(), 0755), 0);
    EnvGuard home("HOME", dir.PathOf("home").c_str());
    const struct {
        std::optional<std::string> configHome; // nothing: unset
        std::string path; // empty: not found
    } cases[] = {
        { dir.PathOf("config"), dir.PathOf("config") },
        { std::nullopt, dir.PathOf("home/.config") },
        { "relative/config", dir.PathOf("home/.config") },
        { "", dir.PathOf("home/.config") },
        { dir.PathOf("missing"), "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configHome.value_or("(unset)"));
        EnvGuard config("XDG_CONFIG_HOME", c.configHome ? c.configHome->c_str() : nullptr);
        BPath path;
        status_t status = find_directory(B_COMMON_SETTINGS_DIRECTORY, &path);
        if (c.path.empty()) {
            EXPECT_EQ(status, B_ENTRY_NOT_FOUND);
        } else {
            ASSERT_EQ(status, B_OK);
            EXPECT_EQ(std::string(path.Path()), c.path);
        }
    }
    EXPECT_FALSE(dir.Exists("missing")) << "never created unless asked";

    const std::string made = dir.PathOf("made/config");
    EnvGuard config("XDG_CONFIG_HOME", made.c_str());
    BPath path;
    ASSERT_EQ(find_directory(B_COMMON_SETTINGS_DIRECTORY, &path, true), B_OK);
    struct stat st;
    ASSERT_EQ(::stat(dir.PathOf("made/config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(find_directory(static_cast<directory_which>(1), &path), B_BAD_VALUE);
    EXPECT_EQ(find_directory(B_COMMON_SETTINGS_DIRECTORY, nullptr), B_BAD_VALUE);
}

TEST(Status, SystemErrorsKeepDistinctCodes)
{
    const std::pair<int, status_t> named[] = { { 0, B_OK }, { EEXIST, B_FILE_EXISTS },
        { ENOENT, B_ENTRY_NOT_FOUND }, { EACCES, B_PERMISSION_DENIED }, { EPERM, B_NOT_ALLOWED },
        { ENOSPC, B_DEVICE_FULL }, { ENOMEM, B_NO_MEMORY }, { EINVAL, B_BAD_VALUE },
        { EBUSY, B_BUSY }, { EIO, B_FILE_ERROR } };
    for (auto [error, status] : named)
        EXPECT_EQ(status_for_errno(error), status) << error;
    // The others: negative, distinct from each other and from every named code.
    std::set<status_t> seen;
    for (auto [error, status] : named)
        seen.insert(status);
    for (int error : { ENAMETOOLONG, EROFS, ENOTDIR, EISDIR, EXDEV, ENOTSUP, ELOOP, EDQUOT }) {
        status_t status = status_for_errno(error);
        EXPECT_LT(status, 0) << error;
        EXPECT_TRUE(seen.insert(status).second) << error;
    }
}

TEST(Journal, ARenameIsJournaledBeforeItAndReadBackByteExact)
{
    ScratchDir dir;
    EnvGuard state("XDG_STATE_HOME", (dir.Path() + ".state").c_str());
    const std::string oldName = "a\xff\x01 b.mp3", newName = "Titel \xc3\xa9.mp3";
    entry_ref ref = dir.MakeFile(oldName, "song");
    struct stat song;
    ASSERT_EQ(::stat(dir.PathOf(oldName).c_str(), &song), 0);
    // Renamed by a process that is gone when the journal is read.
    std::optional<status_t> renamed = run_in_child(ChildUser::Same, [&] {
        BEntry entry(&ref);
        status_t status = entry.Rename(newName.c_str());
        journal_sync();
        return journal_own_path().empty() ? B_ERROR : status;
    });
    ASSERT_EQ(renamed, B_OK);
    std::vector<journal_file> journals = journal_list();
    ASSERT_EQ(journals.size(), 1u);
    const journal_file& journal = journals[0];
    EXPECT_FALSE(journal.writer_alive);
    EXPECT_TRUE(journal.intact);
    EXPECT_TRUE(journal.journaled);
    ASSERT_EQ(journal.records.size(), 2u);
    const journal_record& rename = journal.records[0];
    EXPECT_EQ(rename.step, journal_step::rename);
    EXPECT_EQ(rename.folder_path, ref.directory_path);
    EXPECT_EQ(rename.folder_device, ref.device);
    EXPECT_EQ(rename.folder_node, ref.directory);
    EXPECT_EQ(rename.from, oldName);
    EXPECT_EQ(rename.to, newName);
    EXPECT_EQ(rename.file.node, song.st_ino);
    EXPECT_EQ(rename.file.size, 4);
    EXPECT_EQ(journal.records[1].step, journal_step::done);

    // A torn or corrupt tail ends what is read; the records before it stay.
    const std::string path = journal.path;
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    for (off_t cut : { st.st_size - 1, st.st_size - 20 }) {
        SCOPED_TRACE(cut);
        ASSERT_EQ(::truncate(path.c_str(), cut), 0);
        journals = journal_list();
        ASSERT_EQ(journals.size(), 1u);
        EXPECT_FALSE(journals[0].intact);
        EXPECT_EQ(journals[0].records.size(), 1u);
    }
    // A record claiming 4 GiB ends the reading there, before anything is allocated for it.
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, st.st_size - 20), 0);
        const unsigned char huge[] = { 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8 };
        ASSERT_EQ(::write(fd, huge, sizeof huge), static_cast<ssize_t>(sizeof huge));
        ::close(fd);
        journals = journal_list();
        ASSERT_EQ(journals.size(), 1u);
        EXPECT_FALSE(journals[0].intact);
        EXPECT_EQ(journals[0].records.size(), 1u);
    }

    // A journal that cannot be made stops no rename.
    EnvGuard nowhere("XDG_STATE_HOME", dir.PathOf(newName + "/state").c_str());
    entry_ref again = dir.Ref(newName);
    EXPECT_EQ(run_in_child(ChildUser::Same,
                  [&] {
                      status_t status = BEntry(&again).Rename("third.mp3");
                      return journal_own_path().empty() ? status : B_ERROR;
                  }),
        B_OK);
    EXPECT_TRUE(dir.Exists("third.mp3"));
}

namespace
{

// Runs body in a child process that ends without cleaning up, as a killed run does.
void in_killed_run(const std::function<void()>& body)
{
    if (pid_t child = ::fork(); child == 0) {
        body();
        ::_exit(0);
    } else {
        ::waitpid(child, nullptr, 0);
    }
}

// A step a killed run journaled in a folder, for the file then under `file` ("": none);
// `folder` names the folder journaled when it is not the run's own.
struct Step {
    journal_step step;
    std::string from, to, file;
    std::string folder = "";
};

void journal_steps(const ScratchDir& dir, const std::vector<Step>& steps)
{
    in_killed_run([&] {
        struct stat folder;
        ::stat(dir.Path().c_str(), &folder);
        for (const Step& step : steps) {
            struct stat st = {};
            if (!step.file.empty())
                ::lstat(
                    step.file[0] == '/' ? step.file.c_str() : dir.PathOf(step.file).c_str(), &st);
            journal_folder_scope scope(
                folder.st_dev, folder.st_ino, step.folder.empty() ? dir.Path() : step.folder);
            journal_note(step.step, step.from.c_str(), step.to.c_str(), st);
        }
    });
}

} // namespace

TEST(JournalRecovery, ActsOnlyOnWhatAKilledRunJournaled)
{
    using Names = std::map<std::string, std::string>;
    using js = journal_step;
    const std::string temp = "A.mp3.orvalin-renaming";
    const Step rename { js::rename, "a.mp3", "b.mp3", "a.mp3" };
    const Step placeholder { js::placeholder, "a.mp3", "b.mp3", "a.mp3" };
    const Step made { js::placeholder_made, "a.mp3", "b.mp3", "b.mp3" };
    const Step done { js::done, "a.mp3", "b.mp3", "a.mp3" };
    const Names song { { "a.mp3", "song" } }, reserved { { "a.mp3", "song" }, { "b.mp3", "" } };
    const struct {
        const char* what;
        Names before;
        std::vector<Step> steps; // journaled by a run killed then
        std::function<void(ScratchDir& dir, ScratchDir& other)> then; // after the kill, or null
        Names after;
        bool lockHeld = false; // the run's writer is still going
        bool asRoot = false; // gives a file to another user
    } rows[] = {
        // Nothing journaled: nothing done, whatever the names, sizes and dates.
        { "an empty file dated as the old placeholders", { { "B.mp3", "" } }, {},
            [](ScratchDir& dir, ScratchDir&) {
                const struct timespec times[2] = { { 315576000, 0 }, { 315576000, 0 } };
                ::utimensat(AT_FDCWD, dir.PathOf("B.mp3").c_str(), times, 0);
            },
            { { "B.mp3", "" } } },
        { "the user's own file named like a temporary name",
            { { "notes.txt.orvalin-renaming", "n" } }, {}, nullptr,
            { { "notes.txt.orvalin-renaming", "n" } } },
        { "an empty file beside a temporary name", { { "A.mp3", "" }, { temp, "song" } }, {},
            nullptr, { { "A.mp3", "" }, { temp, "song" } } },
        { "a hard link named like a temporary name", { { "A.mp3", "song" } }, {},
            [&](ScratchDir& dir, ScratchDir&) {
                ::link(dir.PathOf("A.mp3").c_str(), dir.PathOf(temp).c_str());
            },
            { { "A.mp3", "song" }, { temp, "song" } } },
        // Killed between link and unlink (the real rename): the old name goes, while it is
        // still the same file.
        { "killed between link and unlink", song, {},
            [](ScratchDir& dir, ScratchDir&) {
                entry_ref ref = dir.Ref("a.mp3");
                in_killed_run([&] {
                    entry_force_link_rename(true);
                    entry_between_link_and_unlink([] { ::_exit(0); });
                    (void)BEntry(&ref).Rename("b.mp3");
                });
            },
            { { "b.mp3", "song" } } },
        { "killed between link and unlink, the old name since another file's", song,
            { rename, { js::link, "a.mp3", "b.mp3", "a.mp3" } },
            [](ScratchDir& dir, ScratchDir&) {
                ::link(dir.PathOf("a.mp3").c_str(), dir.PathOf("b.mp3").c_str());
                ::unlink(dir.PathOf("a.mp3").c_str());
                dir.MakeFile("a.mp3", "song");
            },
            { { "a.mp3", "song" }, { "b.mp3", "song" } } },
        // Placeholders: removed only while they are the node journaled, and the user's.
        { "a journaled placeholder", reserved, { rename, placeholder, made }, nullptr, song },
        { "a placeholder whose rename ended", reserved, { rename, made, done }, nullptr, reserved },
        { "a placeholder's name since another empty file's", reserved, { rename, made },
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("c.mp3");
                ::rename(dir.PathOf("c.mp3").c_str(), dir.PathOf("b.mp3").c_str());
            },
            reserved },
        { "a placeholder's name the song took before the kill", reserved, { rename, made },
            [](ScratchDir& dir, ScratchDir&) {
                ::rename(dir.PathOf("a.mp3").c_str(), dir.PathOf("b.mp3").c_str());
            },
            { { "b.mp3", "song" } } },
        { "another user's placeholder", reserved, { rename, made },
            [](ScratchDir& dir, ScratchDir&) {
                ASSERT_EQ(::chown(dir.PathOf("b.mp3").c_str(), 65534, 65534), 0);
            },
            reserved, false, true },
        { "a live run's placeholder", reserved, { rename, made }, nullptr, reserved, true },
        // Killed in the create of a placeholder: its node was never journaled.
        { "killed while its placeholder was made", song, { rename, placeholder },
            [](ScratchDir& dir, ScratchDir&) { dir.MakeFile("b.mp3"); }, song },
        { "an empty file made long after such a kill", song, { rename, placeholder },
            [](ScratchDir& dir, ScratchDir&) {
                const struct timespec hourAgo[2]
                    = { { ::time(nullptr) - 3600, 0 }, { ::time(nullptr) - 3600, 0 } };
                for (const journal_file& journal : journal_list())
                    ::utimensat(AT_FDCWD, journal.path.c_str(), hourAgo, 0);
                dir.MakeFile("b.mp3");
            },
            reserved },
        { "an empty file under a placeholder's name announced before other steps", reserved,
            { rename, placeholder, { js::link, "a.mp3", "c.mp3", "a.mp3" } }, nullptr, reserved },
        // Temporary names: on to the target, else back, never replacing.
        { "a journaled temporary name", { { temp, "song" } },
            { { js::rename, "a.mp3", "A.mp3", temp }, { js::temporary, "a.mp3", temp, temp } },
            nullptr, { { "A.mp3", "song" } } },
        { "a journaled temporary name whose target is taken",
            { { temp, "song" }, { "A.mp3", "theirs" } },
            { { js::rename, "a.mp3", "A.mp3", temp }, { js::temporary, "a.mp3", temp, temp } },
            nullptr, { { "A.mp3", "theirs" }, { "a.mp3", "song" } } },
        // Forged or stale records.
        { "a record naming a file outside its folder", { { "x", "" } },
            { { js::placeholder_made, "a.mp3", "../victim", "../victim" },
                { js::link, "x", "../victim", "../victim" } },
            nullptr, { { "x", "" } } },
        { "a record whose folder path now names another folder", {},
            { { js::placeholder_made, "a.mp3", "b.mp3", "/", "OTHER" } }, nullptr, {} },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.asRoot && ::geteuid() != 0) {
            std::printf("%s: cannot run here: needs root\n", row.what);
            continue;
        }
        ScratchDir dir, other;
        EnvGuard state("XDG_STATE_HOME", (dir.Path() + ".state").c_str());
        for (const auto& [name, bytes] : row.before)
            dir.MakeFile(name, bytes);
        dir.MakeFile("../victim");
        other.MakeFile("b.mp3");
        std::vector<Step> steps = row.steps;
        for (Step& step : steps)
            if (step.folder == "OTHER")
                step = { step.step, step.from, step.to, other.PathOf("b.mp3"), other.Path() };
        journal_steps(dir, steps);
        if (row.then)
            row.then(dir, other);
        int held = -1;
        if (row.lockHeld) {
            std::vector<journal_file> journals = journal_list();
            ASSERT_EQ(journals.size(), 1u);
            held = ::open(journals[0].path.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_EQ(::flock(held, LOCK_EX), 0);
        }
        // Twice: a journal recovered once is not redone.
        for (int start = 0; start < 2; ++start) {
            journal_recover();
            Names after;
            for (const std::string& name : dir.Names())
                after[name] = dir.Read(name);
            EXPECT_EQ(after, row.after) << "start " << start;
        }
        EXPECT_TRUE(dir.Exists("../victim"));
        EXPECT_TRUE(other.Exists("b.mp3"));
        ::unlink(dir.PathOf("../victim").c_str());
        if (held >= 0)
            ::close(held);
    }
}
