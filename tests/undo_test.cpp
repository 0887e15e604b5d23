// tests/undo_test.cpp: "orvalin --undo" over real journals of real runs, each run (and each undo)
// a process of its own that ends before the next looks at its journal; every case over the
// ways a rename may take.
#include "app/Orvalin.h"

#include "platform/app/Application.h"
#include "platform/app/Catalog.h"

#include "platform/storage/Undo.h"
#include "platform/storage/rename/Journal.h"
#include "platform/storage/rename/TestSeams.h"
#include "tests/support/Child.h"
#include "tests/support/Recorder.h"
#include "tests/support/RenameWays.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

using Renames = std::vector<std::pair<std::string, std::string>>;

void append(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::string read(const std::string& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Journals the rename of the file ref names from `from` to `to`, without renaming it.
status_t journal_rename(const entry_ref& ref, const std::string& from, const std::string& to,
    const std::string& folder = "")
{
    struct stat st;
    if (::stat(ref.path().c_str(), &st) != 0)
        return B_ERROR;
    journal_record record;
    record.folder_device = ref.device;
    record.folder_node = ref.directory;
    record.folder_path = folder.empty() ? ref.directory_path : folder;
    record.from = from;
    record.to = to;
    record.file = journal_identity(st);
    return journal_append(record);
}

// A run in a process of its own, renaming in dir as the window does (only the file loaded,
// never over another); then it journals `killed` as a killed run would leave them: journaled,
// never done. Unless `ended`, the run is killed right after its last rename, before any sync.
void run_renaming(
    const ScratchDir& dir, const Renames& renames, const Renames& killed = {}, bool ended = true)
{
    auto status = run_in_child(ChildUser::Same, [&] {
        for (const auto& [from, to] : renames) {
            entry_ref ref = dir.Ref(from);
            BEntry entry(&ref);
            node_ref loaded;
            if (entry.GetNodeRef(&loaded) != B_OK
                || entry.Rename(to.c_str(), false, loaded) != B_OK)
                return B_ERROR;
        }
        for (const auto& [from, to] : killed)
            if (journal_rename(dir.Ref(from), from, to) != B_OK)
                return B_ERROR;
        if (ended)
            journal_sync();
        return B_OK;
    });
    ASSERT_EQ(status, B_OK);
}

// "orvalin --undo" in a process of its own; the text of its one alert (a waiting "Ok"), and
// what it traced in *traced where given.
std::string run_undo(const ScratchDir& state, std::string* traced = nullptr)
{
    const std::string said = state.PathOf("alert.txt"), lines = state.PathOf("trace.txt");
    auto status = run_in_child(ChildUser::Same, [&] {
        TraceCapture output;
        AlertRecorder alerts;
        char program[] = "orvalin", option[] = "--undo";
        char* argv[] = { program, option, nullptr };
        if (orvalin_main(2, argv) != 0 || alerts.alerts.size() != 1 || !alerts.alerts[0].waits
            || alerts.alerts[0].buttons != std::vector<std::string> { "Ok" })
            return B_ERROR;
        append(said, alerts.alerts[0].text);
        append(lines, output.Take());
        return B_OK;
    });
    EXPECT_EQ(status, B_OK);
    std::string text = read(said);
    if (traced != nullptr)
        *traced = read(lines);
    ::unlink(said.c_str());
    ::unlink(lines.c_str());
    return text;
}

class Undo : public testing::TestWithParam<RenameWay>
{
protected:
    void SetUp() override
    {
        entry_force_rename_way(GetParam());
        ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
    }
    void TearDown() override { entry_force_rename_way(RenameWay::NoReplace); }

    ScratchDir state;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Journal, Undo, kAllRenameWays, rename_way_name);

TEST_P(Undo, PutsBackWhatIsStillAsRenamedAndListsTheRest)
{
    const struct {
        const char* what;
        Renames renames;
        Renames killed; // journaled, never done
        std::function<void(ScratchDir&)> meanwhile;
        std::vector<std::string> names; // after the undo
        std::string says;
        bool ended = true; // false: killed right after its last rename
    } cases[] = {
        { "a chain, last first", { { "a", "b" }, { "c", "d" }, { "b", "e" } }, {}, nullptr,
            { "a", "c" }, "Put back the names of 2 files." },
        { "a change of case only", { { "song.mp3", "Song.mp3" } }, {}, nullptr, { "song.mp3" },
            "Put back the name of 1 file." },
        { "a file changed since", { { "a", "b" }, { "c", "d" } }, {},
            [](ScratchDir& dir) { append(dir.PathOf("d"), "edited since"); }, { "a", "d" },
            "Put back the name of 1 file. 1 file was left as it is:\nd" },
        { "another file under the new name", { { "a", "b" } }, {},
            [](ScratchDir& dir) {
                ::unlink(dir.PathOf("b").c_str());
                dir.MakeFile("b", "a");
            },
            { "b" }, "No names were put back. 1 file was left as it is:\nb" },
        { "the old name taken", { { "a", "b" }, { "c", "d" } }, {},
            [](ScratchDir& dir) { dir.MakeFile("a", "another"); }, { "a", "b", "c" },
            "Put back the name of 1 file. 1 file was left as it is:\nb" },
        { "a killed run", { { "a", "b" } }, { { "c", "d" } }, nullptr, { "a", "c" },
            "Put back the names of 2 files." },
        { "a run killed right after its last rename", { { "a", "b" }, { "c", "d" } }, {}, nullptr,
            { "a", "c" }, "Put back the names of 2 files.", false },
        { "a file gone", { { "a", "b" }, { "c", "d" } }, {},
            [](ScratchDir& dir) { ::unlink(dir.PathOf("b").c_str()); }, { "c" },
            "Put back the name of 1 file. 1 file was left as it is:\nb" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        std::set<std::string> made; // by the run itself
        for (const auto& [from, to] : c.renames) {
            if (made.insert(to).second && made.count(from) == 0)
                dir.MakeFile(from, from);
        }
        for (const auto& [from, to] : c.killed)
            dir.MakeFile(from, from);
        run_renaming(dir, c.renames, c.killed, c.ended);
        if (c.meanwhile)
            c.meanwhile(dir);
        EXPECT_EQ(run_undo(state), c.says);
        EXPECT_EQ(dir.Names(), c.names);
        for (const std::string& name : c.names) {
            if (name != "d" && name != "b") {
                EXPECT_EQ(dir.Read(name).substr(0, 1), name.substr(0, 1)) << name;
            }
        }
    }
}

TEST_P(Undo, AnUndoIsUndoneInTurnAndAKilledOneTakenUp)
{
    ScratchDir dir;
    for (const char* name : { "a", "b", "c" })
        dir.MakeFile(name, name);
    EXPECT_EQ(run_undo(state), "There is nothing to put back.");
    run_renaming(dir, { { "a", "x" }, { "b", "y" }, { "c", "z" } });

    // Undone, then the undo undone: the names of the run again.
    EXPECT_EQ(run_undo(state), "Put back the names of 3 files.");
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "a", "b", "c" }));
    EXPECT_EQ(run_undo(state), "Put back the names of 3 files.");
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "x", "y", "z" }));

    // An undo killed after its first rename: run again, it goes on with the same run instead
    // of undoing what it had done.
    std::vector<journal_file> journals = journal_list();
    ASSERT_FALSE(journals.empty());
    const std::string last = journals[0].path.substr(journals[0].path.rfind('/') + 1);
    auto status = run_in_child(ChildUser::Same, [&] {
        journal_record mark;
        mark.step = journal_step::undo;
        mark.from = last;
        entry_ref ref = dir.Ref("z");
        BEntry entry(&ref);
        node_ref loaded;
        if (journal_append(mark) != B_OK || entry.GetNodeRef(&loaded) != B_OK
            || entry.Rename("c", false, loaded) != B_OK)
            return B_ERROR;
        journal_sync();
        return B_OK;
    });
    ASSERT_EQ(status, B_OK);
    EXPECT_EQ(run_undo(state), "Put back the names of 3 files.");
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "a", "b", "c" }));
}

