// platform/storage/Path.h: BPath, an absolute path held as bytes.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

class BEntry;

class BPath
{
public:
    BPath() = default;
    BPath(const char* dir, const char* leaf = nullptr, bool normalize = false);

    // B_OK, B_BAD_VALUE (null entry or path), B_NO_INIT (entry not set).
    status_t SetTo(const BEntry* entry);
    // Joins dir and leaf with "/"; normalize resolves "." and ".." and links.
    // B_OK, B_BAD_VALUE (null dir, or leaf containing "/"), or the mapped errno of normalizing.
    status_t SetTo(const char* dir, const char* leaf = nullptr, bool normalize = false);
    status_t Append(const char* leaf, bool normalize = false);
    void Unset();
    status_t InitCheck() const { return fStatus; }

    // Null when the path is not set.
    const char* Path() const;
    // The last component, or null when the path is not set.
    const char* Leaf() const;

private:
    std::string fPath;
    status_t fStatus = B_NO_INIT;
};
