// The encoding rule and the conversion: whatever the bytes, the result is
// valid UTF-8, and valid UTF-8 that no declaration says otherwise of stays
// as it is.

#include "catalogue/TextEncoding.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string converted = ToUtf8(bytes);
    if (!IsValidUtf8(converted))
        std::abort();
    if (DeclaredEncoding(bytes).empty() && IsValidUtf8(bytes) && converted != bytes)
        std::abort();
    return 0;
}
