// platform/app/FlattenedMessage.cpp: a BMessage's flattened form, written and read.
//
// Flattened form (version 1). Every integer is little-endian; floats are IEEE-754 binary32
// stored as their 32-bit pattern.
//
//   uint32 magic        0x4D56524F, the bytes "ORVM"
//   uint32 version      1
//   uint32 what         the command code
//   uint32 fieldCount
//   fieldCount times:
//     uint32 nameLength, then the name's bytes (1 or more, no NUL, no terminator)
//     uint32 type        'CSTR' (string), 'BPNT' (point) or 'RREF' (entry_ref)
//     uint32 valueCount  (1 or more)
//     valueCount times:
//       uint32 valueLength, then the value's bytes:
//         CSTR  the string's bytes, no terminator
//         BPNT  float x, float y (8 bytes)
//         RREF  int64 device, uint64 directory inode, uint32 length + directory path,
//               uint32 length + leaf name (exactly valueLength bytes in all)
//
// Reading checks every length against the bytes that remain. A field is taken only when it
// was read whole; at the first damage (a length past the end, an unknown type, a bad name, a
// point that is not 8 bytes, a ref that does not fill its value) reading stops, the fields
// read so far stay, and the result is B_BAD_VALUE. A point with a non-finite coordinate is
// dropped as if it were absent. A name that comes again with the same type adds its values to
// the earlier field; with another type it is damage. Bytes after the last field also give
// B_BAD_VALUE. Reading from a stream takes at most 16 MiB; a longer stream gives B_BAD_VALUE.
//
// Reading is linear in the input: fields are found by name through a hash index, and a count
// is checked against the bytes left (every value costs at least its 4-byte length) before
// anything is stored, so memory stays a small multiple of the input.
#include "platform/app/Message.h"

#include "platform/app/MessagePrivate.h"
#include "platform/support/DataIO.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

using namespace message_storage;

namespace
{

const uint32 kMagic = 0x4D56524F; // "ORVM" in file order
const uint32 kVersion = 1;
const size_t kHeaderSize = 16;
const size_t kMinFieldSize = 4 + 1 + 4 + 4 + 4; // name length, name, type, count, one value
const size_t kStreamCap = 16 * 1024 * 1024;

void put32(std::string& out, uint32 value)
{
    char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.append(bytes, 4);
}

void put64(std::string& out, uint64 value)
{
    put32(out, static_cast<uint32>(value));
    put32(out, static_cast<uint32>(value >> 32));
}

// false when the bytes are too long for a 32-bit length.
bool put_bytes(std::string& out, std::string_view bytes)
{
    if (bytes.size() > UINT32_MAX)
        return false;
    put32(out, static_cast<uint32>(bytes.size()));
    out.append(bytes);
    return true;
}

std::string encode_value(const Value& value)
{
    std::string out;
    if (const BString* string = std::get_if<BString>(&value)) {
        out = string->Bytes();
    } else if (const BPoint* point = std::get_if<BPoint>(&value)) {
        put32(out, std::bit_cast<uint32>(point->x));
        put32(out, std::bit_cast<uint32>(point->y));
    } else {
        const entry_ref& ref = *std::get<RefValue>(value);
        put64(out, static_cast<uint64>(static_cast<int64>(ref.device)));
        put64(out, static_cast<uint64>(ref.directory));
        put_bytes(out, ref.directory_path);
        put_bytes(out, ref.name);
    }
    return out;
}

// A cursor over bytes that never reads past their end.
class Reader
{
public:
    Reader(const char* bytes, size_t size)
        : fBytes(bytes)
        , fSize(size)
    {
    }

    size_t Remaining() const { return fSize - fAt; }
    bool AtEnd() const { return fAt == fSize; }

    bool Get32(uint32* value)
    {
        if (Remaining() < 4)
            return false;
        uint32 result = 0;
        for (int i = 0; i < 4; ++i)
            result |= static_cast<uint32>(static_cast<uint8>(fBytes[fAt + i])) << (8 * i);
        fAt += 4;
        *value = result;
        return true;
    }

    bool Get64(uint64* value)
    {
        uint32 low, high;
        if (!Get32(&low) || !Get32(&high))
            return false;
        *value = (static_cast<uint64>(high) << 32) | low;
        return true;
    }

    // A length-prefixed run of bytes.
    bool GetBytes(std::string_view* bytes)
    {
        uint32 length;
        if (!Get32(&length) || length > Remaining())
            return false;
        *bytes = std::string_view(fBytes + fAt, length);
        fAt += length;
        return true;
    }

private:
    const char* fBytes;
    size_t fSize;
    size_t fAt = 0;
};

enum class Decoded { kValue, kDropped, kDamaged };

Decoded decode_value(type_code type, std::string_view bytes, Value* value)
{
    switch (type) {
    case B_STRING_TYPE:
        *value = BString(std::string(bytes));
        return Decoded::kValue;
    case B_POINT_TYPE: {
        Reader reader(bytes.data(), bytes.size());
        uint32 x, y;
        if (bytes.size() != 8 || !reader.Get32(&x) || !reader.Get32(&y))
            return Decoded::kDamaged;
        BPoint point(std::bit_cast<float>(x), std::bit_cast<float>(y));
        if (!std::isfinite(point.x) || !std::isfinite(point.y))
            return Decoded::kDropped;
        *value = point;
        return Decoded::kValue;
    }
    case B_REF_TYPE: {
        Reader reader(bytes.data(), bytes.size());
        uint64 device, directory;
        std::string_view path, name;
        if (!reader.Get64(&device) || !reader.Get64(&directory) || !reader.GetBytes(&path)
            || !reader.GetBytes(&name) || !reader.AtEnd())
            return Decoded::kDamaged;
        entry_ref ref;
        ref.device = static_cast<dev_t>(static_cast<int64>(device));
        ref.directory = static_cast<ino_t>(directory);
        ref.directory_path = path;
        ref.name = name;
        *value = RefValue(std::move(ref));
        return Decoded::kValue;
    }
    }
    return Decoded::kDamaged;
}

} // namespace

