// platform/support/Trace.cpp: the running trace on standard output, written by a thread of its
// own.
#include "platform/support/Trace.h"

#include "platform/support/DataIO.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace
{

// Lines gather in blocks of this size; at most kMaxQueued blocks wait for the writer. While
// they are all waiting, further lines are dropped: a reader that does not read holds up
// neither the traced work nor the exit.
const size_t kBlock = 1 << 16;
const size_t kMaxQueued = 16;
// The writer writes a block in pieces of this size and counts each, so that a flush can tell
// a slow reader from one that has stopped.
const size_t kPiece = 1 << 14;
// A flush waits for the writer only while it writes a piece at least this often.
const int kStallMs = 500;

struct Writer {
    std::mutex lock;
    std::condition_variable work; // a block queued
    std::condition_variable done; // a piece written, or the trace ended
    std::string pending;
    std::deque<std::string> queue;
    bool writing = false;
    bool registered = false; // stop_writer runs at exit
    bool started = false;
    bool threadless = false; // no thread could be started: blocks are written in place
    bool exiting = false; // stop_writer has run: every line is flushed as it comes
    bool ended = false; // a write failed, or the exit could not flush: nothing more is traced
    bool stalled = false; // a flush gave up; the next piece written clears it
    uint64_t pieces = 0; // written so far: the writer's progress
    uint64_t dropped = 0; // lines dropped since the last block handed over
    std::thread thread;
};

Writer* sWriter = nullptr;
Writer* sForsaken = nullptr; // the parent's, in a forked child: its thread is not there
// Where the lines this thread traces go instead, while set (trace_record).
thread_local std::string* tRecording = nullptr;

void before_fork()
{
    sWriter->lock.lock();
}

void after_fork_in_parent()
{
    sWriter->lock.unlock();
}

// A forked child starts a trace of its own; the lines its parent had not written yet are the
// parent's to write.
void after_fork_in_child()
{
    sForsaken = sWriter;
    sWriter = new Writer;
    sWriter->registered = sForsaken->registered;
}

Writer& writer()
{
    // Never deleted: it outlives every static destructor that might trace.
    static const bool made = [] {
        sWriter = new Writer;
        return ::pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child) == 0;
    }();
    (void)made;
    return *sWriter;
}

// Writes size bytes to standard output. False once a write fails for good or, bounded, once
// standard output takes nothing for kStallMs.
bool write_out(const char* bytes, size_t size, bool bounded)
{
    return write_fully(STDOUT_FILENO, bytes, size, bounded ? kStallMs : -1) == B_OK;
}

// Nothing more is traced: a write failed, or the exit gave up on a reader that does not read.
void end_trace(Writer& w)
{
    w.ended = true;
    w.queue.clear();
    w.pending.clear();
    w.pending.shrink_to_fit();
    w.done.notify_all();
}

void run_writer()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    for (;;) {
        w.work.wait(guard, [&] { return !w.queue.empty(); });
        std::string block = std::move(w.queue.front());
        w.queue.pop_front();
        w.writing = true;
        bool written = true;
        for (size_t at = 0; written && at < block.size(); at += kPiece) {
            guard.unlock();
            written = write_out(block.data() + at, std::min(kPiece, block.size() - at), false);
            guard.lock();
            w.pieces++;
            w.stalled = false;
            w.done.notify_all();
        }
        w.writing = false;
        if (!written)
            end_trace(w);
        w.done.notify_all();
    }
}

// Waits until ready() holds while the writer makes progress; false, at once if an earlier wait
// gave up since the last piece written, when it has written nothing for kStallMs.
template <typename Ready> bool wait_for_writer(std::unique_lock<std::mutex>& guard, Ready ready)
{
    Writer& w = writer();
    while (!ready()) {
        if (w.stalled || w.ended)
            return false;
        const uint64_t before = w.pieces;
        if (!w.done.wait_for(guard, std::chrono::milliseconds(kStallMs),
                [&] { return ready() || w.pieces != before || w.ended; })) {
            w.stalled = true;
            return false;
        }
    }
    return true;
}

// Waits until every block handed over is written, while the writer makes progress.
bool drain(std::unique_lock<std::mutex>& guard)
{
    Writer& w = writer();
    return wait_for_writer(guard, [&] { return w.queue.empty() && !w.writing; });
}

