// tests/commands_test.cpp: stepping, "ALL" mode and the renaming commands on real files.
#include "tests/support/Immutable.h"
#include "tests/support/WindowHarness.h"

#include "platform/app/Application.h"
#include "platform/app/QtAccess.h"
#include "platform/layout/QtAccess.h"
#include "platform/storage/rename/TestSeams.h"
#include "scripts/mp3gen.h"

#include <QCursor>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Commands = WindowHarness;

namespace
{
const char* kExists = "A file by that name already exists.\n";
const char* kGrumble = "Dear Master,\nFor some obscure reason,\nyour wish can not be granted.\n";

} // namespace

TEST_F(Commands, SteppingWrapsAroundWithABeep)
{
    Song("a.mp3");
    Song("b.mp3");
    Song("c.mp3");
    Open({ "a.mp3", "b.mp3", "c.mp3" });
    output.Take();
    Send(CMD_NEXT);
    Send(CMD_NEXT);
    EXPECT_EQ(alerts.beeps, 0);
    EXPECT_EQ(Pos(), "3/3");
    Send(CMD_NEXT);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_EQ(Pos(), "1/3");
    EXPECT_EQ(Name(), "a.mp3");
    Send(CMD_PREV);
    EXPECT_EQ(alerts.beeps, 2);
    EXPECT_EQ(Pos(), "3/3");
    EXPECT_EQ(Name(), "c.mp3");
    Send(CMD_PREV);
    EXPECT_EQ(Pos(), "2/3");
    std::string trace = output.Take();
    EXPECT_NE(trace.find("position++ 1\n"), std::string::npos);
    EXPECT_NE(trace.find("position++ 2\n"), std::string::npos);
    EXPECT_NE(trace.find("position-- 1\n"), std::string::npos);
}

TEST_F(Commands, SingleFileStepsBeepAndStay)
{
    Song("only.mp3");
    Open({ "only.mp3" });
    Send(CMD_NEXT);
    Send(CMD_PREV);
    EXPECT_EQ(alerts.beeps, 2);
    EXPECT_EQ(Pos(), "1/1");
}

TEST_F(Commands, EveryModifierNotificationFlipsAllMode)
{
    Song("a.mp3");
    Song("b.mp3");
    Open({ "a.mp3", "b.mp3" });
    Send(CMD_NEXT);
    Send(B_MODIFIERS_CHANGED); // press
    EXPECT_TRUE(win->all_files);
    EXPECT_EQ(Pos(), "ALL");
    Send(B_MODIFIERS_CHANGED); // release
    EXPECT_FALSE(win->all_files);
    EXPECT_EQ(Pos(), "2/2");

    // Two keys pressed, then one released: on, off, on.
    Send(B_MODIFIERS_CHANGED);
    Send(B_MODIFIERS_CHANGED);
    EXPECT_FALSE(win->all_files);
    Send(B_MODIFIERS_CHANGED);
    EXPECT_TRUE(win->all_files);
    EXPECT_EQ(Pos(), "ALL");
}

TEST_F(Commands, UnknownMessageIsTracedAndDumpedOnly)
{
    Song("a.mp3");
    Open({ "a.mp3" });
    output.Take();
    BMessage odd('zzzz');
    odd.AddString("note", "hello");
    win->MessageReceived(&odd);
    std::string trace = output.Take();
    EXPECT_EQ(trace.rfind("window::MessageReceived()\nSwitch(default).\n", 0), 0u);
    EXPECT_NE(trace.find("hello"), std::string::npos);
    EXPECT_EQ(Pos(), "1/1");
    EXPECT_EQ(alerts.beeps, 0);
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(dir.Names(), std::vector<std::string> { "a.mp3" });
}

