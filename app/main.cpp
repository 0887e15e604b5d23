// app/main.cpp: the orvalin executable.
#include "app/Orvalin.h"

int main(int argc, char** argv)
{
    return orvalin_main(argc, argv);
}
