// scripts/mp3gen.cpp: byte builders for MP3 files used by the demo set, tests and benchmarks.
#include "scripts/mp3gen.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zlib.h>

namespace mp3gen
{

namespace
{

const size_t kFrameSize = 417;

void put_field(std::string& image, size_t at, size_t length, const std::string& text)
{
    image.replace(at, length,
        text.substr(0, length) + std::string(length - std::min(length, text.size()), '\0'));
}

// UTF-8 to UTF-16LE for the Basic Multilingual Plane; other code points become U+FFFD.
std::string utf16le(const std::string& utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80)
            cp = c;
        else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size())
            cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F), n = 2;
        else if ((c & 0xF0) == 0xE0 && i + 2 < utf8.size())
            cp = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F), n = 3;
        else if ((c & 0xF8) == 0xF0)
            n = 4;
        i += n;
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
    }
    return out;
}

// UTF-8 to Latin-1; code points above U+00FF become "?".
std::string latin1(const std::string& utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            i += 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            unsigned cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
            i += 2;
        } else {
            out += '?';
            i += (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        }
    }
    return out;
}

std::string encoded(const std::string& text, Frame::Encoding encoding, bool terminated)
{
    switch (encoding) {
    case Frame::Utf16:
        return std::string("\xFF\xFE", 2) + utf16le(text)
            + (terminated ? std::string(2, '\0') : "");
    case Frame::Utf8:
        return text + (terminated ? std::string(1, '\0') : "");
    case Frame::Latin1:
        break;
    }
    return latin1(text) + (terminated ? std::string(1, '\0') : "");
}

std::string big_endian(uint32_t value, bool syncsafe)
{
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<char>(syncsafe ? value & 0x7F : value & 0xFF);
        value >>= syncsafe ? 7 : 8;
    }
    return out;
}

// Unsynchronisation: a 0x00 after every 0xFF that precedes 0x00, a byte of 0xE0 or more, or
// the end.
std::string unsynchronised(const std::string& bytes)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (bytes[i] == '\xFF'
            && (i + 1 == bytes.size() || static_cast<unsigned char>(bytes[i + 1]) >= 0xE0
                || bytes[i + 1] == '\0'))
            out += '\0';
    }
    return out;
}

} // namespace

std::string silent_frames(int count)
{
    std::string frame(kFrameSize, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    frame[3] = '\xC4'; // mono: the side information is all zeros, which decodes as silence
    std::string out;
    out.reserve(kFrameSize * count);
    for (int i = 0; i < count; ++i)
        out += frame;
    return out;
}

std::string id3v1(const Id3v1& tag)
{
    std::string image(128, '\0');
    image.replace(0, 3, "TAG");
    put_field(image, 3, 30, tag.title);
    put_field(image, 33, 30, tag.artist);
    put_field(image, 63, 30, tag.album);
    put_field(image, 93, 4, tag.year);
    put_field(image, 97, 30, tag.comment);
    image[127] = static_cast<char>(tag.genre);
    return image;
}

std::string frame_body(const Frame& frame)
{
    std::string content(1, static_cast<char>(frame.encoding));
    if (frame.id == "COMM" || frame.id == "COM")
        return content + "eng" + encoded("", frame.encoding, true)
            + encoded(frame.text, frame.encoding, false);
    return content + encoded(frame.text, frame.encoding, false);
}

std::string id3v2(int version, const std::vector<Frame>& frames)
{
    std::vector<RawFrame> raw;
    for (const Frame& frame : frames)
        raw.push_back({ frame.id.substr(0, 4), frame_body(frame) });
    return id3v2_raw(version, raw);
}

std::string id3v2_raw(int version, const std::vector<RawFrame>& frames, uint8_t flags,
    const std::string& extended, bool plainSizes)
{
    std::string body = extended;
    for (const RawFrame& frame : frames) {
        std::string content
            = version == 4 && (frame.flags & 0x02) ? unsynchronised(frame.body) : frame.body;
        if (version == 2) {
            body += frame.id + big_endian(content.size(), false).substr(1) + content;
            continue;
        }
        body += frame.id + big_endian(content.size(), version == 4 && !plainSizes)
            + static_cast<char>(frame.flags >> 8) + static_cast<char>(frame.flags & 0xFF) + content;
    }
    if (version < 4 && (flags & 0x80))
        body = unsynchronised(body);
    return std::string("ID3") + static_cast<char>(version) + '\0' + static_cast<char>(flags)
        + big_endian(body.size(), true) + body;
}

RawFrame nested_chapters(int version, int depth)
{
    // Each level: its header, "c\0" and four 4-byte times, then the next level.
    const size_t kLevel = 10 + 18;
    std::string body;
    body.reserve(kLevel * depth);
    for (int level = 0; level < depth; ++level) {
        if (level > 0) {
            size_t size = 18 + (depth - 1 - level) * kLevel;
            body += "CHAP" + big_endian(size, version == 4) + std::string(2, '\0');
        }
        body += std::string("c\0", 2) + std::string(16, '\0');
    }
    return { "CHAP", body };
}

std::string syncsafe(uint32_t value)
{
    return big_endian(value, true);
}

std::string deflated(const std::string& bytes)
{
    uLongf size = compressBound(bytes.size());
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(bytes.data()), bytes.size(), 9)
        != Z_OK)
        return std::string();
    out.resize(size);
    return out;
}

bool write_file(const std::string& path, const std::string& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

bool set_attribute(const std::string& path, const std::string& name, const std::string& value)
{
    return ::setxattr(path.c_str(), ("user." + name).c_str(), value.data(), value.size(), 0) == 0;
}

} // namespace mp3gen
