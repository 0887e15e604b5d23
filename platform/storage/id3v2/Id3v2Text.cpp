// platform/storage/id3v2/Id3v2Text.cpp: decoding ID3v2 frame texts into UTF-8, written into the
// caller's string so that a short text costs no allocation.
#include "platform/storage/id3v2/Id3v2Text.h"

#include <cstdint>

namespace
{

enum Encoding : unsigned char { kLatin1 = 0, kUtf16 = 1, kUtf16BigEndian = 2, kUtf8 = 3 };

// Values are separated by one NUL in single-byte encodings and two in UTF-16.
size_t unit_of(unsigned char encoding)
{
    return encoding == kUtf16 || encoding == kUtf16BigEndian ? 2 : 1;
}

// The first separator at an offset that is a multiple of its size, or npos.
size_t find_separator(std::string_view bytes, size_t unit)
{
    for (size_t at = 0; at + unit <= bytes.size(); at += unit)
        if (bytes[at] == '\0' && (unit == 1 || bytes[at + 1] == '\0'))
            return at;
    return std::string_view::npos;
}

void append_utf8(uint32_t code, std::string* out)
{
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// True when bytes are strictly valid UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no sequence cut short.
bool valid_utf8(std::string_view bytes)
{
    size_t at = 0;
    while (at < bytes.size()) {
        unsigned char lead = bytes[at];
        size_t length;
        unsigned char low = 0x80, high = 0xBF; // the range of the second byte
        if (lead < 0x80) {
            ++at;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (bytes.size() - at < length)
            return false;
        unsigned char second = bytes[at + 1];
        if (second < low || second > high)
            return false;
        for (size_t i = 2; i < length; ++i)
            if ((static_cast<unsigned char>(bytes[at + i]) & 0xC0) != 0x80)
                return false;
        at += length;
    }
    return true;
}

// One value in its encoding, up to its first NUL, into out (emptied first). A UTF-16 value
// without a byte-order mark, invalid UTF-8 anywhere in the value, or an unpaired surrogate
// before the NUL leaves it empty: TagLib refuses such a text whole.
void decode_value(unsigned char encoding, std::string_view bytes, std::string* out)
{
    out->clear();
    if (encoding == kLatin1) {
        for (char byte : bytes) {
            if (byte == '\0')
                break;
            append_utf8(static_cast<unsigned char>(byte), out);
        }
        return;
    }
    if (encoding == kUtf8) {
        if (valid_utf8(bytes))
            out->assign(bytes.substr(0, bytes.find('\0')));
        return;
    }
    bool bigEndian = encoding == kUtf16BigEndian;
    if (encoding == kUtf16) {
        if (bytes.size() < 2)
            return;
        if (bytes.substr(0, 2) == "\xFE\xFF")
            bigEndian = true;
        else if (bytes.substr(0, 2) != "\xFF\xFE")
            return;
        bytes.remove_prefix(2);
    }
    const size_t units = bytes.size() / 2; // an odd last byte is no unit
    auto unit = [&](size_t i) -> uint32_t {
        unsigned char first = bytes[2 * i], second = bytes[2 * i + 1];
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t code = unit(i);
        if (code == 0)
            break;
        if (code >= 0xDC00 && code <= 0xDFFF) {
            out->clear();
            return;
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t trail = i + 1 < units ? unit(i + 1) : 0;
            if (trail < 0xDC00 || trail > 0xDFFF) {
                out->clear();
                return;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (trail - 0xDC00);
            ++i;
        }
        append_utf8(code, out);
    }
}

} // namespace

void decode_text_frame(std::string_view body, std::string* out)
{
    out->clear();
    if (body.size() < 2 || static_cast<unsigned char>(body[0]) > kUtf8)
        return;
    const unsigned char encoding = body[0];
    const size_t unit = unit_of(encoding);
    // NULs at the end are padding, not an empty last value; the rest is cut to whole units,
    // rounding up, as TagLib does.
    size_t length = body.size() - 1;
    while (length > 0 && body[length] == '\0')
        --length;
    length += length % unit;
    std::string_view values = body.substr(1, length);
    // The first value that holds any bytes.
    while (!values.empty()) {
        size_t separator = find_separator(values, unit);
        std::string_view value = values.substr(0, separator);
        if (!value.empty()) {
            decode_value(encoding, value, out);
            return;
        }
        values.remove_prefix(separator + unit);
    }
}

void decode_comment_frame(std::string_view body, std::string* out)
{
    out->clear();
    if (body.size() < 5 || static_cast<unsigned char>(body[0]) > kUtf8)
        return;
    const unsigned char encoding = body[0];
    const size_t unit = unit_of(encoding);
    std::string_view rest = body.substr(4); // after the encoding and the language
    size_t separator = find_separator(rest, unit);
    if (separator == std::string_view::npos || separator + unit >= rest.size())
        return;
    decode_value(encoding, rest.substr(separator + unit), out);
}
