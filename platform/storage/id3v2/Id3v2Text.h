// platform/storage/id3v2/Id3v2Text.h: the texts of ID3v2 text and comment frames in UTF-8, decoded
// from the frame's encoding byte as TagLib decodes them, without a TagLib frame or string per text.
// Private to platform/.
#pragma once

#include <string>
#include <string_view>

// A text frame's first value that is not empty: body is the frame's data, encoding byte first
// (0 ISO-8859-1, 1 UTF-16 with a byte-order mark, 2 UTF-16BE, 3 UTF-8). The value ends at its
// first NUL. Replaces out; empty where there is no such value, where the encoding is unknown, or
// where the text is not valid in its encoding (a UTF-16 value without its byte-order mark,
// invalid UTF-8, an unpaired surrogate).
void decode_text_frame(std::string_view body, std::string* out);

// The text of a comment frame (encoding, language, description, text), by the same rules; the
// description is not looked at.
void decode_comment_frame(std::string_view body, std::string* out);
