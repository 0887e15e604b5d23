// platform/Message.cpp: BMessage fields, their flattened form and the readable dump.
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
#include "platform/Message.h"

#include "platform/DataIO.h"
#include "platform/Trace.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace
{

const uint32 kMagic = 0x4D56524F; // "ORVM" in file order
const uint32 kVersion = 1;
const size_t kHeaderSize = 16;
const size_t kMinFieldSize = 4 + 1 + 4 + 4 + 4; // name length, name, type, count, one value
const size_t kStreamCap = 16 * 1024 * 1024;

// A ref is held through a pointer so that every value, strings and points included, stays as
// small as a string: a field of many short values costs little more than its input.
class RefValue
{
public:
    explicit RefValue(entry_ref ref)
        : fRef(std::make_unique<entry_ref>(std::move(ref)))
    {
    }
    RefValue(const RefValue& other)
        : fRef(std::make_unique<entry_ref>(*other.fRef))
    {
    }
    RefValue(RefValue&&) = default;
    RefValue& operator=(const RefValue& other)
    {
        if (this != &other)
            *fRef = *other.fRef;
        return *this;
    }
    RefValue& operator=(RefValue&&) = default;
    const entry_ref& operator*() const { return *fRef; }

private:
    std::unique_ptr<entry_ref> fRef;
};

using Value = std::variant<BString, BPoint, RefValue>;

const entry_ref& unboxed(const RefValue& value)
{
    return *value;
}
const BPoint& unboxed(const BPoint& value)
{
    return value;
}
const BString& unboxed(const BString& value)
{
    return value;
}

struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
};

// A field's values in one array, with removal from the front in O(1): the removed values are
// released at once and their slots reclaimed once they make up half the array. A deque would
// do the same but costs over half a kilobyte even for one value, and a message may hold a
// hundred thousand fields.
class Values
{
public:
    size_t size() const { return fValues.size() - fFirst; }
    bool empty() const { return size() == 0; }
    const Value& operator[](size_t index) const { return fValues[fFirst + index]; }
    std::vector<Value>::const_iterator begin() const { return fValues.begin() + fFirst; }
    std::vector<Value>::const_iterator end() const { return fValues.end(); }

    void push_back(Value value) { fValues.push_back(std::move(value)); }
    // Room for count more values. Growth is geometric, so that a name repeated once per value
    // (each time adding one) still costs linear time.
    void reserve_more(size_t count)
    {
        size_t needed = fValues.size() + count;
        if (needed > fValues.capacity())
            fValues.reserve(std::max(needed, fValues.capacity() * 2));
    }
    void truncate(size_t count) { fValues.resize(fFirst + count); }
    void erase(size_t index)
    {
        if (index > 0) {
            fValues.erase(fValues.begin() + fFirst + index);
            return;
        }
        fValues[fFirst++] = Value();
        if (fFirst * 2 >= fValues.size()) {
            fValues.erase(fValues.begin(), fValues.begin() + fFirst);
            fFirst = 0;
        }
    }

private:
    std::vector<Value> fValues;
    size_t fFirst = 0;
};

struct Field {
    std::string name;
    type_code type;
    Values values;
};

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

type_code type_of(const Value& value)
{
    if (std::holds_alternative<RefValue>(value))
        return B_REF_TYPE;
    if (std::holds_alternative<BPoint>(value))
        return B_POINT_TYPE;
    return B_STRING_TYPE;
}

// The code as four characters in quotes when all are printable, else in hex.
std::string code_text(uint32 code, bool quoted)
{
    char chars[4];
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        chars[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
        printable = printable && chars[i] >= 0x20 && chars[i] <= 0x7E;
    }
    if (!printable) {
        char hex[11];
        std::snprintf(hex, sizeof hex, "0x%08x", code);
        return hex;
    }
    std::string text(chars, 4);
    return quoted ? "'" + text + "'" : text;
}

// Bytes in double quotes; quotes, backslashes and control bytes escaped, the rest as is.
std::string quoted(std::string_view bytes)
{
    std::string out = "\"";
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string value_text(const Value& value)
{
    if (const BString* string = std::get_if<BString>(&value))
        return quoted(string->Bytes());
    if (const BPoint* point = std::get_if<BPoint>(&value)) {
        char text[64];
        std::snprintf(text, sizeof text, "BPoint(x:%g, y:%g)", point->x, point->y);
        return text;
    }
    return quoted((*std::get<RefValue>(value)).path());
}

} // namespace

