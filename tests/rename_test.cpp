// tests/rename_test.cpp: entries and their rename: within the folder only, never over another
// entry (also against a racing creator), byte-exact names, and the statuses of failures.
#include "platform/storage/Entry.h"

#include "platform/storage/Path.h"
#include "platform/storage/rename/TestSeams.h"
#include "tests/support/Child.h"
#include "tests/support/RenameWays.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

// Runs each test four times: with renameat2's no-replace flag, as on a file system that
// refuses the flag (hard link, then unlink), as on one that refuses hard links too (a checked
// plain rename), and as on one whose plain rename refuses to replace (fusefat 0.3).
class Rename : public testing::TestWithParam<RenameWay>
{
protected:
    void SetUp() override { entry_force_rename_way(GetParam()); }
    void TearDown() override
    {
        entry_force_rename_way(RenameWay::NoReplace);
        entry_between_link_and_unlink(nullptr);
    }
};

std::string name_of(const BEntry& entry)
{
    entry_ref ref;
    EXPECT_EQ(entry.GetRef(&ref), B_OK);
    return ref.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Entry, Rename, kAllRenameWays, rename_way_name);

TEST_P(Rename, MovesTheFileAndTheEntryFollows)
{
    ScratchDir dir;
    entry_ref ref = dir.MakeFile("old.mp3", "bytes");
    dir.SetAttr("old.mp3", "Title", "kept");
    BEntry entry(&ref);
    ASSERT_EQ(entry.Rename("new.mp3"), B_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "new.mp3" }));
    EXPECT_EQ(dir.Read("new.mp3"), "bytes");

    entry_ref moved;
    ASSERT_EQ(entry.GetRef(&moved), B_OK);
    EXPECT_EQ(moved, dir.Ref("new.mp3"));
    BPath path;
    ASSERT_EQ(path.SetTo(&entry), B_OK);
    EXPECT_STREQ(path.Path(), dir.PathOf("new.mp3").c_str());
    EXPECT_STREQ(path.Leaf(), "new.mp3");

    // A second rename starts from the new name; renaming to the same name changes nothing.
    ASSERT_EQ(entry.Rename("third.mp3"), B_OK);
    EXPECT_EQ(entry.Rename("third.mp3"), B_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "third.mp3" }));
}

TEST_P(Rename, NeverMovesAFileOutOfItsFolderOrOverAnother)
{
    ScratchDir dir;
    entry_ref ref = dir.MakeFile("a.mp3", "first");
    dir.MakeFile("b.mp3", "second");
    ASSERT_EQ(::link(dir.PathOf("a.mp3").c_str(), dir.PathOf("hard.mp3").c_str()), 0);
    ASSERT_EQ(::link(dir.PathOf("a.mp3").c_str(), dir.PathOf("A.mp3").c_str()), 0);
    const struct {
        const char* name;
        bool clobber;
        status_t status;
    } cases[] = {
        { "", false, B_BAD_VALUE },
        { ".", false, B_BAD_VALUE },
        { "..", false, B_BAD_VALUE },
        { "x/b.mp3", false, B_BAD_VALUE },
        { "../out.mp3", false, B_BAD_VALUE },
        { "/tmp/out.mp3", false, B_BAD_VALUE },
        { "b.mp3", false, B_FILE_EXISTS },
        { "hard.mp3", false, B_FILE_EXISTS }, // the same file under another name
        { "A.mp3", false, B_FILE_EXISTS }, // ... and in another case: not a case change
        { "c.mp3", true, B_NOT_ALLOWED }, // a replacing rename is never done
        { "b.mp3", true, B_NOT_ALLOWED },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BEntry entry(&ref);
        EXPECT_EQ(entry.Rename(c.name, c.clobber), c.status);
        EXPECT_EQ(name_of(entry), "a.mp3");
        EXPECT_EQ(dir.Names(), std::vector<std::string>({ "A.mp3", "a.mp3", "b.mp3", "hard.mp3" }));
        EXPECT_EQ(dir.Read("a.mp3"), "first");
        EXPECT_EQ(dir.Read("b.mp3"), "second");
    }
    EXPECT_EQ(BEntry(&ref).Rename(nullptr), B_BAD_VALUE);
    EXPECT_EQ(BEntry().Rename("c.mp3"), B_NO_INIT);

    // Once a rename has shown the folder which way works, a taken name is still refused.
    BEntry moved(&ref);
    ASSERT_EQ(moved.Rename("c.mp3"), B_OK);
    EXPECT_EQ(moved.Rename("b.mp3"), B_FILE_EXISTS);
    EXPECT_EQ(dir.Read("b.mp3"), "second");
    EXPECT_EQ(dir.Read("c.mp3"), "first");
}