TEST_F(Commands, RenameUsesTheFieldsCurrentTemplate)
{
    Song("a.mp3", { { "Artist", "Art" }, { "Title", "Tit" }, { "Album", "Alb" } });
    Open({ "a.mp3" });
    SetTemplate("/ta by /aa.mp3");
    EXPECT_EQ(Preview(), "Art - Tit - Alb.mp3"); // not yet
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(), std::vector<std::string> { "Tit by Art.mp3" });
    EXPECT_EQ(Name(), "Tit by Art.mp3");
    EXPECT_TRUE(alerts.alerts.empty());

    // Renaming to the current name does nothing and shows nothing.
    output.Take();
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(), std::vector<std::string> { "Tit by Art.mp3" });
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(output.Take().find("Rename: "), std::string::npos);
}

// A string ends at its first NUL: the variable, the preview and the new name all stop there.
TEST_F(Commands, AttributeWithANulRenamesToWhatThePreviewShows)
{
    Song("a.mp3", { { "Artist", std::string("AC\0DC", 5) }, { "Title", "T" }, { "Album", "A" } });
    Open({ "a.mp3" });
    EXPECT_EQ(win->artist_attr, "AC");
    EXPECT_EQ(Preview(), "AC - T - A.mp3");
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(), std::vector<std::string> { "AC - T - A.mp3" });
    EXPECT_EQ(Name(), "AC - T - A.mp3");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Commands, ExistingNamesAreNeverReplaced)
{
    Song("one.mp3", { { "Title", "Same" } });
    Song("two.mp3", { { "Title", "Same" } });
    std::string twoBytes = dir.Read("two.mp3");
    Open({ "one.mp3", "two.mp3" });
    SetTemplate("/ta.mp3");
    Send(CMD_RENAME);
    Send(CMD_NEXT);
    alerts.Clear();
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(), (std::vector<std::string> { "Same.mp3", "two.mp3" }));
    EXPECT_EQ(dir.Read("two.mp3"), twoBytes);
    ASSERT_EQ(alerts.Texts(), std::vector<std::string> { kExists });
    EXPECT_EQ(alerts.alerts[0].buttons, std::vector<std::string> { "Ok" });
    EXPECT_TRUE(alerts.alerts[0].waits);
    EXPECT_EQ(alerts.beeps, 0);
    EXPECT_EQ(Name(), "two.mp3");
}

TEST_F(Commands, AllModeRenamesEveryFileAndGoesOnPastATakenName)
{
    // Names that meet once cleaned are taken names too.
    Song("a.mp3", { { "Title", "X_Y" } });
    Song("b.mp3", { { "Title", "X/Y" } });
    Song("c.mp3", { { "Title", "Z" } });
    Open({ "a.mp3", "b.mp3", "c.mp3" });
    SetTemplate("/ta.mp3");
    Send(B_MODIFIERS_CHANGED);
    output.Take();
    Send(CMD_RENAME);
    std::string trace = output.Take();
    EXPECT_NE(trace.find("rena:loop: 0\n"), std::string::npos);
    EXPECT_NE(trace.find("rena:loop: 1\n"), std::string::npos);
    EXPECT_NE(trace.find("rena:loop: 2\n"), std::string::npos);
    EXPECT_EQ(trace.find("rena:loop: 3\n"), std::string::npos);
    // The rename traces the expansion of the name as the load just before it did.
    const size_t expanded = trace.find("new_name()\n", trace.find("rena:loop: 2\n"));
    const size_t loaded = trace.find("leaving read_file()\n", expanded);
    const size_t renamed = trace.find("rename()\n", loaded);
    ASSERT_NE(renamed, std::string::npos) << trace;
    const std::string load = trace.substr(expanded, loaded - expanded);
    EXPECT_EQ(trace.substr(loaded, renamed - loaded), "leaving read_file()\n" + load);
    EXPECT_TRUE(load.ends_with("new_name: Z.mp3\nnew_name: Z.mp3\n")) << load;
    EXPECT_EQ(dir.Names(), (std::vector<std::string> { "X_Y.mp3", "Z.mp3", "b.mp3" }));
    EXPECT_EQ(alerts.Texts(), std::vector<std::string> { kExists });
    EXPECT_EQ(win->position, 2);
    EXPECT_EQ(Name(), "Z.mp3");
    EXPECT_EQ(Pos(), "ALL");
}