TEST_P(Undo, NeverActsOutsideTheRecordedFolder)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.PathOf("music").c_str(), 0755), 0);
    dir.MakeFile("music/a", "a");
    dir.MakeFile("music/c", "c");
    // A run that renamed one file there, and whose journal then holds forged or damaged
    // records: a name with "/" and a folder given relative, both naming files that are there.
    auto status = run_in_child(ChildUser::Same, [&] {
        entry_ref ref = dir.Ref("music/a");
        if (BEntry(&ref).Rename("b") != B_OK)
            return B_ERROR;
        journal_rename(dir.Ref("music/c"), "../c", "c");
        journal_rename(dir.Ref("music/c"), "d", "c", "music");
        journal_sync();
        return B_OK;
    });
    ASSERT_EQ(status, B_OK);

    // The first run's folder moved away and another took its path.
    ASSERT_EQ(::rename(dir.PathOf("music").c_str(), dir.PathOf("moved").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("music").c_str(), 0755), 0);
    dir.MakeFile("music/b", "other");
    EXPECT_EQ(run_undo(state),
        "No names were put back. 1 file was left as it is:\nb\n\nPart of the record of that "
        "renaming is damaged, so some files may keep their new names.");
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "moved", "music" }));
    EXPECT_EQ(dir.Read("music/b"), "other");
    EXPECT_TRUE(dir.Exists("moved/b"));
    EXPECT_TRUE(dir.Exists("moved/c"));
}

