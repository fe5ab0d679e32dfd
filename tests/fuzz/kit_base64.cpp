// fuzz: tandry_kit
// Base64 text comes from Authorization headers and cloud answers. Decoding
// takes any bytes and never writes past its estimate; encoding round-trips,
// with and without line breaks.

#include "Kit/Base64.h"
#include "Kit/StringAdditions.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    std::string decoded = NewBase64Decode(input);
    check(decoded.size() <= (size + 3) / 4 * 3);
    (void)vkStringByDecodingBase64(input);

    for (bool lines : { false, true }) {
        std::string text = NewBase64Encode(input, lines);
        check(NewBase64Decode(text) == input);
        // Lines of 64 characters joined by CR LF, the last one shorter or equal.
        for (size_t at = 0; lines && at + 64 < text.size(); at += 66)
            check(text.compare(at + 64, 2, "\r\n") == 0);
    }
    return 0;
}