namespace
{

using Clock = std::chrono::steady_clock;

// Exclusively creates path holding "creator"; true when this call made it.
bool create_exclusively(const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    EXPECT_EQ(::write(fd, "creator", 7), 7);
    ::close(fd);
    return true;
}

// Spins briefly (the other thread is usually running), then yields its processor.
template <typename Condition> void wait_until(Condition condition)
{
    for (int spins = 0; !condition(); ++spins)
        if (spins > 20000)
            std::this_thread::yield();
}

void spin_for(Clock::duration pause)
{
    for (auto until = Clock::now() + pause; Clock::now() < until;) { }
}

} // namespace

TEST_P(Rename, ARacingCreatorIsNeverReplaced)
{
    ScratchDir dir;
    const std::string target = dir.PathOf("target.mp3");

    // How long a rename and a creation take here, so that the pauses below let the two
    // overlap in every order.
    entry_ref ref = dir.MakeFile("source.mp3", "mover");
    BEntry warmUp(&ref);
    const int kWarmUp = 50;
    auto started = Clock::now();
    for (int i = 0; i < kWarmUp; ++i) {
        ASSERT_EQ(warmUp.Rename(i % 2 ? "source.mp3" : "other.mp3"), B_OK);
        ASSERT_TRUE(create_exclusively(target));
        ASSERT_EQ(::unlink(target.c_str()), 0);
    }
    const auto span = 2 * (Clock::now() - started) / kWarmUp;
    ASSERT_EQ(::unlink(dir.PathOf("source.mp3").c_str()), 0);

    // Each round: the main thread prepares the source; then both sides wait a varying pause
    // within span and the creator makes the target while the rename runs.
    const int kRounds = 3000;
    auto pause = [span](unsigned& random) {
        random = random * 1103515245u + 12345u;
        return span * static_cast<int>((random >> 16) % 1000) / 1000;
    };
    std::atomic<int> ready { -1 }, go { -1 }, created { -1 };
    std::atomic<bool> creatorWon { false };
    std::thread creator([&] {
        unsigned random = 7;
        for (int round = 0; round < kRounds; ++round) {
            wait_until([&] { return ready.load() >= round; });
            go.store(round);
            spin_for(pause(random));
            creatorWon.store(create_exclusively(target));
            created.store(round);
        }
    });

    unsigned random = 1;
    for (int round = 0; round < kRounds; ++round) {
        entry_ref source = dir.MakeFile("source.mp3", "mover");
        BEntry entry(&source);
        ready.store(round);
        wait_until([&] { return go.load() >= round; });
        spin_for(pause(random));
        status_t status = entry.Rename("target.mp3");
        wait_until([&] { return created.load() >= round; });
        // Whoever came first owns the name; the creator's file is never replaced.
        if (!creatorWon.load()) {
            EXPECT_EQ(status, B_OK) << "round " << round;
            EXPECT_FALSE(dir.Exists("source.mp3"));
            EXPECT_EQ(dir.Read("target.mp3"), "mover") << "round " << round;
        } else {
            EXPECT_EQ(status, B_FILE_EXISTS) << "round " << round;
            EXPECT_EQ(dir.Read("target.mp3"), "creator") << "round " << round;
            EXPECT_EQ(dir.Read("source.mp3"), "mover") << "round " << round;
        }
        if (HasFailure())
            break;
        ::unlink(target.c_str());
        ::unlink(dir.PathOf("source.mp3").c_str());
    }
    ready.store(kRounds);
    creator.join();
}

