// platform/support/Trace.h: the running trace on standard output.
#pragma once

// Writes to standard output through C stdio, block-buffered everywhere, a terminal included:
// an "ALL" run over thousands of files traces hundreds of thousands of lines, and a write per
// line to a terminal costs more than the renames. The window flushes it when its queue falls
// idle and while a long run serves painting (every 20 ms), waiting alerts flush it first, and
// exit flushes the rest.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void trace_flush();