struct BMessage::Data {
    std::vector<Field> fields;
    // Each field's position in fields, by name.
    std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> index;

    Field* Find(std::string_view name)
    {
        auto found = index.find(name);
        return found == index.end() ? nullptr : &fields[found->second];
    }
    const Field* Find(std::string_view name) const { return const_cast<Data*>(this)->Find(name); }

    // A new, empty field at the end; may throw std::bad_alloc, leaving nothing added.
    Field* Append(std::string_view name, type_code type)
    {
        fields.push_back(Field { std::string(name), type, {} });
        try {
            index.emplace(fields.back().name, fields.size() - 1);
        } catch (...) {
            fields.pop_back();
            throw;
        }
        return &fields.back();
    }

    void Erase(Field* field)
    {
        size_t at = field - fields.data();
        index.erase(field->name);
        fields.erase(fields.begin() + at);
        if (at == fields.size())
            return; // the last field: no position moved
        for (auto& [name, position] : index)
            if (position > at)
                --position;
    }

    void Clear()
    {
        fields.clear();
        index.clear();
    }

    status_t Add(const char* name, Value value)
    {
        if (name == nullptr)
            return B_BAD_VALUE;
        type_code type = type_of(value);
        Field* field = Find(name);
        if (field != nullptr && field->type != type)
            return B_BAD_VALUE;
        try {
            bool added = field == nullptr;
            if (added)
                field = Append(name, type);
            try {
                field->values.push_back(std::move(value));
            } catch (const std::bad_alloc&) {
                if (added)
                    Erase(field);
                throw;
            }
        } catch (const std::bad_alloc&) {
            return B_NO_MEMORY;
        }
        return B_OK;
    }

    // The value at index of a field of the given type, or a Find status.
    status_t Lookup(const char* name, type_code type, int32 index, const Value** value) const
    {
        if (name == nullptr)
            return B_BAD_VALUE;
        const Field* field = Find(name);
        if (field == nullptr)
            return B_NAME_NOT_FOUND;
        if (field->type != type)
            return B_BAD_TYPE;
        if (index < 0 || static_cast<size_t>(index) >= field->values.size())
            return B_BAD_INDEX;
        *value = &field->values[index];
        return B_OK;
    }

    // Copies the value into out: B_OK, the Lookup codes, or B_BAD_VALUE for a null out.
    template <typename T, typename Out>
    status_t Find(const char* name, type_code type, int32 index, Out* out) const
    {
        const Value* value;
        status_t status = Lookup(name, type, index, &value);
        if (status == B_OK && out == nullptr)
            return B_BAD_VALUE;
        if (status == B_OK) {
            if constexpr (std::is_same_v<Out, const char*>)
                *out = std::get<T>(*value).String();
            else
                *out = unboxed(std::get<T>(*value));
        }
        return status;
    }
};

BMessage::BMessage()
    : fData(std::make_unique<Data>())
{
}

BMessage::BMessage(uint32 what)
    : what(what)
    , fData(std::make_unique<Data>())
{
}

BMessage::BMessage(const BMessage& other)
    : what(other.what)
    , fData(std::make_unique<Data>(*other.fData))
{
}

BMessage& BMessage::operator=(const BMessage& other)
{
    if (this != &other) {
        what = other.what;
        *fData = *other.fData;
    }
    return *this;
}

// Moving hands over the fields; the source is left empty and usable.
BMessage::BMessage(BMessage&& other)
    : what(other.what)
    , fData(std::exchange(other.fData, std::make_unique<Data>()))
{
    other.what = 0;
}

BMessage& BMessage::operator=(BMessage&& other) noexcept
{
    if (this != &other) {
        what = std::exchange(other.what, 0);
        fData.swap(other.fData);
        *other.fData = Data();
    }
    return *this;
}

BMessage::~BMessage() = default;

status_t BMessage::AddRef(const char* name, const entry_ref* ref)
{
    if (ref == nullptr)
        return B_BAD_VALUE;
    return fData->Add(name, RefValue(*ref));
}

status_t BMessage::AddPoint(const char* name, BPoint point)
{
    return fData->Add(name, point);
}

status_t BMessage::AddString(const char* name, const char* string)
{
    if (string == nullptr)
        return B_BAD_VALUE;
    return fData->Add(name, BString(string));
}

status_t BMessage::AddString(const char* name, const BString& string)
{
    return fData->Add(name, string);
}

