// fuzz: tandry_pdf
// Any bytes as a ToUnicode CMap, for one-byte and two-byte fonts.
#include "PDF/VKPDFCMapParser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (uint32_t maximumCode : { 255u, 65535u }) {
        size_t units = 0;
        VKPDFCMapParser parser(maximumCode, [&](uint32_t, std::u16string mapped) { units += mapped.size(); });
        parser.parse(text);
    }
    return 0;
}
