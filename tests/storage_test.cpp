// tests/storage_test.cpp: files (open modes, positions, sizes), paths, the settings directory
// the errno mapping, and what the start puts right after a killed rename.
#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "platform/storage/FindDirectory.h"
#include "platform/storage/Journal.h"
#include "platform/storage/Path.h"
#include "platform/storage/TestSeams.h"
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

// Journals step in dir's folder as a run would, for the file now under `file` (or, empty, none).
void journal_step_for(const ScratchDir& dir, journal_step step, const std::string& from,
    const std::string& to, const std::string& file)
{
    struct stat folder, st = {};
    ASSERT_EQ(::stat(dir.Path().c_str(), &folder), 0);
    if (!file.empty()) {
        ASSERT_EQ(::lstat(file.c_str(), &st), 0) << file;
    }
    journal_folder_scope scope(folder.st_dev, folder.st_ino, dir.Path());
    journal_note(step, from.c_str(), to.c_str(), st);
}

} // namespace

TEST(JournalRecovery, ActsOnlyOnWhatAKilledRunJournaled)
{
    using Names = std::map<std::string, std::string>;
    const std::string temp = "A.mp3.orvalin-renaming";
    const struct {
        const char* what;
        // Makes the files and runs the killed run; dir is the folder, other a second one.
        std::function<void(ScratchDir& dir, ScratchDir& other)> setup;
        Names after;
        bool lockHeld = false; // the run's writer is still going
    } rows[] = {
        { "an empty file dated as the old placeholders, unjournaled",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("B.mp3");
                const struct timespec times[2] = { { 315576000, 0 }, { 315576000, 0 } };
                ::utimensat(AT_FDCWD, dir.PathOf("B.mp3").c_str(), times, 0);
            },
            { { "B.mp3", "" } } },
        { "the user's own file named like a temporary name",
            [](ScratchDir& dir, ScratchDir&) { dir.MakeFile("notes.txt.orvalin-renaming", "n"); },
            { { "notes.txt.orvalin-renaming", "n" } } },
        { "an empty file beside a temporary name, unjournaled",
            [&](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("A.mp3");
                dir.MakeFile(temp, "song");
            },
            { { "A.mp3", "" }, { temp, "song" } } },
        { "a hard link named like a temporary name, unjournaled",
            [&](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("A.mp3", "song");
                ::link(dir.PathOf("A.mp3").c_str(), dir.PathOf(temp).c_str());
            },
            { { "A.mp3", "song" }, { temp, "song" } } },
        { "killed between link and unlink: the old name goes",
            [](ScratchDir& dir, ScratchDir&) {
                entry_ref ref = dir.MakeFile("a.mp3", "song");
                in_killed_run([&] {
                    entry_force_link_rename(true);
                    entry_between_link_and_unlink([] { ::_exit(0); });
                    (void)BEntry(&ref).Rename("b.mp3");
                });
            },
            { { "b.mp3", "song" } } },
        { "killed between link and unlink, the old name since taken by another file",
            [](ScratchDir& dir, ScratchDir&) {
                entry_ref ref = dir.MakeFile("a.mp3", "song");
                in_killed_run([&] {
                    entry_force_link_rename(true);
                    entry_between_link_and_unlink([] { ::_exit(0); });
                    (void)BEntry(&ref).Rename("b.mp3");
                });
                ::unlink(dir.PathOf("a.mp3").c_str());
                dir.MakeFile("a.mp3", "song");
            },
            { { "a.mp3", "song" }, { "b.mp3", "song" } } },
        { "a journaled placeholder goes",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", "b.mp3", dir.PathOf("b.mp3"));
                });
            },
            { { "a.mp3", "song" } } },
        { "a placeholder whose rename ended stays (the name is the user's again)",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", "b.mp3", dir.PathOf("b.mp3"));
                    journal_step_for(
                        dir, journal_step::done, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                });
            },
            { { "a.mp3", "song" }, { "b.mp3", "" } } },
        { "a journaled placeholder's name since taken by another empty file",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", "b.mp3", dir.PathOf("b.mp3"));
                });
                ::unlink(dir.PathOf("b.mp3").c_str());
                dir.MakeFile("c.mp3");
                ::rename(dir.PathOf("c.mp3").c_str(), dir.PathOf("b.mp3").c_str());
            },
            { { "a.mp3", "song" }, { "b.mp3", "" } } },
        { "a journaled placeholder's name the song took before the kill",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", "b.mp3", dir.PathOf("b.mp3"));
                });
                ::rename(dir.PathOf("a.mp3").c_str(), dir.PathOf("b.mp3").c_str());
            },
            { { "b.mp3", "song" } } },
        { "killed while its placeholder was being made (the last record)",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                });
                dir.MakeFile("b.mp3");
            },
            { { "a.mp3", "song" } } },
        { "an empty file under a placeholder's name announced before other steps",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(dir, journal_step::link, "a.mp3", "c.mp3", dir.PathOf("a.mp3"));
                });
            },
            { { "a.mp3", "song" }, { "b.mp3", "" } } },
        { "a journaled temporary name goes on to its target",
            [&](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile(temp, "song");
                in_killed_run([&] {
                    journal_step_for(dir, journal_step::rename, "a.mp3", "A.mp3", dir.PathOf(temp));
                    journal_step_for(dir, journal_step::temporary, "a.mp3", temp, dir.PathOf(temp));
                });
            },
            { { "A.mp3", "song" } } },
        { "a journaled temporary name whose target is taken goes back",
            [&](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile(temp, "song");
                dir.MakeFile("A.mp3", "theirs");
                in_killed_run([&] {
                    journal_step_for(dir, journal_step::rename, "a.mp3", "A.mp3", dir.PathOf(temp));
                    journal_step_for(dir, journal_step::temporary, "a.mp3", temp, dir.PathOf(temp));
                });
            },
            { { "A.mp3", "theirs" }, { "a.mp3", "song" } } },
        { "a record naming a file outside its folder",
            [](ScratchDir& dir, ScratchDir& other) {
                other.MakeFile("victim");
                const std::string up
                    = "../" + other.Path().substr(other.Path().rfind('/') + 1) + "/victim";
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", up, other.PathOf("victim"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", up, other.PathOf("victim"));
                    journal_step_for(dir, journal_step::link, "x", up, other.PathOf("victim"));
                });
                dir.MakeFile("x", "");
            },
            { { "x", "" } } },
        { "a record whose folder path now names another folder",
            [](ScratchDir& dir, ScratchDir& other) {
                other.MakeFile("b.mp3");
                in_killed_run([&] {
                    // other's path, with dir's identity: as after other replaced the folder.
                    struct stat folder, st;
                    ::stat(dir.Path().c_str(), &folder);
                    ::stat(other.PathOf("b.mp3").c_str(), &st);
                    journal_folder_scope scope(folder.st_dev, folder.st_ino, other.Path());
                    journal_note(journal_step::rename, "a.mp3", "b.mp3", st);
                    journal_note(journal_step::placeholder_made, "a.mp3", "b.mp3", st);
                });
            },
            {} },
        { "a live run's placeholder",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", "b.mp3", dir.PathOf("b.mp3"));
                });
            },
            { { "a.mp3", "song" }, { "b.mp3", "" } }, true },
        { "another user's placeholder",
            [](ScratchDir& dir, ScratchDir&) {
                dir.MakeFile("a.mp3", "song");
                dir.MakeFile("b.mp3");
                ::chown(dir.PathOf("b.mp3").c_str(), 65534, 65534);
                in_killed_run([&] {
                    journal_step_for(
                        dir, journal_step::rename, "a.mp3", "b.mp3", dir.PathOf("a.mp3"));
                    journal_step_for(
                        dir, journal_step::placeholder_made, "a.mp3", "b.mp3", dir.PathOf("b.mp3"));
                });
            },
            { { "a.mp3", "song" }, { "b.mp3", "" } } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir, other;
        EnvGuard state("XDG_STATE_HOME", (dir.Path() + ".state").c_str());
        row.setup(dir, other);
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
        EXPECT_TRUE(other.Exists("victim") || other.Count() == 0 || other.Exists("b.mp3"));
        if (held >= 0)
            ::close(held);
    }
}
