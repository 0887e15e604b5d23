// platform/storage/Id3v2Frames.cpp: the frame walk. It reads only frame headers and the bodies of
// the frames it keeps, so a large picture or a deep chapter tree costs one skip, and TagLib never
// sees a compressed, encrypted or nested frame.
#include "platform/storage/Id3v2Frames.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace
{

const size_t kHeaderSize = 10;

// Where each kept frame goes; kYearFallback (TYER, TYE) stands in for a missing TDRC.
enum Slot { kTitle, kArtist, kAlbum, kYear, kComment, kTrack, kYearFallback, kSlotCount };

std::optional<Slot> slot_of(int major, const std::string& id)
{
    static const struct {
        const char* id;
        const char* v22;
        Slot slot;
    } kSlots[] = {
        { "TIT2", "TT2", kTitle },
        { "TPE1", "TP1", kArtist },
        { "TALB", "TAL", kAlbum },
        { "TDRC", nullptr, kYear },
        { "COMM", "COM", kComment },
        { "TRCK", "TRK", kTrack },
        { "TYER", "TYE", kYearFallback },
    };
    for (const auto& s : kSlots) {
        const char* wanted = major == 2 ? s.v22 : s.id;
        if (wanted != nullptr && id == wanted)
            return s.slot;
    }
    return std::nullopt;
}

uint32_t big_endian(const std::string& bytes, size_t at, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// A syncsafe integer (7 bits a byte), or nothing when a byte has its top bit set.
std::optional<uint32_t> syncsafe(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        unsigned char byte = bytes[at + i];
        if (byte & 0x80)
            return std::nullopt;
        value = (value << 7) | byte;
    }
    return value;
}

std::string syncsafe_bytes(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 7)
        out[i] = static_cast<char>(value & 0x7F);
    return out;
}

// Undoes unsynchronisation: every 0xFF 0x00 becomes 0xFF.
std::string resynchronised(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (bytes[i] == '\xFF' && i + 1 < bytes.size() && bytes[i + 1] == '\0')
            ++i;
    }
    return out;
}

bool valid_id(const std::string& id)
{
    for (char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return !id.empty();
}

// True when a comment frame's description is empty: its terminator follows the language.
bool undescribed_comment(const std::string& body)
{
    if (body.size() < 5)
        return false;
    unsigned char encoding = body[0];
    if (encoding == 0 || encoding == 3)
        return body[4] == '\0' && body.size() > 5;
    size_t at = 4;
    // UTF-16 with a byte order mark before the empty text.
    if (body.compare(at, 2, "\xFF\xFE", 2) == 0 || body.compare(at, 2, "\xFE\xFF", 2) == 0)
        at += 2;
    return body.compare(at, 2, std::string(2, '\0')) == 0 && body.size() > at + 2;
}

// The walk over one tag: the frames lie in [0, end) of fetch's bytes.
class Walk
{
public:
    Walk(int major, bool unsynchronised, std::function<std::string(size_t, size_t)> fetch,
        size_t end)
        : fMajor(major)
        , fUnsynchronised(unsynchronised)
        , fFetch(std::move(fetch))
        , fEnd(end)
    {
    }

    std::array<std::string, kSlotCount> Frames(size_t pos)
    {
        const size_t headerSize = fMajor == 2 ? 6 : 10;
        while (pos + headerSize <= fEnd) {
            std::string header = fFetch(pos, headerSize);
            if (header.size() < headerSize || header[0] == '\0') // padding
                break;
            std::string id = header.substr(0, fMajor == 2 ? 3 : 4);
            if (!valid_id(id))
                break;
            size_t start = pos + headerSize;
            std::optional<size_t> size = FrameSize(header, start);
            if (!size || *size > fEnd - start)
                break;
            std::optional<Slot> slot = slot_of(fMajor, id);
            if (slot && fFrames[*slot].empty())
                fFrames[*slot] = Body(header, start, *size, *slot);
            pos = start + *size;
        }
        return fFrames;
    }

private:
    // The frame's size. ID3v2.4 sizes are syncsafe, but some writers stored plain ones there:
    // the plain reading is taken only where the syncsafe one does not lead to a next frame, the
    // padding or the end, and the plain one leads to a frame header or the end.
    std::optional<size_t> FrameSize(const std::string& header, size_t start)
    {
        if (fMajor == 2)
            return big_endian(header, 3, 3);
        uint32_t plain = big_endian(header, 4, 4);
        if (fMajor == 3)
            return plain;
        std::optional<uint32_t> safe = syncsafe(header, 4);
        if (safe && *safe == plain)
            return plain;
        if (safe && LeadsOn(start + *safe, true))
            return *safe;
        if (LeadsOn(start + plain, false))
            return plain;
        return safe;
    }

    bool LeadsOn(size_t next, bool paddingCounts)
    {
        if (next == fEnd)
            return true;
        if (next > fEnd || fEnd - next < 4)
            return false;
        std::string id = fFetch(next, 4);
        if (id.size() < 4)
            return false;
        if (paddingCounts && id[0] == '\0')
            return true;
        return fEnd - next >= kHeaderSize && valid_id(id);
    }

    // The frame's data with its format flags undone, or empty when the frame is not usable.
    std::string Body(const std::string& header, size_t start, size_t size, Slot slot)
    {
        unsigned char format = fMajor == 2 ? 0 : header[9];
        bool compressed, encrypted, grouped, unsynchronised = false, lengthIndicated = false;
        if (fMajor == 3) {
            compressed = format & 0x80;
            encrypted = format & 0x40;
            grouped = format & 0x20;
        } else {
            grouped = format & 0x40;
            compressed = format & 0x08;
            encrypted = format & 0x04;
            unsynchronised = (format & 0x02) || (fMajor == 4 && fUnsynchronised);
            lengthIndicated = format & 0x01;
        }
        // Unsynchronisation at most halves the data, and 5 bytes of extras may precede it.
        if (compressed || encrypted || size > 2 * kMaxKeptFrameSize + 5)
            return std::string();
        std::string body = fFetch(start, size);
        if (body.size() < size)
            return std::string();
        if (unsynchronised)
            body = resynchronised(body);
        size_t extras = (grouped ? 1 : 0) + (lengthIndicated ? 4 : 0);
        if (body.size() < extras)
            return std::string();
        body.erase(0, extras);
        if (body.size() > kMaxKeptFrameSize || body.size() < 2)
            return std::string();
        if (slot == kComment && !undescribed_comment(body))
            return std::string();
        return body;
    }

    const int fMajor;
    const bool fUnsynchronised;
    const std::function<std::string(size_t, size_t)> fFetch;
    const size_t fEnd;
    std::array<std::string, kSlotCount> fFrames;
};

} // namespace

