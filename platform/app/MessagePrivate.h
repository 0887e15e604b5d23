// platform/app/MessagePrivate.h: how a BMessage holds its fields, shared by the message's own
// sources (never included outside platform/app/).
#pragma once

#include "platform/app/Message.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace message_storage
{

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

inline const entry_ref& unboxed(const RefValue& value)
{
    return *value;
}
inline const BPoint& unboxed(const BPoint& value)
{
    return value;
}
inline const BString& unboxed(const BString& value)
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

inline type_code type_of(const Value& value)
{
    if (std::holds_alternative<RefValue>(value))
        return B_REF_TYPE;
    if (std::holds_alternative<BPoint>(value))
        return B_POINT_TYPE;
    return B_STRING_TYPE;
}

} // namespace message_storage

struct BMessage::Data {
    using Field = message_storage::Field;
    using Value = message_storage::Value;
    using NameHash = message_storage::NameHash;
    std::vector<Field> fields;
    // Each field's position in fields, by name.
    std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> index;

    Field* Find(std::string_view name)
    {
        auto found = index.find(name);
        return found == index.end() ? nullptr : &fields[found->second];
    }
    const Field* Find(std::string_view name) const { return const_cast<Data*>(this)->Find(name); }

    // A new, empty field at the end.
    Field* Append(std::string_view name, type_code type)
    {
        fields.push_back(Field { std::string(name), type, {} });
        index.emplace(fields.back().name, fields.size() - 1);
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
        if (field == nullptr)
            field = Append(name, type);
        field->values.push_back(std::move(value));
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
                *out = message_storage::unboxed(std::get<T>(*value));
        }
        return status;
    }
};
