// platform/storage/id3v2/Id3v2Frames.cpp: the frame walk. It reads only frame headers and the
// bodies of the frames it keeps, so a large picture or a deep chapter tree costs one skip, and a
// compressed, encrypted or nested frame is never decoded.
#include "platform/storage/id3v2/Id3v2Frames.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace
{

const size_t kHeaderSize = 10;

// Where each kept frame goes, in the order of kKeptFrameIds; kYearFallback (TYER, TYE) fills
// kYear until a TDRC comes.
enum Slot { kTitle, kArtist, kAlbum, kYear, kComment, kTrack, kYearFallback };

std::optional<Slot> slot_of(int major, std::string_view id)
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

uint32_t big_endian(std::string_view bytes, size_t at, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// A syncsafe integer (7 bits a byte), or nothing when a byte has its top bit set.
std::optional<uint32_t> syncsafe(std::string_view bytes, size_t at)
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

// Undoes unsynchronisation: every 0xFF 0x00 becomes 0xFF.
std::string resynchronised(std::string_view bytes)
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

bool valid_id(std::string_view id)
{
    for (char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return !id.empty();
}

// True when a comment frame's description is empty: its terminator follows the language.
bool undescribed_comment(std::string_view body)
{
    if (body.size() < 5)
        return false;
    unsigned char encoding = body[0];
    if (encoding == 0 || encoding == 3)
        return body[4] == '\0' && body.size() > 5;
    size_t at = 4;
    // UTF-16 with a byte order mark before the empty text; in UTF-16BE, which has none, those
    // bytes are a character.
    if (encoding == 1 && (body.substr(at, 2) == "\xFF\xFE" || body.substr(at, 2) == "\xFE\xFF"))
        at += 2;
    return body.substr(at, 2) == std::string_view("\0\0", 2) && body.size() > at + 2;
}

// The walk over one tag: the frames lie in [0, end) of fetch's bytes.
class Walk
{
public:
    Walk(int major, bool unsynchronised, const TagReader& fetch, size_t end, SongFrames* frames)
        : fMajor(major)
        , fUnsynchronised(unsynchronised)
        , fFetch(fetch)
        , fEnd(end)
        , fFrames(*frames)
    {
    }

    void Run(size_t pos)
    {
        const size_t headerSize = fMajor == 2 ? 6 : 10;
        bool yearFromFallback = false;
        while (pos + headerSize <= fEnd) {
            // Copied: a later fetch may end the view.
            std::array<char, 10> bytes {};
            std::string_view fetched = fFetch(pos, headerSize);
            if (fetched.size() < headerSize || fetched[0] == '\0') // padding
                break;
            fetched.copy(bytes.data(), headerSize);
            const std::string_view header(bytes.data(), headerSize);
            const std::string_view id = header.substr(0, fMajor == 2 ? 3 : 4);
            if (!valid_id(id))
                break;
            size_t start = pos + headerSize;
            std::optional<size_t> size = FrameSize(header, start);
            if (!size || *size > fEnd - start)
                break;
            if (std::optional<Slot> slot = slot_of(fMajor, id)) {
                if (*slot == kYearFallback) {
                    if (fFrames.data[kYear].empty())
                        yearFromFallback = Keep(header, start, *size, kYear);
                } else if (fFrames.data[*slot].empty() || (*slot == kYear && yearFromFallback)) {
                    if (Keep(header, start, *size, *slot) && *slot == kYear)
                        yearFromFallback = false;
                }
            }
            pos = start + *size;
        }
    }

private:
    // The frame's size. ID3v2.4 sizes are syncsafe, but some writers stored plain ones there:
    // the plain reading is taken only where the syncsafe one does not lead to a next frame, the
    // padding or the end, and the plain one leads to a frame header or the end.
    std::optional<size_t> FrameSize(std::string_view header, size_t start)
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
        std::string_view id = fFetch(next, 4);
        if (id.size() < 4)
            return false;
        if (paddingCounts && id[0] == '\0')
            return true;
        return fEnd - next >= kHeaderSize && valid_id(id);
    }

    // Keeps the frame's data with its format flags undone in the slot, when the frame is
    // usable. True when it was kept.
    bool Keep(std::string_view header, size_t start, size_t size, Slot slot)
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
            return false;
        std::string_view body = fFetch(start, size);
        if (body.size() < size)
            return false;
        std::string resynced;
        if (unsynchronised) {
            resynced = resynchronised(body);
            body = resynced;
        }
        size_t extras = (grouped ? 1 : 0) + (lengthIndicated ? 4 : 0);
        if (body.size() < extras)
            return false;
        body.remove_prefix(extras);
        if (body.size() > kMaxKeptFrameSize || body.size() < 2)
            return false;
        if (slot == kComment && !undescribed_comment(body))
            return false;
        fFrames.data[slot].assign(body);
        return true;
    }

    const int fMajor;
    const bool fUnsynchronised;
    const TagReader& fFetch;
    const size_t fEnd;
    SongFrames& fFrames;
};

} // namespace

void find_song_frames(const TagReader& read, SongFrames* frames)
{
    for (std::string& data : frames->data)
        data.clear();
    std::array<char, kHeaderSize> bytes {};
    std::string_view fetched = read(0, kHeaderSize);
    if (fetched.size() < kHeaderSize || fetched.substr(0, 3) != "ID3")
        return;
    fetched.copy(bytes.data(), kHeaderSize);
    const std::string_view header(bytes.data(), kHeaderSize);
    int major = static_cast<unsigned char>(header[3]);
    unsigned char revision = header[4], flags = header[5];
    std::optional<uint32_t> size = syncsafe(header, 6);
    if (major < 2 || major > 4 || revision == 0xFF || !size || *size > kMaxId3v2TagSize)
        return;
    if (major == 2 && (flags & 0x40)) // ID3v2.2 compression has no defined scheme
        return;

    // In ID3v2.2 and 2.3 unsynchronisation covers the whole tag after its header, extended
    // header included; it is undone first. In 2.4 it is per frame.
    bool unsynchronised = flags & 0x80;
    std::string resynced;
    TagReader fetch;
    size_t end = *size;
    if (unsynchronised && major < 4) {
        resynced = resynchronised(read(kHeaderSize, *size));
        end = resynced.size();
        fetch = [&resynced](size_t at, size_t length) {
            return at < resynced.size() ? std::string_view(resynced).substr(at, length)
                                        : std::string_view();
        };
    } else {
        fetch = [&read](size_t at, size_t length) { return read(kHeaderSize + at, length); };
    }

    // Some writers set the extended-header flag with the frames right after the header. An
    // extended header whose size runs past the tag, or whose bytes are a frame ID, is taken
    // to be absent, and the walk starts at the first frame.
    size_t pos = 0;
    if (major >= 3 && (flags & 0x40)) {
        std::array<char, 4> extendedBytes {};
        std::string_view extended = end >= 4 ? fetch(0, 4) : std::string_view();
        if (extended.size() < 4)
            return;
        extended.copy(extendedBytes.data(), 4);
        extended = std::string_view(extendedBytes.data(), 4);
        if (major == 3) {
            pos = 4 + static_cast<size_t>(big_endian(extended, 0, 4)); // the size excludes itself
        } else {
            std::optional<uint32_t> length = syncsafe(extended, 0); // includes itself
            pos = length && *length >= 6 ? *length : end + 1;
        }
        if (pos > end || valid_id(extended))
            pos = 0;
    }

    Walk(major, unsynchronised, fetch, end, frames).Run(pos);
}