status_t BMessage::Flatten(std::string* bytes) const
{
    if (bytes == nullptr)
        return B_BAD_VALUE;
    std::string out;
    put32(out, kMagic);
    put32(out, kVersion);
    put32(out, what);
    put32(out, static_cast<uint32>(fData->fields.size()));
    for (const Field& field : fData->fields) {
        if (!put_bytes(out, field.name) || field.values.size() > UINT32_MAX)
            return B_BAD_VALUE;
        put32(out, field.type);
        put32(out, static_cast<uint32>(field.values.size()));
        for (const Value& value : field.values)
            if (!put_bytes(out, encode_value(value)))
                return B_BAD_VALUE;
    }
    *bytes = std::move(out);
    return B_OK;
}

ssize_t BMessage::FlattenedSize() const
{
    std::string bytes;
    status_t status = Flatten(&bytes);
    return status == B_OK ? static_cast<ssize_t>(bytes.size()) : status;
}

status_t BMessage::Flatten(BDataIO* stream, ssize_t* size) const
{
    if (stream == nullptr)
        return B_BAD_VALUE;
    std::string bytes;
    status_t status = Flatten(&bytes);
    if (status != B_OK)
        return status;
    // One write of the whole image; a stream that takes less is asked for the rest.
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t result = stream->Write(bytes.data() + written, bytes.size() - written);
        if (result < 0)
            return static_cast<status_t>(result);
        if (result == 0)
            return B_ERROR;
        written += result;
    }
    if (size != nullptr)
        *size = static_cast<ssize_t>(written);
    return B_OK;
}

status_t BMessage::Unflatten(const char* bytes, size_t size)
{
    MakeEmpty();
    what = 0;
    if (bytes == nullptr && size > 0)
        return B_BAD_VALUE;

    Reader reader(bytes, size);
    uint32 magic, version, code, fieldCount;
    if (size < kHeaderSize || !reader.Get32(&magic) || magic != kMagic || !reader.Get32(&version)
        || version != kVersion || !reader.Get32(&code) || !reader.Get32(&fieldCount))
        return B_BAD_VALUE;
    what = code;

    for (uint32 i = 0; i < fieldCount; ++i) {
        if (reader.Remaining() < kMinFieldSize)
            return B_BAD_VALUE;
        std::string_view name;
        uint32 type, valueCount;
        if (!reader.GetBytes(&name) || name.empty() || name.find('\0') != std::string_view::npos
            || !reader.Get32(&type) || !reader.Get32(&valueCount) || valueCount == 0
            || valueCount > reader.Remaining() / 4)
            return B_BAD_VALUE;
        if (type != B_STRING_TYPE && type != B_POINT_TYPE && type != B_REF_TYPE)
            return B_BAD_VALUE;
        // A repeated name must keep its type; its values then join the earlier ones.
        Field* field = fData->Find(name);
        if (field != nullptr && field->type != type)
            return B_BAD_VALUE;
        bool added = field == nullptr;
        if (added)
            field = fData->Append(name, type);
        size_t before = field->values.size();

        // Values go straight into the field; a field that is not read whole is taken out
        // again, so that only whole fields stay.
        Decoded decoded = Decoded::kValue;
        // The count was checked against the bytes left: at most a value per 4 bytes.
        field->values.reserve_more(valueCount);
        for (uint32 j = 0; j < valueCount && decoded != Decoded::kDamaged; ++j) {
            std::string_view bytes;
            Value value;
            if (!reader.GetBytes(&bytes))
                decoded = Decoded::kDamaged;
            else
                decoded = decode_value(type, bytes, &value);
            if (decoded == Decoded::kValue)
                field->values.push_back(std::move(value));
        }
        if (decoded == Decoded::kDamaged || field->values.empty()) {
            if (added)
                fData->Erase(field);
            else
                field->values.truncate(before);
        }
        if (decoded == Decoded::kDamaged)
            return B_BAD_VALUE;
    }
    return reader.AtEnd() ? B_OK : B_BAD_VALUE;
}

status_t BMessage::Unflatten(BDataIO* stream)
{
    if (stream == nullptr)
        return B_BAD_VALUE;
    // Read the whole stream first, but never more than the cap.
    std::string bytes;
    status_t readStatus = read_capped(stream, kStreamCap, &bytes);
    status_t status = Unflatten(bytes.data(), bytes.size());
    return readStatus != B_OK ? readStatus : status;
}