// Hands the pending lines to the writer. While its queue is full they are dropped and
// counted; with wait, the caller first waits for room while the writer makes progress.
void hand_over(std::unique_lock<std::mutex>& guard, bool wait)
{
    Writer& w = writer();
    if (w.pending.empty() || w.ended)
        return;
    if (!w.started && !w.threadless) {
        // std::thread reports a thread it cannot start (EAGAIN) only by std::system_error: the
        // trace then writes from the tracing thread.
        try {
            w.thread = std::thread(run_writer);
            w.started = true;
        } catch (const std::system_error&) {
            w.threadless = true;
        }
    }
    if (w.threadless) {
        std::string block = std::move(w.pending);
        w.pending.clear();
        guard.unlock();
        bool written = write_out(block.data(), block.size(), true);
        guard.lock();
        if (!written)
            end_trace(w);
        return;
    }
    if (wait)
        wait_for_writer(guard, [&] { return w.queue.size() < kMaxQueued; });
    if (w.ended)
        return;
    if (w.queue.size() >= kMaxQueued) {
        w.dropped += static_cast<uint64_t>(std::count(w.pending.begin(), w.pending.end(), '\n'));
        if (w.pending.back() != '\n')
            w.dropped++;
        w.pending.clear();
        return;
    }
    if (w.dropped > 0) {
        char notice[64];
        std::snprintf(notice, sizeof notice, "[trace: %llu lines dropped]\n",
            static_cast<unsigned long long>(w.dropped));
        w.queue.emplace_back(notice);
        w.dropped = 0;
    }
    w.queue.push_back(std::move(w.pending));
    w.pending.clear();
    w.work.notify_one();
}

// At exit: everything traced so far is written while the writer makes progress, and what is
// traced later (by destructors) is flushed as it comes. A reader that does not read ends the
// trace here; the writer, stuck in its write, ends with the process.
void stop_writer()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    w.exiting = true;
    hand_over(guard, true);
    if (!drain(guard))
        end_trace(w);
}

// Appends format with its arguments to out where it holds only text, "%s", "%d" and "%%",
// as nearly every trace line does: that costs a fraction of a printf call. False, with out
// partly appended, for any other conversion.
bool append_simple(std::string* out, const char* format, va_list arguments)
{
    for (const char* at = format; *at != '\0';) {
        const char* percent = std::strchr(at, '%');
        if (percent == nullptr) {
            out->append(at);
            return true;
        }
        out->append(at, static_cast<size_t>(percent - at));
        switch (percent[1]) {
        case 's': {
            const char* text = va_arg(arguments, const char*);
            out->append(text != nullptr ? text : "(null)");
            break;
        }
        case 'd': {
            char digits[16];
            auto result = std::to_chars(digits, digits + sizeof digits, va_arg(arguments, int));
            out->append(digits, result.ptr);
            break;
        }
        case '%':
            out->push_back('%');
            break;
        default:
            return false;
        }
        at = percent + 2;
    }
    return true;
}

// Appends the line that format and its arguments give to out; out stays as it was where they
// cannot be formatted.
void format_line(std::string* out, const char* format, va_list arguments)
{
    const size_t at = out->size();
    va_list copy;
    va_copy(copy, arguments);
    bool simple = append_simple(out, format, copy);
    va_end(copy);
    if (simple)
        return;
    out->resize(at);
    va_copy(copy, arguments);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0)
        return;
    out->resize(at + static_cast<size_t>(length) + 1);
    va_copy(copy, arguments);
    std::vsnprintf(out->data() + at, static_cast<size_t>(length) + 1, format, copy);
    va_end(copy);
    out->pop_back(); // the terminating NUL
}

// Whether lines may be added to the pending ones (not once the trace has ended); the first
// time, the flush at exit is registered. The pending lines keep room for a block.
bool takes_lines(Writer& w)
{
    if (w.ended)
        return false;
    if (!w.registered)
        w.registered = std::atexit(stop_writer) == 0;
    if (w.pending.capacity() < kBlock)
        w.pending.reserve(kBlock + 1024);
    return true;
}

// After lines are added to the pending ones: at exit they are flushed at once; otherwise a
// full block that ends with a line goes to the writer, so that lines are dropped whole.
void pass_on(std::unique_lock<std::mutex>& guard)
{
    Writer& w = writer();
    if (w.exiting) {
        hand_over(guard, true);
        if (!drain(guard))
            end_trace(w);
    } else if (w.pending.size() >= kBlock
        && (w.pending.back() == '\n' || w.pending.size() >= 2 * kBlock)) {
        hand_over(guard, false);
    }
}

} // namespace

void trace(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    if (tRecording != nullptr) {
        format_line(tRecording, format, arguments);
        va_end(arguments);
        return;
    }
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    if (takes_lines(w)) {
        format_line(&w.pending, format, arguments);
        pass_on(guard);
    }
    va_end(arguments);
}

void trace_record(std::string* recording)
{
    tRecording = recording;
}

void trace_text(const std::string& text)
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    if (text.empty() || !takes_lines(w))
        return;
    w.pending.append(text);
    pass_on(guard);
}

void trace_post()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    hand_over(guard, false);
}

void trace_flush()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    hand_over(guard, true);
    drain(guard);
}

void guard_standard_streams()
{
    ::signal(SIGPIPE, SIG_IGN);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number: fd itself, as those below it are open.
        int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}