std::string keep_song_frames(const TagReader& read)
{
    std::string header = read(0, kHeaderSize);
    if (header.size() < kHeaderSize || header.compare(0, 3, "ID3") != 0)
        return std::string();
    int major = static_cast<unsigned char>(header[3]);
    unsigned char revision = header[4], flags = header[5];
    std::optional<uint32_t> size = syncsafe(header, 6);
    if (major < 2 || major > 4 || revision == 0xFF || !size || *size > kMaxId3v2TagSize)
        return std::string();
    if (major == 2 && (flags & 0x40)) // ID3v2.2 compression has no defined scheme
        return std::string();

    // In ID3v2.2 and 2.3 unsynchronisation covers the whole tag after its header, extended
    // header included; it is undone first. In 2.4 it is per frame.
    bool unsynchronised = flags & 0x80;
    std::string resynced;
    std::function<std::string(size_t, size_t)> fetch;
    size_t end = *size;
    if (unsynchronised && major < 4) {
        resynced = resynchronised(read(kHeaderSize, *size));
        end = resynced.size();
        fetch = [&resynced](size_t at, size_t length) {
            return at < resynced.size() ? resynced.substr(at, length) : std::string();
        };
    } else {
        fetch = [&read](size_t at, size_t length) { return read(kHeaderSize + at, length); };
    }

    // Some writers set the extended-header flag with the frames right after the header. An
    // extended header whose size runs past the tag, or whose bytes are a frame ID, is taken
    // to be absent, and the walk starts at the first frame.
    size_t pos = 0;
    if (major >= 3 && (flags & 0x40)) {
        std::string extended = end >= 4 ? fetch(0, 4) : std::string();
        if (extended.size() < 4)
            return std::string();
        if (major == 3) {
            pos = 4 + static_cast<size_t>(big_endian(extended, 0, 4)); // the size excludes itself
        } else {
            std::optional<uint32_t> length = syncsafe(extended, 0); // includes itself
            pos = length && *length >= 6 ? *length : end + 1;
        }
        if (pos > end || valid_id(extended))
            pos = 0;
    }

    std::array<std::string, kSlotCount> frames
        = Walk(major, unsynchronised, fetch, end).Frames(pos);
    if (frames[kYear].empty())
        frames[kYear] = std::move(frames[kYearFallback]);
    std::string out;
    for (int slot = kTitle; slot <= kTrack; ++slot) {
        const std::string& body = frames[slot];
        if (!body.empty())
            out += kKeptFrameIds[slot] + syncsafe_bytes(body.size()) + std::string(2, '\0') + body;
    }
    if (out.empty())
        return out;
    return std::string("ID3\x04\0\0", 6) + syncsafe_bytes(out.size()) + out;
}

std::string keep_song_frames(const std::string& tag)
{
    return keep_song_frames([&tag](size_t at, size_t length) {
        return at < tag.size() ? tag.substr(at, length) : std::string();
    });
}
