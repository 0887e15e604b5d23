// tests/launch_test.cpp: the program's two roles, as the file manager and the desktop start it.
#include "tests/support/WindowHarness.h"

#include "app/Orvalin.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

using Launch = WindowHarness;

namespace
{
int run(std::vector<std::string> args)
{
    args.insert(args.begin(), "orvalin");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return orvalin_main(static_cast<int>(args.size()), argv.data());
}

// Closes the first visible top-level window once the event loop runs, as a user would.
void close_window_soon()
{
    QTimer::singleShot(50, [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                widget->close();
    });
}
} // namespace

TEST_F(Launch, WithoutArgumentsShowsAboutAndQuits)
{
    EXPECT_EQ(run({}), 0);
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].text.rfind("Orvalin v001\n\n", 0), 0u);
    EXPECT_GT(alerts.alerts[0].text.size(), std::string("Orvalin v001\n\n").size());
    EXPECT_EQ(alerts.alerts[0].buttons, std::vector<std::string> { "Oki" });
    EXPECT_TRUE(alerts.alerts[0].waits);
    EXPECT_EQ(output.Take(), "\n");
    EXPECT_FALSE(config.Exists("Kelterhof-Orvalin"));
}

TEST_F(Launch, WithFilesRunsTheWindowUntilTheUserClosesIt)
{
    Song("a b.mp3", { { "Artist", "A" } });
    Song("c.mp3");
    close_window_soon();
    std::string uri = "file://" + dir.Path() + "/a%20b.mp3";
    EXPECT_EQ(run({ uri, dir.PathOf("c.mp3") }), 0);
    std::string trace = output.Take();
    EXPECT_EQ(trace.rfind("window()\nWindow constructor()\n", 0), 0u) << trace;
    EXPECT_NE(trace.find("1/2\nwindow created.\nwindow shown.\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("window destructor\n"), std::string::npos);
    EXPECT_TRUE(config.Exists("Kelterhof-Orvalin"));
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(Launch, ArgumentsThatNameNoMpegFileSayWhy)
{
    dir.MakeFile("notes.txt", "text");
    Song("a"); // what a NUL would cut "a%00b.mp3" down to
    const std::string none = "None of the selected files is MPEG audio";
    const struct {
        std::vector<std::string> args;
        std::string says;
        int beeps; // one a file, and the launcher's own when no file reaches it
    } cases[] = {
        { { dir.PathOf("notes.txt"), dir.PathOf("missing/x.mp3"),
              "file://" + dir.Path() + "/a%00b.mp3" },
            none, 3 },
        // Files in the Trash or on a network place, as a file manager passes them.
        { { "trash:///a.mp3", "sftp://host/m/b.mp3", "file://elsewhere/x.mp3" },
            "The selected files are not on this computer's disks", 4 },
        { { dir.PathOf("notes.txt"), "smb://nas/music/c.mp3" },
            "Some of the selected files are not on this computer's disks", 2 },
        // After "--", "--undo" is a file like any other.
        { { "--", "--undo" }, none, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        alerts.Clear();
        EXPECT_EQ(run(c.args), 0);
        EXPECT_EQ(alerts.beeps, c.beeps);
        ASSERT_EQ(alerts.alerts.size(), 1u);
        EXPECT_NE(alerts.alerts[0].text.find(c.says), std::string::npos) << alerts.alerts[0].text;
        EXPECT_EQ(output.Take().find("window shown."), std::string::npos);
    }
}
