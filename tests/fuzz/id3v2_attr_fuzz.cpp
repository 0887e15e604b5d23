// tests/fuzz/id3v2_attr_fuzz.cpp: the attribute fallbacks (the ID3v2 tag's texts, the type through
// the MIME database) on arbitrary bytes stored as an MP3 file.
#include "platform/storage/Node.h"

#include "scripts/mp3gen.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace
{

std::string sPath;

using fuzz::check;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    sPath = fuzz::make_scratch_file("id3v2_attr_fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!mp3gen::write_file(sPath, std::string(reinterpret_cast<const char*>(data), size)))
        std::abort();
    BNode node(sPath.c_str());
    check(node.InitCheck() == B_OK, "node");
    for (const char* name :
        { "Title", "Artist", "Album", "Year", "Comment", "Track", "BEOS:TYPE" }) {
        attr_info info {};
        status_t status = node.GetAttrInfo(name, &info);
        char buffer[256];
        ssize_t count = node.ReadAttr(name, B_STRING_TYPE, 0, buffer, sizeof(buffer));
        if (status != B_OK) {
            check(status == B_ENTRY_NOT_FOUND && count == B_ENTRY_NOT_FOUND, "absent");
            continue;
        }
        // A string attribute: at least its NUL, cut to the buffer.
        check(info.size >= 1 && count == std::min<off_t>(info.size, sizeof(buffer)), "size");
        if (info.size <= static_cast<off_t>(sizeof(buffer)))
            check(buffer[count - 1] == '\0', "terminated");
        if (std::strcmp(name, "Year") == 0)
            check(count >= 2 && count <= 5, "year of at most four digits");
    }
    return 0;
}
