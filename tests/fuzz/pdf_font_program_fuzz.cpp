// fuzz: tandry_platform_pdf
// Any bytes as an embedded font program (Type 1, CFF, OpenType): its
// built-in encoding, whose glyph names must stay within PostScript's length.
#include "Platform/PDF/FontProgram.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto names = pdf::FontProgram::builtInEncoding(std::string_view(reinterpret_cast<const char*>(data), size));
    if (names) {
        for (const std::string& name : *names) {
            if (name.size() > 127 || name == ".notdef")
                abort();
        }
    }
    return 0;
}
