// platform/support/Trace.cpp: the running trace on standard output, through C stdio.
#include "platform/support/Trace.h"

#include <cstdarg>
#include <cstdio>

// stdout keeps the C library's buffering: line-buffered on a terminal, block-buffered into a
// pipe or file, where a trace of hundreds of thousands of lines would otherwise cost one
// system call per line.
void trace(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

void trace_flush()
{
    std::fflush(stdout);
}
