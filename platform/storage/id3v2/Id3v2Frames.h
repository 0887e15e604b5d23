// platform/storage/id3v2/Id3v2Frames.h: our own walk over an ID3v2 tag's frame headers, which finds
// the few frames the song attributes use and hands over their data. Private to platform/.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// A tag whose header claims more than this is refused unread.
constexpr size_t kMaxId3v2TagSize = 16u * 1024 * 1024;
// A kept frame's data (after its format flags are undone) is at most this long.
constexpr size_t kMaxKeptFrameSize = 64u * 1024;
// The frames kept, in the order of SongFrames::data; TDRC stands for the year in any version.
constexpr const char* kKeptFrameIds[] = { "TIT2", "TPE1", "TALB", "TDRC", "COMM", "TRCK" };
constexpr size_t kKeptFrameCount = std::size(kKeptFrameIds);

// The data of each kept frame, its format flags undone (encoding byte first), or empty where
// the tag has none. The strings keep their storage from one walk to the next.
struct SongFrames {
    std::array<std::string, kKeptFrameCount> data;
};

// Reads up to length bytes at offset from the start of the tag (its 10-byte header included);
// fewer where the file ends. The bytes stay valid until the next read.
using TagReader = std::function<std::string_view(size_t offset, size_t length)>;

// Walks the frame headers of the ID3v2.2, 2.3 or 2.4 tag that read delivers and keeps, for each
// kept frame, the first usable one the walk meets: TIT2/TT2, TPE1/TP1, TALB/TAL, COMM/COM with
// an empty description, TRCK/TRK, and as TDRC the first TDRC or, failing that, the first
// TYER/TYE. A frame is usable when it holds more than its encoding byte, is neither compressed
// nor encrypted, and fits in kMaxKeptFrameSize. Every other frame is passed over by its size; the
// walk ends at padding, at an invalid frame ID, and at a frame whose size runs past the tag.
// Every frame stays empty when the header is not a valid ID3v2 header or claims more than
// kMaxId3v2TagSize.
void find_song_frames(const TagReader& read, SongFrames* frames);
