// platform/support/Utf8.cpp: strict UTF-8 checks and the ISO-8859-1 reading of other bytes.
#include "platform/support/Utf8.h"

size_t utf8_character_length(std::string_view text)
{
    if (text.empty())
        return 0;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length;
    // The range of the second byte excludes overlong forms, surrogates and values past U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (size_t i = 2; i < length; i++)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    return length;
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
