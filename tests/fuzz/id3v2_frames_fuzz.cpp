// tests/fuzz/id3v2_frames_fuzz.cpp: the frame walk on arbitrary tag bytes. TagLib is not
// instrumented, so what it would receive is checked here: small, well formed, and read from
// within the tag the header announces.
#include "platform/storage/Id3v2Frames.h"

#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

namespace
{

using fuzz::check;

uint32_t syncsafe(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        unsigned char byte = bytes[at + i];
        check((byte & 0x80) == 0, "syncsafe size");
        value = (value << 7) | byte;
    }
    return value;
}

// Re-walks a fresh tag on its own terms: an ID3v2.4 header without flags whose size is the
// rest, then kept frames in their order, each at most once, without flags, within bounds.
void check_fresh_tag(const std::string& tag)
{
    const size_t kFrames = std::size(kKeptFrameIds);
    check(tag.size() >= 10 + 10 + 2, "header and a frame");
    check(tag.size() <= 10 + kFrames * (10 + kMaxKeptFrameSize), "small");
    check(tag.compare(0, 6, std::string("ID3\x04\0\0", 6)) == 0, "v2.4 header, no flags");
    check(syncsafe(tag, 6) == tag.size() - 10, "tag size");
    size_t pos = 10, next = 0;
    while (pos < tag.size()) {
        check(tag.size() - pos >= 10, "frame header in bounds");
        size_t slot = next;
        while (slot < kFrames && tag.compare(pos, 4, kKeptFrameIds[slot]) != 0)
            ++slot;
        check(slot < kFrames, "a kept id, in order, once");
        next = slot + 1;
        uint32_t size = syncsafe(tag, pos + 4);
        check(tag[pos + 8] == 0 && tag[pos + 9] == 0, "no frame flags");
        check(size >= 2 && size <= kMaxKeptFrameSize, "frame size");
        check(size <= tag.size() - pos - 10, "frame in bounds");
        pos += 10 + size;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The reads stay within the tag the header announces.
    size_t claimed = 0;
    for (size_t i = 6; i < 10 && i < size; ++i)
        claimed = (claimed << 7) | (data[i] & 0x7F);
    const size_t announced = 10 + claimed;
    size_t reachedEnd = 0;
    std::string fresh = keep_song_frames([&](size_t offset, size_t length) {
        check(length <= kMaxId3v2TagSize, "read length");
        if (offset >= input.size())
            return std::string();
        reachedEnd = std::max(reachedEnd, std::min(offset + length, input.size()));
        return input.substr(offset, length);
    });
    check(reachedEnd <= announced, "reads within the tag");
    if (fresh.empty())
        return 0;
    check_fresh_tag(fresh);
    check(keep_song_frames(fresh) == fresh, "a fresh tag walks to itself");
    return 0;
}
