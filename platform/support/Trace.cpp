// platform/support/Trace.cpp: the running trace on standard output, written by a thread of its
// own.
#include "platform/support/Trace.h"

#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace
{

// Lines gather in blocks of this size; at most kMaxQueued blocks wait for the writer, so a
// slow reader (a terminal) holds the traced work back rather than letting the trace grow.
const size_t kBlock = 1 << 16;
const size_t kMaxQueued = 16;

struct Writer {
    std::mutex lock;
    std::condition_variable work; // a block queued, or stopping
    std::condition_variable done; // a block taken or written
    std::string pending;
    std::deque<std::string> queue;
    bool writing = false;
    bool registered = false; // stop_writer runs at exit
    bool started = false;
    bool threadless = false; // no thread could be started: blocks are written in place
    bool stopping = false;
    std::string* recording = nullptr; // also gets every line traced
    bool recordingCut = false; // a line could not be recorded
    std::thread thread;
};

Writer* sWriter = nullptr;
Writer* sForsaken = nullptr; // the parent's, in a forked child: its thread is not there

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

// Writes all of block to standard output; a write that fails for good drops the rest.
void write_all(const std::string& block)
{
    const char* bytes = block.data();
    size_t left = block.size();
    while (left > 0) {
        ssize_t n = ::write(STDOUT_FILENO, bytes, left);
        if (n > 0) {
            bytes += n;
            left -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd ready { STDOUT_FILENO, POLLOUT, 0 };
            (void)::poll(&ready, 1, -1);
        } else if (n == 0 || errno != EINTR) {
            return;
        }
    }
}

void run_writer()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    for (;;) {
        w.work.wait(guard, [&] { return w.stopping || !w.queue.empty(); });
        if (w.queue.empty())
            return;
        std::string block = std::move(w.queue.front());
        w.queue.pop_front();
        w.writing = true;
        guard.unlock();
        write_all(block);
        guard.lock();
        w.writing = false;
        w.done.notify_all();
    }
}

// Waits until every block handed over is written.
void drain(std::unique_lock<std::mutex>& guard)
{
    Writer& w = writer();
    w.done.wait(guard, [&] { return w.queue.empty() && !w.writing; });
}

// At exit: everything traced so far is written, and what is traced later (by destructors) is
// written at once.
void stop_writer()
{
    Writer& w = writer();
    std::string rest;
    {
        std::unique_lock<std::mutex> guard(w.lock);
        rest = std::move(w.pending);
        w.pending.clear();
        w.stopping = true;
        w.work.notify_one();
    }
    if (w.thread.joinable())
        w.thread.join();
    write_all(rest);
}

// Hands the pending lines to the writer, waiting while the queue is full.
void hand_over(std::unique_lock<std::mutex>& guard)
{
    Writer& w = writer();
    if (w.pending.empty())
        return;
    if (!w.started && !w.threadless) {
        try {
            w.thread = std::thread(run_writer);
            w.started = true;
        } catch (const std::exception&) {
            w.threadless = true;
        }
    }
    if (w.threadless || w.stopping) {
        std::string block = std::move(w.pending);
        w.pending.clear();
        guard.unlock();
        write_all(block);
        guard.lock();
        return;
    }
    w.done.wait(guard, [&] { return w.queue.size() < kMaxQueued; });
    w.queue.push_back(std::move(w.pending));
    w.pending.clear();
    w.work.notify_one();
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

} // namespace

void trace(const char* format, ...)
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    if (!w.registered)
        w.registered = std::atexit(stop_writer) == 0;
    const size_t at = w.pending.size();
    try {
        if (w.pending.capacity() < kBlock)
            w.pending.reserve(kBlock + 1024);
        va_list arguments;
        va_start(arguments, format);
        bool simple = append_simple(&w.pending, format, arguments);
        va_end(arguments);
        if (!simple) {
            w.pending.resize(at);
            va_start(arguments, format);
            int length = std::vsnprintf(nullptr, 0, format, arguments);
            va_end(arguments);
            if (length < 0)
                return;
            w.pending.resize(at + static_cast<size_t>(length) + 1);
            va_start(arguments, format);
            std::vsnprintf(
                w.pending.data() + at, static_cast<size_t>(length) + 1, format, arguments);
            va_end(arguments);
            w.pending.pop_back(); // the terminating NUL
        }
    } catch (const std::exception&) {
        w.pending.resize(at); // no memory for the line: the trace goes without it
        return;
    }
    if (w.recording != nullptr && !w.recordingCut) {
        try {
            w.recording->append(w.pending, at);
        } catch (const std::exception&) {
            w.recordingCut = true;
        }
    }
    if (w.pending.size() >= kBlock || w.stopping)
        hand_over(guard);
}

bool trace_record(std::string* recording)
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    const bool whole = !w.recordingCut;
    w.recording = recording;
    w.recordingCut = false;
    return whole;
}

void trace_text(const std::string& text)
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    if (!w.registered)
        w.registered = std::atexit(stop_writer) == 0;
    try {
        w.pending.append(text);
    } catch (const std::exception&) {
        return;
    }
    if (w.pending.size() >= kBlock || w.stopping)
        hand_over(guard);
}

void trace_post()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    hand_over(guard);
}

void trace_flush()
{
    Writer& w = writer();
    std::unique_lock<std::mutex> guard(w.lock);
    hand_over(guard);
    drain(guard);
}
