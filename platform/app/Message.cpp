// platform/app/Message.cpp: BMessage's fields and the readable dump. The flattened form is in
// FlattenedMessage.cpp.
#include "platform/app/Message.h"

#include "platform/app/MessagePrivate.h"
#include "platform/support/Trace.h"

#include <cstdio>
#include <string>
#include <string_view>

using namespace message_storage;

namespace
{

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
