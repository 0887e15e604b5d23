// tests/storage_test.cpp: files (open modes, positions, sizes), paths, the settings directory
// the errno mapping, and what the start puts right after a killed rename.
#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "platform/storage/FindDirectory.h"
#include "platform/storage/Journal.h"
#include "platform/storage/Path.h"
#include "tests/support/Child.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
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
