// platform/support/Trace.cpp: the running trace on standard output, through C stdio.
#include "platform/support/Trace.h"

#include <cstdarg>
#include <cstdio>

namespace
{

// Standard output is block-buffered from the start, before anything is written to it (the C
// library would make it line-buffered on a terminal).
const bool sBuffered = [] { return std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16) == 0; }();

} // namespace

void trace(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

void trace_flush()
{
    (void)sBuffered;
    std::fflush(stdout);
}
