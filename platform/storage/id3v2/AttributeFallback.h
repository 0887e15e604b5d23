// platform/storage/id3v2/AttributeFallback.h: attribute values for files that store no xattr: song
// texts from the ID3v2 tag and the type from the shared MIME database. Private to platform/.
#pragma once

#include "platform/storage/id3v2/Id3v2Frames.h"

#include <sys/stat.h>

#include <optional>
#include <string>

// The texts of an ID3v2 tag in UTF-8; a frame that is missing or empty stays empty. A frame
// holding several values gives its first.
struct SongTexts {
    std::optional<std::string> title; // TIT2
    std::optional<std::string> artist; // TPE1
    std::optional<std::string> album; // TALB
    std::optional<std::string> year; // the year of TDRC, or of TYER where there is no TDRC
    std::optional<std::string> comment; // COMM with an empty description
    std::optional<std::string> track; // TRCK
};

// A node as its fallbacks see it: its state when it was opened, its path, a readable
// descriptor of it (or -1, where a fallback opens the path itself if it is a regular file), and
// its first bytes, read once by whichever fallback needs them first.
struct FallbackSource {
    struct stat st;
    std::string path;
    int fd = -1;
    std::optional<std::string> head;
};

// Reads the ID3v2 tag at the start of a regular file. Files that are not regular are never
// opened. A file without a tag, or whose tag header is invalid or claims more than
// kMaxId3v2TagSize bytes, gives no texts. Only the frames find_song_frames keeps are decoded.
SongTexts read_id3v2_texts(FallbackSource& source);

// The type of a file: "inode/..." for a file that is not regular (never opened); for a regular
// file the MIME database's match on its name and first bytes, with MPEG audio as
// "audio/x-mpeg". Nothing for the database's default type. Never throws.
std::optional<std::string> content_type(FallbackSource& source);