TEST_P(Rename, FailuresLeaveTheFileWhereItWas)
{
    ScratchDir dir;
    // A name longer than the file system allows.
    entry_ref ref = dir.MakeFile("song.mp3", "bytes");
    BEntry entry(&ref);
    EXPECT_EQ(entry.Rename(std::string(300, 'n').c_str()), status_for_errno(ENAMETOOLONG));
    EXPECT_EQ(name_of(entry), "song.mp3");
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "song.mp3" }));

    // The file went away before the rename.
    ASSERT_EQ(::unlink(dir.PathOf("song.mp3").c_str()), 0);
    EXPECT_EQ(entry.Rename("other.mp3"), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(dir.Count(), 0u);

    // The folder the reference was made in was replaced by another of the same name.
    ASSERT_EQ(::mkdir(dir.PathOf("folder").c_str(), 0755), 0);
    dir.MakeFile("folder/song.mp3", "old");
    entry_ref inFolder = dir.Ref("folder/song.mp3");
    ASSERT_EQ(::rename(dir.PathOf("folder").c_str(), dir.PathOf("moved").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("folder").c_str(), 0755), 0);
    dir.MakeFile("folder/song.mp3", "new");
    EXPECT_EQ(BEntry(&inFolder).Rename("renamed.mp3"), B_ENTRY_NOT_FOUND);
    // Set after an entry of the folder now at that path, it still looks at its own folder.
    entry_ref nowThere = dir.Ref("folder/song.mp3");
    BEntry there(&nowThere), after;
    ASSERT_EQ(after.SetTo(&inFolder, there), B_OK);
    EXPECT_EQ(after.Rename("renamed.mp3"), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(dir.Read("folder/song.mp3"), "new");
    EXPECT_EQ(dir.Read("moved/song.mp3"), "old");
}

TEST_P(Rename, IsRefusedWhereTheUserCannotWriteOrListTheFolder)
{
    const struct {
        mode_t mode;
        const char* other; // another song in the folder, or nullptr
        const char* to;
        status_t status;
    } cases[] = {
        { 0555, nullptr, "other.mp3", B_PERMISSION_DENIED },
        // Writable but not listable: nothing may be concluded about "Song.mp3" being ours.
        { 0333, "Song.mp3", "Song.mp3", B_FILE_EXISTS },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        ScratchDir dir(ScratchFor::OtherUsers);
        ASSERT_EQ(::mkdir(dir.PathOf("folder").c_str(), 0755), 0);
        dir.MakeFile("folder/song.mp3", "bytes");
        if (c.other != nullptr)
            dir.MakeFile(std::string("folder/") + c.other, "other");
        entry_ref ref = dir.Ref("folder/song.mp3");
        ASSERT_EQ(::chmod(dir.PathOf("folder").c_str(), c.mode), 0);
        std::optional<status_t> status
            = run_in_child(ChildUser::Nobody, [&] { return BEntry(&ref).Rename(c.to); });
        ASSERT_EQ(::chmod(dir.PathOf("folder").c_str(), 0755), 0);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(dir.Read("folder/song.mp3"), "bytes");
        if (c.other != nullptr) {
            EXPECT_EQ(dir.Read(std::string("folder/") + c.other), "other");
        }
        EXPECT_FALSE(dir.Exists("folder/other.mp3"));
    }
}

TEST_P(Rename, NamesRoundTripByteForByte)
{
    ScratchDir dir;
    const std::string before = "\xFF\xFE latin1 caf\xE9.mp3";
    const std::string after = "\xE9t\xE9 \x80\x81 \xC3\xA9.mp3";
    entry_ref ref = dir.MakeFile(before, "bytes");
    EXPECT_EQ(ref.name, before);
    BEntry entry(&ref);
    ASSERT_EQ(entry.Rename(after.c_str()), B_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ after }));
    EXPECT_EQ(name_of(entry), after);
    BPath path;
    ASSERT_EQ(entry.GetPath(&path), B_OK);
    EXPECT_EQ(std::string(path.Leaf()), after);
    char name[B_FILE_NAME_LENGTH];
    ASSERT_EQ(entry.GetName(name), B_OK);
    EXPECT_EQ(std::string(name), after);
}

TEST(Rename, WithoutNoReplaceAFolderMovesOnlyToAFreeName)
{
    // Hard links to folders are impossible, so the fallback renames after checking the name.
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.PathOf("folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("taken").c_str(), 0755), 0);
    entry_ref ref = dir.Ref("folder");
    entry_force_link_rename(true);
    BEntry entry(&ref);
    status_t taken = entry.Rename("taken");
    status_t free = entry.Rename("other");
    entry_force_link_rename(false);
    EXPECT_EQ(taken, B_FILE_EXISTS);
    EXPECT_EQ(free, B_OK);
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "other", "taken" }));
    // With the flag, folders rename like files.
    EXPECT_EQ(entry.Rename("again"), B_OK);
}