TEST(UndoMessage, CountsWithCommasAndListsAtMostTenOnALineEach)
{
    undo_report report;
    report.found = true;
    report.put_back = 4996;
    report.left = 12;
    for (int i = 0; i < kUndoListed; i++)
        report.left_names.push_back("song " + std::to_string(i) + (i == 0 ? "\n.mp3" : ".mp3"));
    EXPECT_EQ(undo_message(report),
        "Put back the names of 4,996 files. 12 files were left as they are:\nsong 0?.mp3\nsong "
        "1.mp3\nsong 2.mp3\nsong 3.mp3\nsong 4.mp3\nsong 5.mp3\nsong 6.mp3\nsong 7.mp3\nsong "
        "8.mp3\nsong 9.mp3\nand 2 more.");
}

// In German and French the alert and its counts are the language's; the trace stays English.
TEST(UndoInLanguage, TheAlertIsTranslatedAndTheTraceStaysEnglish)
{
    undo_report many;
    many.found = true;
    many.put_back = 4996;
    many.left = 11;
    many.left_names.assign(kUndoListed, "x.mp3");
    const std::string listed = [] {
        std::string names;
        for (int i = 0; i < kUndoListed; i++)
            names += "\nx.mp3";
        return names;
    }();
    const struct {
        const char* language;
        std::string says, counts;
    } cases[] = {
        { "de", "Die Namen von 2 Dateien wurden wiederhergestellt.",
            "Die Namen von 4.996 Dateien wurden wiederhergestellt. 11 Dateien blieben, wie sie "
            "sind:"
                + listed + "\nund 1 weitere." },
        { "fr", "Noms rétablis pour 2 fichiers.",
            "Noms rétablis pour 4\u202f996 fichiers. 11 fichiers ont été laissés "
            "tels quels\u00a0:"
                + listed + "\net 1 de plus." },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        ScratchDir state, dir;
        ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
        ::setenv("LANGUAGE", c.language, 1);
        dir.MakeFile("a", "a");
        dir.MakeFile("b", "b");
        run_renaming(dir, { { "a", "x" }, { "b", "y" } });
        std::string traced;
        EXPECT_EQ(run_undo(state, &traced), c.says);
        EXPECT_NE(traced.find("\nPut back the names of 2 files.\n"), std::string::npos) << traced;

        const std::string counted = state.PathOf("counts.txt");
        auto status = run_in_child(ChildUser::Same, [&] {
            ensure_gui();
            append(counted, undo_message(many, translated));
            return B_OK;
        });
        EXPECT_EQ(status, B_OK);
        EXPECT_EQ(read(counted), c.counts);
    }
    ::unsetenv("LANGUAGE");
}

TEST(UndoOpenWindow, ItsRenamesAreLeftAloneUntilItCloses)
{
    ScratchDir state, dir;
    ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
    dir.MakeFile("a", "a");
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    // A window that has renamed and is still open: its process lives, holding its journal.
    std::thread window([&] {
        auto status = run_in_child(ChildUser::Same, [&] {
            entry_ref ref = dir.Ref("a");
            char byte;
            if (BEntry(&ref).Rename("x") != B_OK)
                return B_ERROR;
            journal_sync();
            return ::read(release[0], &byte, 1) == 1 ? B_OK : B_ERROR;
        });
        EXPECT_EQ(status, B_OK);
    });
    for (int i = 0; i < 500 && !dir.Exists("x"); i++)
        ::usleep(10000);
    EXPECT_EQ(run_undo(state),
        "There is nothing to put back.\n\nFiles renamed in a window that is still open were left "
        "as they are: close it first to put those back.");
    EXPECT_TRUE(dir.Exists("x"));
    EXPECT_EQ(::write(release[1], "", 1), 1);
    window.join();
    ::close(release[0]);
    ::close(release[1]);
    EXPECT_EQ(run_undo(state), "Put back the name of 1 file.");
    EXPECT_EQ(dir.Names(), std::vector<std::string> { "a" });
}

TEST(UndoDamagedJournal, IsUndoneAsFarAsItReadsWhole)
{
    ScratchDir state, dir;
    ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
    dir.MakeFile("a", "a");
    dir.MakeFile("b", "b");
    run_renaming(dir, { { "a", "x" }, { "b", "y" } });
    std::vector<journal_file> journals = journal_list();
    ASSERT_EQ(journals.size(), 1u);
    // Cut within the second rename's records; newer journals beside it: one that is 100 MB of
    // nothing, and a link to the first.
    struct stat st;
    ASSERT_EQ(::stat(journals[0].path.c_str(), &st), 0);
    ASSERT_EQ(::truncate(journals[0].path.c_str(), st.st_size / 2 + 8), 0);
    const std::string folder = state.PathOf("orvalin/");
    append(folder + "journal-99999999999999999998-1", "ORVJRNL1");
    ASSERT_EQ(::truncate((folder + "journal-99999999999999999998-1").c_str(), 100 << 20), 0);
    ASSERT_EQ(
        ::symlink(journals[0].path.c_str(), (folder + "journal-99999999999999999999-1").c_str()),
        0);
    EXPECT_EQ(run_undo(state),
        "Put back the name of 1 file.\n\nPart of the record of that renaming is damaged, so some "
        "files may keep their new names.");
    EXPECT_EQ(dir.Names(), std::vector<std::string>({ "a", "y" }));
}
