// tests/fuzz/id3v2_frames_fuzz.cpp: the frame walk and the text decoder on arbitrary tag bytes.
// The walk reads only within the tag the header announces and keeps small frames; the texts
// decoded from them are valid UTF-8 without a NUL; and the kept frames, written as a plain
// ID3v2.4 tag, walk to themselves.
#include "platform/storage/id3v2/Id3v2Frames.h"
#include "platform/storage/id3v2/Id3v2Text.h"

#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace
{

using fuzz::check;

std::string syncsafe(size_t value)
{
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 7)
        out[i] = static_cast<char>(value & 0x7F);
    return out;
}

// Strictly valid UTF-8, by a route of its own: every sequence decodes to a scalar value in its
// shortest form.
bool valid_utf8(const std::string& text)
{
    for (size_t at = 0; at < text.size();) {
        unsigned char lead = text[at];
        size_t length = lead < 0x80 ? 1
            : lead >> 5 == 6        ? 2
            : lead >> 4 == 14       ? 3
            : lead >> 3 == 30       ? 4
                                    : 0;
        if (length == 0 || text.size() - at < length)
            return false;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t i = 1; i < length; ++i) {
            unsigned char next = text[at + i];
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        const uint32_t least[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        at += length;
    }
    return true;
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
    SongFrames frames;
    find_song_frames(
        [&](size_t offset, size_t length) {
            check(length <= kMaxId3v2TagSize, "read length");
            if (offset >= input.size())
                return std::string_view();
            reachedEnd = std::max(reachedEnd, std::min(offset + length, input.size()));
            return std::string_view(input).substr(offset, length);
        },
        &frames);
    check(reachedEnd <= announced, "reads within the tag");

    std::string body;
    for (size_t i = 0; i < kKeptFrameCount; ++i) {
        const std::string& frame = frames.data[i];
        if (frame.empty())
            continue;
        check(frame.size() >= 2 && frame.size() <= kMaxKeptFrameSize, "frame size");
        std::string text = "stale";
        if (std::string_view(kKeptFrameIds[i]) == "COMM")
            decode_comment_frame(frame, &text);
        else
            decode_text_frame(frame, &text);
        check(valid_utf8(text), "valid UTF-8");
        check(text.find('\0') == std::string::npos, "no NUL");
        check(text.size() <= 3 * frame.size(), "bounded");
        body += kKeptFrameIds[i] + syncsafe(frame.size()) + std::string(2, '\0') + frame;
    }
    if (body.empty())
        return 0;
    const std::string fresh = std::string("ID3\x04\0\0", 6) + syncsafe(body.size()) + body;
    SongFrames again;
    find_song_frames(
        [&](size_t offset, size_t length) {
            return offset < fresh.size() ? std::string_view(fresh).substr(offset, length)
                                         : std::string_view();
        },
        &again);
    check(again.data == frames.data, "the kept frames walk to themselves");
    return 0;
}
