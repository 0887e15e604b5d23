// platform/storage/Id3v2Frames.h: our own walk over an ID3v2 tag's frame headers, which keeps the
// few frames the song attributes use and builds a fresh small tag of them for TagLib to decode.
// Private to platform/.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// A tag whose header claims more than this is refused unread.
constexpr size_t kMaxId3v2TagSize = 16u * 1024 * 1024;
// A kept frame's data (after its format flags are undone) is at most this long.
constexpr size_t kMaxKeptFrameSize = 64u * 1024;
// The frames a fresh tag holds, in this order, each at most once.
constexpr const char* kKeptFrameIds[] = { "TIT2", "TPE1", "TALB", "TDRC", "COMM", "TRCK" };

// Reads up to length bytes at offset from the start of the tag (its 10-byte header included);
// fewer where the file ends.
using TagReader = std::function<std::string(size_t offset, size_t length)>;

// Walks the frame headers of the ID3v2.2, 2.3 or 2.4 tag that read delivers and returns a fresh
// ID3v2.4 tag (no flags, no unsynchronisation, no padding) holding for each kept frame the first
// usable one the walk meets: TIT2/TT2, TPE1/TP1, TALB/TAL, COMM/COM with an empty description,
// and as TDRC the first TDRC or, failing that, the first TYER/TYE. A frame is usable when it
// holds more than its encoding byte, is neither compressed nor encrypted, and fits in
// kMaxKeptFrameSize. Every other frame is passed over by its size; the walk ends at padding, at
// an invalid frame ID, and at a frame whose size runs past the tag. Empty when the header is not
// a valid ID3v2 header, claims more than kMaxId3v2TagSize, or no frame is kept.
std::string keep_song_frames(const TagReader& read);
// The same for a tag held in memory.
std::string keep_song_frames(const std::string& tag);