// An album as people keep it: ID3v1.1 tags with track bytes, some with ID3v2 tags (TRCK) too
// and no attributes stored, named by number in "ALL" runs. A file for which every variable
// comes out empty keeps its name: one beep per run, a trace line per file, no alert.
TEST_F(Commands, AllModeNamesAnAlbumByTrackNumber)
{
    auto song = [&](const std::string& name, const std::string& title, char track,
                    const std::string& trck) {
        mp3gen::Id3v1 v1;
        v1.title = title.substr(0, 30);
        v1.comment = std::string(29, '\0') + track;
        std::string v2;
        if (!trck.empty())
            v2 = mp3gen::id3v2(3, { { "TIT2", title }, { "TRCK", trck } });
        dir.MakeMp3(name, mp3gen::id3v1(v1), v2);
    };
    const std::string longTitle = "A Title Longer Than The Thirty Bytes Of ID3v1";
    song("track01.mp3", "Opening", 1, "");
    song("track02.mp3", longTitle, 2, "2/12");
    song("track10.mp3", "Who/What", 10, "");
    Open({ "track01.mp3", "track02.mp3", "track10.mp3" });
    SetTemplate("/nt - /tt.mp3");
    Send(B_MODIFIERS_CHANGED);
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(),
        (std::vector<std::string> {
            "01 - Opening.mp3", "02 - A Title Longer Than The Thirty.mp3", "10 - Who_What.mp3" }));
    EXPECT_TRUE(alerts.alerts.empty());

    SetTemplate("/na - /ta.mp3");
    alerts.Clear();
    output.Take();
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(),
        (std::vector<std::string> {
            "01 - Opening.mp3", "02 - " + longTitle + ".mp3", "10 - Who_What.mp3" }));
    std::string trace = output.Take();
    size_t kept = trace.find("kept: no song information\n");
    EXPECT_NE(kept, std::string::npos);
    EXPECT_NE(trace.find("kept: no song information\n", kept + 1), std::string::npos);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Commands, SuffixCommands)
{
    Song("song");
    Song("a.mp3.mp3");
    Song("b.mp3x");
    Open({ "song", "a.mp3.mp3", "b.mp3x" });
    Send(CMD_REMOVE_MP3); // nothing to remove
    EXPECT_TRUE(dir.Exists("song"));
    Send(CMD_ADD_MP3);
    EXPECT_TRUE(dir.Exists("song.mp3"));
    Send(CMD_ADD_MP3);
    EXPECT_TRUE(dir.Exists("song.mp3.mp3"));
    Send(CMD_NEXT);
    Send(CMD_REMOVE_MP3);
    EXPECT_TRUE(dir.Exists("a.mp3"));
    Send(CMD_NEXT);
    Send(CMD_REMOVE_MP3);
    EXPECT_TRUE(dir.Exists("bx"));
    EXPECT_EQ(dir.Count(), 3u);
    // The list follows each renamed file.
    Send(CMD_NEXT);
    EXPECT_EQ(Name(), "song.mp3.mp3");
    Send(CMD_NEXT);
    EXPECT_EQ(Name(), "a.mp3");
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Commands, NonUtf8NameSurvivesAddThenRemove)
{
    const std::string name = "caf\xE9-\xFF.mp3";
    Song(name);
    Open({ name });
    Send(CMD_ADD_MP3);
    EXPECT_TRUE(dir.Exists(name + ".mp3"));
    Send(CMD_REMOVE_MP3);
    EXPECT_EQ(dir.Names(), std::vector<std::string> { name });
    EXPECT_EQ(Name(), name);
}

