// bench/make_corpus.cpp: bench_corpus DIR COUNT [--no-attributes] writes COUNT small valid MP3
// files into DIR for the rename benchmarks: an ID3v2.3 tag, silent frames and an ID3v1 tag, and
// (unless --no-attributes) the song attributes user.Title, user.Artist, user.Album, user.Year,
// user.Comment and the type user.BEOS:TYPE, stored as Linux tools store text, without a NUL.
// The same arguments always give the same bytes; every title is unique, so every new name is.
// Prints each file's name under the template "/aa - /ta - /la.mp3", one a line, for the check
// after a rename.
#include "scripts/mp3gen.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace
{

struct Song {
    std::string title, artist, album, year, comment;
};

// File i of the set: 97 artists, 331 albums, and a title of its own.
Song song(int i)
{
    char number[16];
    std::snprintf(number, sizeof number, "%06d", i);
    return { std::string("Title ") + number, "Artist " + std::to_string(i % 97),
        "Album " + std::to_string(i % 331), std::to_string(1960 + i % 60),
        "Comment " + std::to_string(i % 7) };
}

bool write_song(const std::string& dir, int i, bool attributes)
{
    const Song s = song(i);
    char name[32];
    std::snprintf(name, sizeof name, "track %06d.mp3", i);
    const std::string path = dir + "/" + name;
    std::string bytes = mp3gen::id3v2(3,
        { { "TIT2", s.title }, { "TPE1", s.artist }, { "TALB", s.album }, { "TYER", s.year },
            { "COMM", s.comment } });
    bytes += mp3gen::silent_frames(8);
    bytes += mp3gen::id3v1({ s.title, s.artist, s.album, s.year, s.comment });
    if (!mp3gen::write_file(path, bytes)) {
        std::fprintf(
            stderr, "bench_corpus: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    std::printf("%s - %s - %s.mp3\n", s.artist.c_str(), s.title.c_str(), s.album.c_str());
    if (!attributes)
        return true;
    const std::pair<const char*, const std::string*> values[]
        = { { "Title", &s.title }, { "Artist", &s.artist }, { "Album", &s.album },
              { "Year", &s.year }, { "Comment", &s.comment } };
    for (auto [attribute, value] : values) {
        if (!mp3gen::set_attribute(path, attribute, *value)) {
            std::fprintf(stderr, "bench_corpus: cannot set user.%s on %s: %s\n", attribute,
                path.c_str(), std::strerror(errno));
            return false;
        }
    }
    if (!mp3gen::set_attribute(path, "BEOS:TYPE", "audio/x-mpeg")) {
        std::fprintf(stderr, "bench_corpus: cannot set user.BEOS:TYPE on %s: %s\n", path.c_str(),
            std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool attributes = true;
    if (argc == 4 && std::strcmp(argv[3], "--no-attributes") == 0)
        attributes = false;
    else if (argc != 3) {
        std::fprintf(stderr, "usage: bench_corpus DIR COUNT [--no-attributes]\n");
        return 2;
    }
    const std::string dir = argv[1];
    char* end = nullptr;
    long count = std::strtol(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || count < 0 || count > 1000000) {
        std::fprintf(stderr, "bench_corpus: COUNT must be a number from 0 to 1000000\n");
        return 2;
    }
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(
            stderr, "bench_corpus: cannot make %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    for (int i = 0; i < count; i++)
        if (!write_song(dir, i, attributes))
            return 1;
    return 0;
}
