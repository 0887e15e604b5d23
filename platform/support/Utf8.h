// platform/support/Utf8.h: strict UTF-8 checks and the Windows-1252 reading of other bytes.
#pragma once

#include <string>
#include <string_view>

// Whether text is strictly valid UTF-8: no stray continuation bytes, no overlong forms, no
// UTF-16 surrogates (U+D800..U+DFFF) and nothing past U+10FFFF. The empty text is valid.
bool is_strict_utf8(std::string_view text);

// The byte length of the strictly valid UTF-8 character that starts text, or 0 where none
// does (text is empty, or its first bytes are not such a character).
size_t utf8_character_length(std::string_view text);

// The code point of the strictly valid UTF-8 character that fills text (one that
// utf8_character_length measured); the bytes are not checked again.
char32_t decode_utf8(std::string_view text);

// An ID3v1 text field as UTF-8, given the field's length: text as it stands where it is strictly
// valid UTF-8. A text that fills its field, is valid UTF-8 up to an incomplete character at its
// very end and holds a complete multi-byte character before it was UTF-8 cut by its writer: it
// is read without that tail. Any other text is read as Windows-1252 (ISO-8859-1 with printable
// characters at 0x80-0x9F; the five bytes Windows leaves undefined are dropped).
std::string utf8_of_id3v1(std::string_view text, size_t field);
