// tests/fuzz/mp3tag_fuzz.cpp: the tag record on arbitrary file images, checked against the
// record's invariants and written back.
#include "tag/Mp3Tag.h"

#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "scripts/mp3gen.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace
{

std::string sPath;

using fuzz::check;

// The field after the field step: bytes before the first NUL, the NUL, then spaces; the text
// is the bytes before the NUL, or (without a NUL) the bytes less trailing spaces.
void check_field(const char* stored, const char* field, const char* text, size_t length)
{
    const void* nul = std::memchr(stored, '\0', length);
    size_t kept = nul ? static_cast<const char*>(nul) - stored + 1 : length;
    check(std::memcmp(field, stored, kept) == 0, "field bytes before the fill");
    for (size_t i = kept; i < length; ++i)
        check(field[i] == ' ', "fill is spaces");
    std::string expected(stored, nul ? kept - 1 : length);
    if (!nul)
        expected.erase(expected.find_last_not_of(' ') + 1);
    check(std::memchr(text, '\0', length + 1) != nullptr, "text is terminated");
    check(expected == text, "text");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sPath = fuzz::make_scratch_file("mp3tag_fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string image(reinterpret_cast<const char*>(data), size);
    if (!mp3gen::write_file(sPath, image)
        || !mp3gen::set_attribute(sPath, "BEOS:TYPE", "audio/x-mpeg"))
        std::abort();
    entry_ref ref;
    check(get_ref_for_path(sPath.c_str(), &ref) == B_OK, "ref");

    Mp3Tag tag(&ref);
    check(tag.status == B_OK, "status");
    bool tagged = size >= 128 && image.compare(size - 128, 3, "TAG") == 0;
    std::string stored = tagged ? image.substr(size - 128) : "TAG" + std::string(124, ' ') + '\0';
    check(std::memcmp(tag.raw, "TAG", 3) == 0, "marker");
    check(tag.raw[127] == stored[127], "genre");
    check_field(stored.data() + 3, tag.raw + 3, tag.title, 30);
    check_field(stored.data() + 33, tag.raw + 33, tag.artist, 30);
    check_field(stored.data() + 63, tag.raw + 63, tag.album, 30);
    check_field(stored.data() + 93, tag.raw + 93, tag.year, 4);
    check_field(stored.data() + 97, tag.raw + 97, tag.comment, 30);
    off_t start = tagged ? static_cast<off_t>(size - 128) : static_cast<off_t>(size);
    check(tag.file->Position() == start, "position");

    (void)tag.WriteToDisk(); // the bytes on disk are checked below
    struct stat st;
    check(::stat(sPath.c_str(), &st) == 0 && st.st_size == start + 128, "size after write");
    check(tag.file->Position() == start, "position after write");
    return 0;
}
