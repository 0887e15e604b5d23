// platform/support/Utf8.cpp: strict UTF-8 checks and the ISO-8859-1 reading of other bytes.
#include "platform/support/Utf8.h"

namespace
{

// The lead bytes of multi-byte characters, with the range their second byte must fall in: the
// table of well-formed UTF-8, which leaves out overlong forms, UTF-16 surrogates and code
// points past U+10FFFF.
struct Lead {
    unsigned char first, last;
    size_t length;
    unsigned char low, high;
};
constexpr Lead kLeads[] = {
    { 0xC2, 0xDF, 2, 0x80, 0xBF },
    { 0xE0, 0xE0, 3, 0xA0, 0xBF },
    { 0xE1, 0xEC, 3, 0x80, 0xBF },
    { 0xED, 0xED, 3, 0x80, 0x9F },
    { 0xEE, 0xEF, 3, 0x80, 0xBF },
    { 0xF0, 0xF0, 4, 0x90, 0xBF },
    { 0xF1, 0xF3, 4, 0x80, 0xBF },
    { 0xF4, 0xF4, 4, 0x80, 0x8F },
};

} // namespace

size_t utf8_character_length(std::string_view text)
{
    if (text.empty())
        return 0;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(0) < 0x80)
        return 1;
    for (const Lead& lead : kLeads) {
        if (byte(0) < lead.first || byte(0) > lead.last)
            continue;
        if (text.size() < lead.length || byte(1) < lead.low || byte(1) > lead.high)
            return 0;
        for (size_t i = 2; i < lead.length; i++)
            if ((byte(i) & 0xC0) != 0x80)
                return 0;
        return lead.length;
    }
    return 0;
}

bool is_strict_utf8(std::string_view text)
{
    while (!text.empty()) {
        size_t length = utf8_character_length(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string utf8_or_latin1(std::string_view text)
{
    if (is_strict_utf8(text))
        return std::string(text);
    std::string converted;
    converted.reserve(text.size() * 2);
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            converted += c;
        } else {
            converted += static_cast<char>(0xC0 | (byte >> 6));
            converted += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return converted;
}