TEST_F(Commands, FailedTemplateRenamesNothing)
{
    Song("keep.mp3", { { "Artist", "Art" } });
    Song("keep2.mp3", { { "Artist", "Art2" } });
    Open({ "keep.mp3", "keep2.mp3" });
    SetTemplate("/aa/ga.mp3");
    alerts.Clear();
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(), (std::vector<std::string> { "keep.mp3", "keep2.mp3" }));
    // The command's expansion and the reload's both alert; nothing else does.
    EXPECT_EQ(alerts.alerts.size(), 2u);

    // In "ALL" mode the loop ends at the first failed expansion: one pair of alerts.
    Send(B_MODIFIERS_CHANGED);
    alerts.Clear();
    output.Take();
    Send(CMD_RENAME);
    EXPECT_EQ(dir.Names(), (std::vector<std::string> { "keep.mp3", "keep2.mp3" }));
    std::string trace = output.Take();
    EXPECT_NE(trace.find("rena:loop: 0\n"), std::string::npos);
    EXPECT_EQ(trace.find("rena:loop: 1\n"), std::string::npos);
    EXPECT_EQ(alerts.alerts.size(), 3u); // the loop's load, the command, the final reload
}

TEST_F(Commands, NamesThatWouldLeaveTheFolderAreRefused)
{
    Song("x.mp3", { { "Artist", "AC/DC" }, { "Title", ".." } });
    Open({ "x.mp3" });
    EXPECT_EQ(Preview(), "AC_DC - .. - .mp3"); // a value's "/" cannot leave the folder
    const char* templates[] = { "/ta", "", "." };
    for (const char* text : templates) {
        SCOPED_TRACE(text);
        SetTemplate(text);
        alerts.Clear();
        output.Take();
        Send(CMD_RENAME);
        EXPECT_EQ(dir.Names(), std::vector<std::string> { "x.mp3" });
        EXPECT_NE(output.Take().find("Rename: B_BAD_VALUE \n"), std::string::npos);
        ASSERT_EQ(alerts.Texts(), std::vector<std::string> { kGrumble });
        EXPECT_FALSE(alerts.alerts[0].waits);
        EXPECT_EQ(alerts.alerts[0].buttons, std::vector<std::string> { "grumble" });
    }
}

TEST_F(Commands, FileDeletedBehindOurBack)
{
    Song("gone.mp3");
    Open({ "gone.mp3" });
    ::unlink(dir.PathOf("gone.mp3").c_str());
    alerts.Clear();
    output.Take();
    Send(CMD_ADD_MP3);
    EXPECT_NE(output.Take().find("Rename: B_ENTRY_NOT_FOUND \n"), std::string::npos);
    ASSERT_GE(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].text, kGrumble);
    EXPECT_TRUE(dir.Names().empty());
}

TEST_F(Commands, AFileThatTookTheLoadedOnesNameIsNeverRenamed)
{
    // After the load, another file gets the name: deleted and made anew, or renamed over it.
    for (bool renamedOver : { false, true }) {
        SCOPED_TRACE(renamedOver);
        Song("a.mp3");
        Open({ "a.mp3" });
        dir.MakeFile("other", "another file");
        if (!renamedOver) {
            ASSERT_EQ(::unlink(dir.PathOf("a.mp3").c_str()), 0);
        }
        ASSERT_EQ(::rename(dir.PathOf("other").c_str(), dir.PathOf("a.mp3").c_str()), 0);
        alerts.Clear();
        output.Take();
        Send(CMD_ADD_MP3);
        EXPECT_NE(output.Take().find("Rename: B_ENTRY_NOT_FOUND \n"), std::string::npos);
        EXPECT_EQ(alerts.Texts(), std::vector<std::string> { kGrumble });
        EXPECT_EQ(dir.Names(), std::vector<std::string> { "a.mp3" });
        EXPECT_EQ(dir.Read("a.mp3"), "another file");
        Close();
    }
}

TEST_F(Commands, ReadOnlyFolderIsReportedAsPermissionDenied)
{
    // Root ignores permissions, so the rename runs in a child that drops to nobody.
    Song("a.mp3");
    Open({ "a.mp3" });
    ::chmod(dir.Path().c_str(), 0555);
    output.Take();
    pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        TraceCapture childOutput;
        alerts.Clear();
        Send(CMD_ADD_MP3);
        bool traced
            = childOutput.Take().find("Rename: B_PERMISSION_DENIED \n") != std::string::npos;
        bool alerted = !alerts.alerts.empty() && alerts.alerts[0].text == kGrumble;
        ::_exit(traced && alerted ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dir.Names(), std::vector<std::string> { "a.mp3" });
}

