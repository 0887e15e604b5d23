// tests/kill_driver.cpp: the program's start and an "ALL" rename in the real window, offscreen,
// for tests/kill_test.py, which kills it at random moments.
//   kill_driver make FOLDER COUNT       writes COUNT songs "x song NN.mp3", ID3v1 title "song NN"
//   kill_driver rename TEMPLATE FILE... the start's recovery, then the window on the files, "ALL"
//                                       on, the template set, and one rename command; "renaming"
//                                       goes to standard error just before the command; each
//                                       rename waits $ORVALIN_RENAME_DELAY microseconds first
//   kill_driver recover FILE...         only the start's recovery, traced on standard output
//   kill_driver undo                    "orvalin --undo"; its alert's text on standard output
#include "tests/support/Recorder.h"

#include "app/Orvalin.h"
#include "platform/app/Application.h"
#include "platform/app/Message.h"
#include "platform/storage/rename/Journal.h"
#include "platform/storage/rename/TestSeams.h"
#include "platform/support/Trace.h"
#include "scripts/mp3gen.h"
#include "window/TagViewer_window.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

// The start's own recovery, as the program runs it before the window opens.
std::vector<std::string> recover(int count, char** paths)
{
    journal_recover();
    return std::vector<std::string>(paths, paths + count);
}

int make(const std::string& folder, int count)
{
    for (int i = 0; i < count; i++) {
        char number[16];
        std::snprintf(number, sizeof(number), "%02d", i);
        mp3gen::Id3v1 tag;
        tag.title = std::string("song ") + number;
        tag.comment = number;
        std::string bytes = mp3gen::silent_frames(3 + i % 5) + mp3gen::id3v1(tag);
        std::string path = folder + "/x song " + number + ".mp3";
        if (!mp3gen::write_file(path, bytes)) {
            std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
    }
    return 0;
}

int rename_all(const char* pattern, int count, char** paths)
{
    std::vector<std::string> files = recover(count, paths);
    // A slow run, as on a slow stick, that a second start can meet.
    if (const char* delay = std::getenv("ORVALIN_RENAME_DELAY"))
        entry_delay_renames(std::atoi(delay));
    ensure_gui();
    AlertRecorder alerts; // an alert here would wait for a click nobody gives
    BMessage selection('RRCV');
    for (const std::string& file : files) {
        entry_ref ref;
        if (get_ref_for_path(file.c_str(), &ref) == B_OK)
            selection.AddRef("refs", &ref);
    }
    TagViewer_window* win = new TagViewer_window(BRect(100, 100, 101, 101), &selection);
    win->constructor_control->SetText(pattern);
    BMessage all(B_MODIFIERS_CHANGED), rename(CMD_RENAME);
    win->MessageReceived(&all);
    std::fputs("renaming\n", stderr);
    std::fflush(stderr);
    win->MessageReceived(&rename);
    delete win;
    trace_flush();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_CONFIG_HOME", "/nonexistent", 1); // no settings read or written
    if (argc == 4 && std::strcmp(argv[1], "make") == 0)
        return make(argv[2], std::atoi(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "rename") == 0)
        return rename_all(argv[2], argc - 3, argv + 3);
    if (argc == 2 && std::strcmp(argv[1], "undo") == 0) {
        AlertRecorder alerts;
        char program[] = "orvalin", option[] = "--undo";
        char* undo[] = { program, option, nullptr };
        int status = orvalin_main(2, undo);
        trace_flush();
        for (const std::string& text : alerts.Texts())
            std::printf("alert: %s\n", text.c_str());
        return status;
    }
    if (argc >= 2 && std::strcmp(argv[1], "recover") == 0) {
        recover(argc - 2, argv + 2);
        trace_flush();
        return 0;
    }
    std::fprintf(stderr,
        "usage: kill_driver make FOLDER COUNT | rename TEMPLATE FILE... | "
        "recover FILE... | undo\n");
    return 2;
}
