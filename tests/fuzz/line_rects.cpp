// fuzz: tandry_kit
#include "Kit/VKLineRects.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VKLineRectsFromGlyphRects(core::Data(data, size));
    return 0;
}