TEST(Rename, LinkAndUnlinkLeaveTheOldNameToAFileThatTookIt)
{
    // Between the link and the unlink, another file is renamed over the old name.
    const struct {
        bool secondLink; // our file has another name besides
        status_t status;
        std::vector<std::string> names;
    } cases[] = {
        // Its new name is the file's only one: it stays, and the file has been renamed.
        { false, B_OK, { "new.mp3", "song.mp3" } },
        // It also has another name: the new one goes again and nothing has moved.
        { true, B_ENTRY_NOT_FOUND, { "hard.mp3", "song.mp3" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.secondLink);
        ScratchDir dir;
        entry_ref ref = dir.MakeFile("song.mp3", "ours");
        if (c.secondLink) {
            ASSERT_EQ(::link(dir.PathOf("song.mp3").c_str(), dir.PathOf("hard.mp3").c_str()), 0);
        }
        dir.MakeFile("other", "theirs");
        entry_force_link_rename(true);
        entry_between_link_and_unlink([&] {
            ASSERT_EQ(::rename(dir.PathOf("other").c_str(), dir.PathOf("song.mp3").c_str()), 0);
        });
        status_t status = BEntry(&ref).Rename("new.mp3");
        entry_between_link_and_unlink(nullptr);
        entry_force_link_rename(false);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(dir.Names(), c.names);
        EXPECT_EQ(dir.Read("song.mp3"), "theirs");
        EXPECT_EQ(dir.Read(c.names[0]), "ours");
    }
}

TEST(Rename, ARefusalNeverTeachesAFolderToReplace)
{
    // A way refused once, as a FUSE file system may refuse it; then a song renamed onto a name
    // another song has: that song keeps it, whatever the folder learnt.
    const struct {
        const char* what;
        RenameWay way;
        SeamCall call;
        int error;
        status_t first; // the refused rename's result
    } rows[] = {
        { "plain rename refused with EACCES", RenameWay::Plain, SeamCall::PlainRename, EACCES,
            B_PERMISSION_DENIED },
        { "plain rename refused with EEXIST", RenameWay::Plain, SeamCall::PlainRename, EEXIST,
            B_OK },
        { "plain rename refused with EIO", RenameWay::Plain, SeamCall::PlainRename, EIO,
            B_FILE_ERROR },
        // A writable folder: the server refuses links (SFTP on FAT); the rename goes on.
        { "link refused with EACCES", RenameWay::LinkUnlink, SeamCall::Link, EACCES, B_OK },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        entry_ref first = dir.MakeFile("a.mp3", "first");
        entry_ref second = dir.MakeFile("c.mp3", "second");
        dir.MakeFile("x.mp3", "theirs");
        entry_force_rename_way(row.way);
        entry_fail_calls(row.call, { row.error });
        status_t refused = BEntry(&first).Rename("b.mp3");
        entry_fail_calls(row.call, {});
        status_t onto = BEntry(&second).Rename("x.mp3");
        entry_force_rename_way(RenameWay::NoReplace);
        EXPECT_EQ(refused, row.first);
        EXPECT_EQ(dir.Read(row.first == B_OK ? "b.mp3" : "a.mp3"), "first");
        EXPECT_EQ(onto, B_FILE_EXISTS);
        EXPECT_EQ(dir.Read("x.mp3"), "theirs");
        EXPECT_EQ(dir.Read("c.mp3"), "second");
        EXPECT_EQ(dir.Count(), 3u);
    }
}

TEST(EntryRef, PathsResolveTheirFolderButNotTheirLeaf)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.PathOf("real").c_str(), 0755), 0);
    dir.MakeFile("real/song.mp3", "bytes");
    ASSERT_EQ(::symlink("real", dir.PathOf("alias").c_str()), 0);
    ASSERT_EQ(::symlink("song.mp3", dir.PathOf("real/link.mp3").c_str()), 0);

    entry_ref ref;
    ASSERT_EQ(get_ref_for_path(dir.PathOf("alias/./link.mp3").c_str(), &ref), B_OK);
    EXPECT_EQ(ref.directory_path, dir.PathOf("real"));
    EXPECT_EQ(ref.name, "link.mp3");
    struct stat st;
    ASSERT_EQ(::stat(dir.PathOf("real").c_str(), &st), 0);
    EXPECT_EQ(ref.device, st.st_dev);
    EXPECT_EQ(ref.directory, st.st_ino);
    EXPECT_EQ(ref.path(), dir.PathOf("real/link.mp3"));

    // Traversing an entry resolves the link; not traversing keeps it.
    entry_ref resolved;
    EXPECT_EQ(BEntry(&ref, true).GetRef(&resolved), B_OK);
    EXPECT_EQ(resolved.name, "song.mp3");
    EXPECT_EQ(BEntry(&ref, false).GetRef(&resolved), B_OK);
    EXPECT_EQ(resolved.name, "link.mp3");

    // Relative paths start at the working directory; trailing slashes name the folder.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(::chdir(dir.PathOf("real").c_str()), 0);
    status_t relative = get_ref_for_path("song.mp3", &ref);
    ASSERT_EQ(::chdir(cwd), 0);
    ASSERT_EQ(relative, B_OK);
    EXPECT_EQ(ref.path(), dir.PathOf("real/song.mp3"));
    ASSERT_EQ(get_ref_for_path((dir.PathOf("real") + "//").c_str(), &ref), B_OK);
    EXPECT_EQ(ref.path(), dir.PathOf("real"));

    EXPECT_EQ(get_ref_for_path(dir.PathOf("none/song.mp3").c_str(), &ref), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(get_ref_for_path("", &ref), B_BAD_VALUE);
    EXPECT_EQ(get_ref_for_path(nullptr, &ref), B_BAD_VALUE);
    EXPECT_EQ(BEntry(dir.PathOf("none/song.mp3").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);
}

// References hold their folder open only while they live, and never too many folders; a path
// in a folder that was replaced since the last reference names the new folder.
TEST(EntryRef, FoldersAreHeldWhileReferencesLive)
{
    auto open_descriptors = [] {
        int count = 0;
        if (DIR* fds = ::opendir("/proc/self/fd")) {
            while (::readdir(fds) != nullptr)
                count++;
            ::closedir(fds);
        }
        return count;
    };
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.PathOf("folder").c_str(), 0755), 0);
    dir.MakeFile("folder/a.mp3", "a");
    dir.MakeFile("folder/b.mp3", "b");
    // The process's journal stays open from its first rename on; it holds no folder.
    entry_ref first = dir.MakeFile("first.mp3");
    EXPECT_EQ(BEntry(&first).Rename("second.mp3"), B_OK);
    first = entry_ref();
    int before = open_descriptors();
    {
        entry_ref a = dir.Ref("folder/a.mp3"), b = dir.Ref("folder/b.mp3");
        EXPECT_EQ(open_descriptors(), before + 1);
        EXPECT_EQ(BEntry(&b).Rename("c.mp3"), B_OK);
        EXPECT_EQ(dir.Read("folder/c.mp3"), "b");

        ASSERT_EQ(::rename(dir.PathOf("folder").c_str(), dir.PathOf("moved").c_str()), 0);
        ASSERT_EQ(::mkdir(dir.PathOf("folder").c_str(), 0755), 0);
        dir.MakeFile("folder/a.mp3", "new");
        entry_ref now = dir.Ref("folder/a.mp3");
        struct stat st;
        ASSERT_EQ(::stat(dir.PathOf("folder").c_str(), &st), 0);
        EXPECT_EQ(now.directory, st.st_ino);
        EXPECT_EQ(BEntry(&a).Rename("d.mp3"), B_ENTRY_NOT_FOUND);
        EXPECT_EQ(BEntry(&now).Rename("d.mp3"), B_OK);
        EXPECT_EQ(dir.Read("moved/a.mp3"), "a");
    }
    EXPECT_EQ(open_descriptors(), before);

    std::vector<entry_ref> refs;
    for (int i = 0; i < 200; i++) {
        std::string name = "f";
        name.append(std::to_string(i));
        ASSERT_EQ(::mkdir(dir.PathOf(name).c_str(), 0755), 0);
        name.append("/s.mp3");
        refs.push_back(dir.MakeFile(name, "s"));
    }
    EXPECT_LE(open_descriptors(), before + 64);
    for (const entry_ref& ref : refs)
        EXPECT_EQ(BEntry(&ref).Rename("t.mp3"), B_OK);
    EXPECT_TRUE(dir.Exists("f199/t.mp3"));
}
