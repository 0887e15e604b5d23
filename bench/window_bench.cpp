// bench/window_bench.cpp: the window on large selections: opening (intake and first load),
// stepping through every file, and an "ALL" add/remove of ".mp3" over every file.
// Prints medians of several runs and the per-file cost at each size, so that a cost that grows
// faster than the number of files shows as a ratio above 1.
// window_bench --intake [--runs R] N...: only the opening, on N files of the type audio/x-mpeg
// each, one line "intake N MS" per size (the median of R runs, 5 by default).
#include "tests/support/Recorder.h"
#include "tests/support/Scratch.h"

#include "platform/app/Application.h"
#include "platform/app/Message.h"
#include "platform/support/Trace.h"
#include "window/TagViewer_window.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace
{

double median_ms(int runs, const std::function<void()>& setup, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; i++) {
        setup();
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Result {
    double open, step, all;
};

void fill(ScratchDir& dir, BMessage& selection, int count, bool typed)
{
    for (int i = 0; i < count; i++) {
        std::string name = "song " + std::to_string(i) + ".mp3";
        dir.MakeMp3(name);
        dir.SetAttr(name, "Artist", "Artist " + std::to_string(i % 97));
        dir.SetAttr(name, "Title", "Title " + std::to_string(i));
        if (typed)
            dir.SetAttr(name, "BEOS:TYPE", "audio/x-mpeg");
        entry_ref ref = dir.Ref(name);
        selection.AddRef("refs", &ref);
    }
}

double measure_intake(int count, int runs)
{
    ScratchDir dir;
    BMessage selection('RRCV');
    fill(dir, selection, count, true);
    TagViewer_window* win = nullptr;
    double ms = median_ms(
        runs,
        [&] {
            delete win;
            win = nullptr;
        },
        [&] {
            BMessage copy(selection);
            win = new TagViewer_window(BRect(100, 100, 101, 101), &copy);
        });
    delete win;
    return ms;
}

Result measure(int count, int runs)
{
    ScratchDir dir;
    BMessage selection('RRCV');
    fill(dir, selection, count, false);
    TagViewer_window* win = nullptr;
    auto open = [&] {
        delete win;
        BMessage copy(selection);
        win = new TagViewer_window(BRect(100, 100, 101, 101), &copy);
    };
    Result result;
    result.open = median_ms(
        runs,
        [&] {
            delete win;
            win = nullptr;
        },
        open);
    BMessage next(CMD_NEXT);
    result.step = median_ms(runs, open, [&] {
        for (int i = 0; i < count; i++)
            win->MessageReceived(&next);
    });
    BMessage add(CMD_ADD_MP3), remove(CMD_REMOVE_MP3), modifiers(B_MODIFIERS_CHANGED);
    result.all = median_ms(
        runs,
        [&] {
            open();
            win->MessageReceived(&modifiers);
        },
        [&] {
            win->MessageReceived(&add);
            win->MessageReceived(&remove);
        });
    delete win;
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ensure_gui();
    ::setenv("XDG_CONFIG_HOME", "/nonexistent", 1);
    AlertRecorder alerts;
    // The trace of ten thousand files is hundreds of thousands of lines; send it where a
    // redirected run would, into a block-buffered file.
    int saved = ::dup(STDOUT_FILENO);
    int null = ::open("/dev/null", O_WRONLY);
    if (argc > 1 && std::strcmp(argv[1], "--intake") == 0) {
        int runs = 5, first = 2;
        if (argc > 3 && std::strcmp(argv[2], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[3]));
            first = 4;
        }
        for (int i = first; i < argc; i++) {
            int count = std::max(1, std::atoi(argv[i]));
            trace_flush();
            ::dup2(null, STDOUT_FILENO);
            double ms = measure_intake(count, runs);
            trace_flush();
            ::dup2(saved, STDOUT_FILENO);
            std::printf("intake %d %.2f\n", count, ms);
        }
        return 0;
    }
    const int sizes[] = { 1000, 10000 };
    Result results[2];
    for (int i = 0; i < 2; i++) {
        trace_flush();
        ::dup2(null, STDOUT_FILENO);
        results[i] = measure(sizes[i], 5);
        trace_flush();
        ::dup2(saved, STDOUT_FILENO);
    }
    std::printf("%-28s %12s %12s %12s %12s %8s\n", "operation (median of 5)", "1000 ms", "10000 ms",
        "us/file@1k", "us/file@10k", "ratio");
    auto row = [&](const char* name, double a, double b) {
        double perA = a * 1000 / sizes[0], perB = b * 1000 / sizes[1];
        std::printf(
            "%-28s %12.1f %12.1f %12.2f %12.2f %8.2f\n", name, a, b, perA, perB, perB / perA);
    };
    row("open (intake + first load)", results[0].open, results[1].open);
    row("step through every file", results[0].step, results[1].step);
    row("ALL add .mp3 then remove", results[0].all, results[1].all);
    std::printf("(%d beeps, %zu alerts recorded)\n", alerts.beeps, alerts.alerts.size());
    return 0;
}
