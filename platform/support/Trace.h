// platform/support/Trace.h: the running trace on standard output.
#pragma once

// Writes to standard output through C stdio, so the trace is line-buffered on a terminal and
// block-buffered into a pipe or file. Waiting alerts flush it first; exit flushes the rest.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void trace_flush();
