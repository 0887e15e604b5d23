// tests/fuzz/FuzzSupport.h: the scratch file and the invariant check shared by the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz
{

inline std::string& scratch_dir()
{
    static std::string dir;
    return dir;
}

// A folder of its own under the working directory (/tmp may not keep user.* attributes),
// removed at exit; returns the path of the one file a target writes there.
inline std::string make_scratch_file(const char* target)
{
    std::string pattern
        = (std::filesystem::current_path() / (std::string(target) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    scratch_dir() = pattern;
    std::atexit([] {
        std::error_code error;
        std::filesystem::remove_all(scratch_dir(), error);
    });
    return pattern + "/song.mp3";
}

// Stops the run, so that the fuzzer keeps the input, when an invariant is broken.
inline void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace fuzz
