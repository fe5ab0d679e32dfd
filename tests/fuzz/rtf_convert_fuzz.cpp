// fuzz: tandry_rtf
// Any bytes convert to an HTML document in valid UTF-8, or to nothing (the
// conversion's one error); never to a crash or a sanitizer report.

#include "Platform/Core/Log.h"
#include "Platform/Core/PercentEscape.h"
#include "RTF/Converter2HTML.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    core::LogCapture quiet(true);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    rtf::Converter2HTML converter;
    rtf::Params params;
    // The first byte also decides whether the information group is left out.
    params.omit_info = size > 0 && (data[0] & 1);
    const std::string& html = converter.Convert(in, params);
    if (!html.empty() && !core::isValidUTF8(html))
        std::abort();
    return 0;
}
