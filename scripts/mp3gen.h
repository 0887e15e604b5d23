// scripts/mp3gen.h: builds small valid MP3 files: silent MPEG audio frames, ID3v1 and ID3v2 tags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mp3gen
{

// count silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz, 417 bytes each).
std::string silent_frames(int count);

// A 128-byte ID3v1 image; texts are cut to their field and padded with NUL bytes.
struct Id3v1 {
    std::string title, artist, album, year, comment;
    uint8_t genre = 255;
};
std::string id3v1(const Id3v1& tag);

// An ID3v2 frame: a text frame (TIT2, TPE1, TALB, TYER, TDRC, ...) or "COMM" (language "eng",
// empty description). text is UTF-8; it is stored in the frame's encoding.
struct Frame {
    enum Encoding : uint8_t { Latin1 = 0, Utf16 = 1, Utf8 = 3 };
    std::string id;
    std::string text;
    Encoding encoding = Latin1;
};
// An ID3v2.3 or ID3v2.4 tag holding frames.
std::string id3v2(int version, const std::vector<Frame>& frames);
// The body of the frame as id3v2 writes it.
std::string frame_body(const Frame& frame);

// A frame written as given: any id (three letters in ID3v2.2), the two format flag bytes of
// ID3v2.3/2.4, any body, damaged or not.
struct RawFrame {
    std::string id;
    std::string body;
    uint16_t flags = 0;
};
// An ID3v2.2, 2.3 or 2.4 tag of raw frames, with the header flags given and extended (size
// field included) before the frames. With flag 0x80 an ID3v2.2/2.3 tag is unsynchronised after
// its header; in ID3v2.4 so is each frame with format flag 0x02. plainSizes writes ID3v2.4 frame
// sizes as plain integers, as some writers did.
std::string id3v2_raw(int version, const std::vector<RawFrame>& frames, uint8_t flags = 0,
    const std::string& extended = "", bool plainSizes = false);
// A CHAP frame holding a CHAP frame, and so on depth deep; each has the element ID "c".
RawFrame nested_chapters(int version, int depth);
// value as a 4-byte syncsafe integer.
std::string syncsafe(uint32_t value);
// bytes compressed with zlib, as a compressed frame holds them; empty on failure.
std::string deflated(const std::string& bytes);

// Writes bytes to path, replacing it; false on failure.
bool write_file(const std::string& path, const std::string& bytes);
// Sets the extended attribute user.NAME to value, stored without a NUL; false on failure.
bool set_attribute(const std::string& path, const std::string& name, const std::string& value);

} // namespace mp3gen
