// app/main.cpp: the orvalin executable.
#include "app/Orvalin.h"

#include "platform/support/Trace.h"

int main(int argc, char** argv)
{
    // First, before anything is opened: started with standard output closed, the display
    // connection would take its number and receive the trace.
    guard_standard_streams();
    return orvalin_main(argc, argv);
}
