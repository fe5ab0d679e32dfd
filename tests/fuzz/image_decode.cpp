// fuzz: tandry_platform_graphics
// Bytes into the header reader, the Exif reader and every decoder, whatever
// the magic bytes say, with a pixel limit small enough for a fuzzer's memory.
#include "Platform/Graphics/ImageCodecs.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace gfx::codecs;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr int64_t limit = int64_t(1) << 20;
    readHeader(bytes);
    exifOrientation(bytes);
    exifOrientation(std::string("Exif\0\0", 6) + std::string(bytes));
    for (int denominator : { 1, 8 })
        decodeJPEG(bytes, denominator, limit, nullptr);
    std::string failure;
    decodePNG(bytes, limit, &failure);
    decodeGIF(bytes, limit, &failure);
    decodeTIFF(bytes, limit, &failure);
    decodeBMP(bytes, limit, &failure);
    decodeWebP(bytes, limit, &failure);
    return 0;
}
