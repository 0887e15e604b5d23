// platform/support/Utf8.h: strict UTF-8 checks and the ISO-8859-1 reading of other bytes.
#pragma once

#include <string>
#include <string_view>

// Whether text is strictly valid UTF-8: no stray continuation bytes, no overlong forms, no
// UTF-16 surrogates (U+D800..U+DFFF) and nothing past U+10FFFF. The empty text is valid.
bool is_strict_utf8(std::string_view text);

// The byte length of the strictly valid UTF-8 character that starts text, or 0 where none
// does (text is empty, or its first bytes are not such a character).
size_t utf8_character_length(std::string_view text);

// text as it stands where it is strictly valid UTF-8; otherwise its bytes read as ISO-8859-1
// and written as UTF-8 (each byte is the code point of the same value).
std::string utf8_or_latin1(std::string_view text);
