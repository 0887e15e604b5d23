// tests/fuzz/message_fuzz.cpp: unflattening arbitrary bytes, then a round trip of the result.
#include "platform/app/Message.h"

#include <cstdint>
#include <cstdlib>
#include <string>

// Whatever Unflatten keeps must flatten, read back without error, and flatten to the same
// bytes again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BMessage message;
    status_t status = message.Unflatten(reinterpret_cast<const char*>(data), size);
    if (status != B_OK && status != B_BAD_VALUE)
        std::abort();

    std::string once;
    if (message.Flatten(&once) != B_OK)
        std::abort();
    BMessage again;
    if (again.Unflatten(once.data(), once.size()) != B_OK || again.what != message.what)
        std::abort();
    std::string twice;
    if (again.Flatten(&twice) != B_OK || twice != once)
        std::abort();
    return 0;
}