TEST_F(Commands, AllModeSuffixCommandsDoNotRepeatABrokenTemplatesAlertPerFile)
{
    Song("a.mp3");
    Song("b.mp3");
    Song("c.mp3");
    Open({ "a.mp3", "b.mp3", "c.mp3" });
    SetTemplate("/x");
    Send(B_MODIFIERS_CHANGED);
    alerts.Clear();
    Send(CMD_ADD_MP3);
    EXPECT_EQ(dir.Names(), (std::vector<std::string> { "a.mp3.mp3", "b.mp3.mp3", "c.mp3.mp3" }));
    // The loop's first load and the reload after it; not one waiting alert for every file.
    ASSERT_EQ(alerts.alerts.size(), 2u);
    EXPECT_TRUE(alerts.alerts[0].waits);
}

namespace
{

// Counts the paint events of every widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints++;
        return false;
    }
};

} // namespace

// An "ALL" run that lasts (each rename held up as on a slow stick) paints and shows the busy
// pointer while it goes on; a message posted meanwhile waits until the run is over, and the
// run's results are those of a quick one.
TEST_F(Commands, LongAllRunPaintsAndHoldsPostedMessages)
{
    const int kFiles = 30;
    std::vector<std::string> names, renamed;
    for (int i = 0; i < kFiles; i++) {
        const std::string title = std::string(1, 't').append(std::to_string(i));
        names.push_back(std::string(1, 's').append(std::to_string(i)).append(".mp3"));
        renamed.push_back(title + ".mp3");
        Song(names.back(), { { "Title", title } });
    }
    std::sort(renamed.begin(), renamed.end());
    Open(names);
    SetTemplate("/ta.mp3");
    win->Show();
    QWidget* widget = qt_widget_of(win);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget));
    win->PostMessage(B_MODIFIERS_CHANGED);
    ASSERT_TRUE(QTest::qWaitFor([&] { return win->all_files; }, 5000));

    PaintCounter counter;
    qApp->installEventFilter(&counter);
    entry_delay_renames(15000); // 30 renames take at least 0.45 s
    struct {
        size_t done = 0;
        int paints = 0;
        bool busy = false;
    } at250, at350;
    auto sample = [&](auto& into) {
        into.done = kFiles
            - std::min<size_t>(kFiles,
                std::count_if(names.begin(), names.end(), [&](auto& n) { return dir.Exists(n); }));
        into.paints = counter.paints;
        into.busy = QGuiApplication::overrideCursor() != nullptr
            && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    QTimer::singleShot(250, [&] {
        sample(at250);
        qt_widget_of(win->preview_view)->update();
        win->PostMessage(CMD_NEXT);
    });
    QTimer::singleShot(350, [&] { sample(at350); });
    output.Take();
    win->PostMessage(CMD_RENAME);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Pos() == "1/30"; }, 20000));
    entry_delay_renames(0);
    qApp->removeEventFilter(&counter);

    // Both samples were taken mid-run, and the paint asked for at the first was served.
    EXPECT_GT(at250.done, 0u);
    EXPECT_LT(at350.done, static_cast<size_t>(kFiles));
    EXPECT_GT(at350.paints, at250.paints);
    EXPECT_TRUE(at250.busy);
    EXPECT_TRUE(at350.busy);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // The posted 'next' ran after the run: from the last file it wraps to the first.
    const std::string trace = output.Take();
    const size_t loopStart = trace.find("rena:loop: 0\n");
    ASSERT_NE(loopStart, std::string::npos);
    EXPECT_GT(trace.find("window::MessageReceived()", loopStart), trace.find("rena:loop: 29\n"));
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_EQ(win->position, 0);
    EXPECT_EQ(dir.Names(), renamed);
    EXPECT_TRUE(alerts.alerts.empty());
}
