// platform/support/Utf8.cpp: strict UTF-8 checks and the Windows-1252 reading of other bytes.
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

// Windows-1252 at 0x80-0x9F, as code points; 0 where Windows defines nothing.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, // 0x88
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178, // 0x98
};

void append_utf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Whether text is the start of a well-formed multi-byte character that ends too soon.
bool is_cut_character(std::string_view text)
{
    if (text.empty())
        return false;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (const Lead& lead : kLeads) {
        if (byte(0) < lead.first || byte(0) > lead.last)
            continue;
        if (text.size() >= lead.length
            || (text.size() > 1 && (byte(1) < lead.low || byte(1) > lead.high)))
            return false;
        for (size_t i = 2; i < text.size(); i++)
            if ((byte(i) & 0xC0) != 0x80)
                return false;
        return true;
    }
    return false;
}

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

std::string utf8_of_id3v1(std::string_view text, size_t field)
{
    size_t valid = 0;
    bool multiByte = false;
    while (valid < text.size()) {
        size_t length = utf8_character_length(text.substr(valid));
        if (length == 0)
            break;
        multiByte = multiByte || length > 1;
        valid += length;
    }
    if (valid == text.size())
        return std::string(text);
    if (text.size() == field && multiByte && is_cut_character(text.substr(valid)))
        return std::string(text.substr(0, valid));

    std::string converted;
    converted.reserve(text.size() * 3);
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0) {
            if (char16_t code = kWindows1252[byte - 0x80])
                append_utf8(converted, code);
        } else {
            append_utf8(converted, byte);
        }
    }
    return converted;
}

char32_t decode_utf8(std::string_view text)
{
    const auto byte
        = [&](size_t at) { return static_cast<char32_t>(static_cast<unsigned char>(text[at])); };
    switch (text.size()) {
    case 1:
        return byte(0);
    case 2:
        return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
    case 3:
        return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
    default:
        return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6
            | (byte(3) & 0x3F);
    }
}
