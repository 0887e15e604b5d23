// platform/support/String.h: BString, a byte string with no assumed encoding.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string.h>
#include <string>

class BString
{
public:
    BString() = default;
    BString(const char* text)
        : fData(text ? text : "")
    {
    }
    // At most length bytes, and never past the text's first NUL: a string ends there.
    BString(const char* text, int32 length)
        : fData(text ? text : "", bounded_length(text, length))
    {
    }
    BString(const std::string& bytes)
        : fData(bytes)
    {
    }

    const char* String() const { return fData.c_str(); }
    int32 Length() const { return static_cast<int32>(fData.size()); }
    bool IsEmpty() const { return fData.empty(); }
    const std::string& Bytes() const { return fData; }

    BString& SetTo(const char* text)
    {
        fData = text ? text : "";
        return *this;
    }
    BString& SetTo(const char* text, int32 length)
    {
        fData.assign(text ? text : "", bounded_length(text, length));
        return *this;
    }
    BString& Append(const char* text, int32 length)
    {
        fData.append(text, length);
        return *this;
    }
    BString& operator=(const char* text) { return SetTo(text); }
    BString& operator+=(const char* text)
    {
        fData += text ? text : "";
        return *this;
    }
    BString& operator+=(char c)
    {
        fData += c;
        return *this;
    }
    BString& operator+=(const BString& other)
    {
        fData += other.fData;
        return *this;
    }
    BString& operator<<(const char* text) { return *this += text; }
    BString& operator<<(char c) { return *this += c; }
    BString& operator<<(const BString& other) { return *this += other; }
    BString& operator<<(int32 value)
    {
        fData += std::to_string(value);
        return *this;
    }

    // Offset of the last occurrence of text, or -1.
    int32 FindLast(const char* text) const
    {
        auto at = fData.rfind(text);
        return at == std::string::npos ? -1 : static_cast<int32>(at);
    }
    BString& Remove(int32 from, int32 length)
    {
        fData.erase(from, length);
        return *this;
    }
    BString& Truncate(int32 newLength)
    {
        if (newLength < Length())
            fData.resize(newLength);
        return *this;
    }

    bool operator==(const BString& other) const { return fData == other.fData; }
    bool operator==(const char* text) const { return fData == (text ? text : ""); }

private:
    static size_t bounded_length(const char* text, int32 length)
    {
        return text && length > 0 ? strnlen(text, static_cast<size_t>(length)) : 0;
    }

    std::string fData;
};
