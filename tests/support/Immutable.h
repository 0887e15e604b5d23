// tests/support/Immutable.h: makes a file immutable for the life of the guard, so that even
// root (as CI runs) cannot open it for writing or rename it.
#pragma once

#include <string>

class ImmutableGuard
{
public:
    explicit ImmutableGuard(const std::string& path); // fails the test when the flag can't be set
    ~ImmutableGuard();
    ImmutableGuard(const ImmutableGuard&) = delete;
    ImmutableGuard& operator=(const ImmutableGuard&) = delete;

private:
    void Set(bool on);
    std::string fPath;
};
