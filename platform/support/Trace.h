// platform/support/Trace.h: the running trace on standard output.
#pragma once

#include <string>

// Lines gather in blocks, a terminal included, and a thread of the trace's own writes them: an
// "ALL" run over thousands of files traces hundreds of thousands of lines, and their way
// through a terminal costs as much as the renames, which go on meanwhile. The window posts
// the trace when its queue falls idle and while a long run serves painting (every 20 ms);
// waiting alerts flush it first, and exit flushes the rest.
//
// The trace never stops, blocks or kills the program. A reader that does not read costs at
// most the blocks waiting for the writer: further lines are dropped and counted, and once
// writing goes through again "[trace: N lines dropped]" says so. A flush waits only while the
// writer makes progress. A write that fails (the reader has gone) ends the trace, silently.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// While recording is set (not null), the lines the calling thread traces are appended to it
// instead, without taking the trace's lock; null ends that. Work that traces many lines at once,
// or would trace again what it traced before, records them and hands them on with trace_text.
void trace_record(std::string* recording);
// Traces text as it stands, such as a recording: whole lines, dropped and counted as trace's are.
void trace_text(const std::string& text);
// Hands the lines traced so far to the writer, which writes them while the caller goes on.
void trace_post();
// Returns once every line traced so far is written, or once the writer has made no progress
// for half a second (a reader that does not read).
void trace_flush();

// The program's first call, before anything is opened: ignores SIGPIPE, so that a reader who
// leaves ends the trace and not the program, and opens descriptors 0, 1 and 2 that are closed
// on /dev/null, so that no file or connection opened later takes their number and the trace.
void guard_standard_streams();
