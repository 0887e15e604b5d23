// platform/app/Message.h: BMessage, a command code with named, typed fields.
#pragma once

#include "platform/storage/Entry.h"
#include "platform/support/Rect.h"
#include "platform/support/String.h"
#include "platform/support/SupportDefs.h"

#include <memory>

class BDataIO;

// Fields keep the order in which they were first added; each holds values of one type.
// Removing the first value of a field costs O(1), so a selection of many refs can be taken
// apart one entry at a time.
class BMessage
{
public:
    BMessage();
    explicit BMessage(uint32 what);
    BMessage(const BMessage& other);
    BMessage& operator=(const BMessage& other);
    // A moved-from message is empty and stays usable.
    BMessage(BMessage&& other);
    BMessage& operator=(BMessage&& other) noexcept;
    ~BMessage();

    uint32 what = 0;

    // Add: B_OK, B_BAD_VALUE (null name or value, or the name holds another type).
    status_t AddRef(const char* name, const entry_ref* ref);
    status_t AddPoint(const char* name, BPoint point);
    status_t AddString(const char* name, const char* string);
    status_t AddString(const char* name, const BString& string);

    // Find: B_OK, B_NAME_NOT_FOUND, B_BAD_TYPE, B_BAD_INDEX, B_BAD_VALUE (null out).
    status_t FindRef(const char* name, int32 index, entry_ref* ref) const;
    status_t FindRef(const char* name, entry_ref* ref) const { return FindRef(name, 0, ref); }
    status_t FindPoint(const char* name, int32 index, BPoint* point) const;
    status_t FindPoint(const char* name, BPoint* point) const { return FindPoint(name, 0, point); }
    status_t FindString(const char* name, int32 index, BString* string) const;
    status_t FindString(const char* name, BString* string) const
    {
        return FindString(name, 0, string);
    }
    status_t FindString(const char* name, int32 index, const char** string) const;
    bool HasString(const char* name, int32 index = 0) const;
    bool HasRef(const char* name, int32 index = 0) const;

    // B_OK, or the Find codes. A field whose last value goes disappears.
    status_t RemoveData(const char* name, int32 index = 0);
    status_t RemoveName(const char* name);
    void MakeEmpty();

    // B_OK with type and count of the field, or B_NAME_NOT_FOUND.
    status_t GetInfo(const char* name, type_code* type, int32* count) const;
    int32 CountNames() const;
    bool IsEmpty() const { return CountNames() == 0; }

    // The flattened form: magic, version, command code, then each field with its name, type
    // code and length-prefixed values, all little-endian. Unflatten checks every length
    // against the bytes present; bad input gives B_BAD_VALUE and leaves the
    // fields read intact up to the damage. Non-finite point coordinates are dropped.
    status_t Flatten(BDataIO* stream, ssize_t* size = nullptr) const;
    status_t Flatten(std::string* bytes) const;
    ssize_t FlattenedSize() const;
    status_t Unflatten(BDataIO* stream);
    status_t Unflatten(const char* bytes, size_t size);

    // A readable dump on standard output, through the trace.
    void PrintToStream() const;

private:
    struct Data;
    std::unique_ptr<Data> fData;
};
