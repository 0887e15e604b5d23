// platform/support/Trace.h: the running trace on standard output.
#pragma once

#include <string>

// Lines gather in blocks, a terminal included, and a thread of the trace's own writes them: an
// "ALL" run over thousands of files traces hundreds of thousands of lines, and their way
// through a terminal costs as much as the renames, which go on meanwhile. The window posts
// the trace when its queue falls idle and while a long run serves painting (every 20 ms);
// waiting alerts flush it first, and exit flushes the rest.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// While recording is set (not null), every line traced is also appended to it; null ends that.
// Work that would trace again what it traced before records the first trace and plays it back.
// False when the recording this call ends lacks a line (no memory).
bool trace_record(std::string* recording);
// Traces text as it stands, such as a recording.
void trace_text(const std::string& text);
// Hands the lines traced so far to the writer, which writes them while the caller goes on.
void trace_post();
// Returns once every line traced so far is written.
void trace_flush();