status_t BMessage::FindRef(const char* name, int32 index, entry_ref* ref) const
{
    return fData->Find<RefValue>(name, B_REF_TYPE, index, ref);
}

status_t BMessage::FindPoint(const char* name, int32 index, BPoint* point) const
{
    return fData->Find<BPoint>(name, B_POINT_TYPE, index, point);
}

status_t BMessage::FindString(const char* name, int32 index, BString* string) const
{
    return fData->Find<BString>(name, B_STRING_TYPE, index, string);
}

status_t BMessage::FindString(const char* name, int32 index, const char** string) const
{
    return fData->Find<BString>(name, B_STRING_TYPE, index, string);
}

bool BMessage::HasString(const char* name, int32 index) const
{
    const Value* value;
    return fData->Lookup(name, B_STRING_TYPE, index, &value) == B_OK;
}

bool BMessage::HasRef(const char* name, int32 index) const
{
    const Value* value;
    return fData->Lookup(name, B_REF_TYPE, index, &value) == B_OK;
}

status_t BMessage::RemoveData(const char* name, int32 index)
{
    if (name == nullptr)
        return B_BAD_VALUE;
    Field* field = fData->Find(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (index < 0 || static_cast<size_t>(index) >= field->values.size())
        return B_BAD_INDEX;
    field->values.erase(index); // index 0, the intake's case, in O(1)
    if (field->values.empty())
        fData->Erase(field);
    return B_OK;
}

status_t BMessage::RemoveName(const char* name)
{
    if (name == nullptr)
        return B_BAD_VALUE;
    Field* field = fData->Find(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    fData->Erase(field);
    return B_OK;
}

void BMessage::MakeEmpty()
{
    fData->Clear();
}

status_t BMessage::GetInfo(const char* name, type_code* type, int32* count) const
{
    if (name == nullptr)
        return B_BAD_VALUE;
    const Field* field = fData->Find(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (type != nullptr)
        *type = field->type;
    if (count != nullptr)
        *count = static_cast<int32>(std::min<size_t>(field->values.size(), INT32_MAX));
    return B_OK;
}

int32 BMessage::CountNames() const
{
    return static_cast<int32>(fData->fields.size());
}

status_t BMessage::Flatten(std::string* bytes) const
{
    if (bytes == nullptr)
        return B_BAD_VALUE;
    try {
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
    } catch (const std::bad_alloc&) {
        return B_NO_MEMORY;
    } catch (const std::length_error&) {
        return B_NO_MEMORY;
    }
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

    status_t status = B_BAD_VALUE; // the result at the first damage
    try {
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
            try {
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
            } catch (const std::bad_alloc&) {
                decoded = Decoded::kDamaged;
                status = B_NO_MEMORY;
            }
            if (decoded == Decoded::kDamaged || field->values.empty()) {
                if (added)
                    fData->Erase(field);
                else
                    field->values.truncate(before);
            }
            if (decoded == Decoded::kDamaged)
                return status;
        }
    } catch (const std::bad_alloc&) {
        return B_NO_MEMORY;
    }
    return reader.AtEnd() ? B_OK : B_BAD_VALUE;
}

status_t BMessage::Unflatten(BDataIO* stream)
{
    if (stream == nullptr)
        return B_BAD_VALUE;
    // Read the whole stream first, but never more than the cap.
    std::string bytes;
    status_t readStatus = B_OK;
    char buffer[65536];
    while (bytes.size() <= kStreamCap) {
        ssize_t result = stream->Read(buffer, sizeof buffer);
        if (result < 0)
            readStatus = static_cast<status_t>(result);
        if (result <= 0)
            break;
        bytes.append(buffer, result);
    }
    if (bytes.size() > kStreamCap) {
        bytes.resize(kStreamCap);
        readStatus = B_BAD_VALUE;
    }
    status_t status = Unflatten(bytes.data(), bytes.size());
    return readStatus != B_OK ? readStatus : status;
}

void BMessage::PrintToStream() const
{
    trace("BMessage(%s) {\n", code_text(what, true).c_str());
    for (const Field& field : fData->fields) {
        std::string line = "  " + field.name + " (" + code_text(field.type, false);
        if (field.values.size() != 1)
            line += ", " + std::to_string(field.values.size());
        line += "):";
        const char* separator = " ";
        for (const Value& value : field.values) {
            line += separator + value_text(value);
            separator = ", ";
        }
        trace("%s\n", line.c_str());
    }
    trace("}\n");
}
