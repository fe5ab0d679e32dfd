// Windows bitmaps, read here: 1, 4, 8, 16, 24 and 32 bits per pixel,
// uncompressed or with bit-field masks, rows bottom-up or top-down. Every
// offset and length is checked against the bytes before it is used.

#include "Platform/Graphics/ImageCodecs.h"

#include <bit>
#include <cstring>
#include <vector>

namespace gfx::codecs {

namespace {

constexpr uint32_t kRGB = 0, kBitFields = 3, kAlphaBitFields = 6;

uint32_t read16(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One channel of a packed pixel: its bits under the mask, widened to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t maximum = 0;

    explicit Channel(uint32_t mask = 0)
        : mask(mask)
        , shift(mask ? std::countr_zero(mask) : 0)
        , maximum(mask >> shift)
    {
    }
    uint8_t operator()(uint32_t value, uint8_t absent = 0) const
    {
        if (!maximum)
            return absent;
        return uint8_t(uint64_t((value & mask) >> shift) * 255 / maximum);
    }
};

struct Palette {
    std::vector<uint32_t> words; // premultiplied, opaque
    uint32_t operator[](size_t index) const { return index < words.size() ? words[index] : 0xFF000000u; }
};

} // namespace

Surface decodeBMP(std::string_view bytes, int64_t pixelLimit, std::string* failure)
{
    auto fail = [failure](const char* reason) {
        if (failure)
            *failure = reason;
        return Surface();
    };
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t size = bytes.size();
    if (size < 26 || p[0] != 'B' || p[1] != 'M')
        return fail("not a bitmap");
    const uint32_t pixelOffset = read32(p + 10);
    const uint32_t headerSize = read32(p + 14);
    int64_t width, height;
    uint32_t bitsPerPixel, compression = kRGB, coloursUsed = 0;
    size_t paletteEntrySize = 4;
    bool topDown = false;
    if (headerSize == 12) {
        width = read16(p + 18);
        height = read16(p + 20);
        bitsPerPixel = read16(p + 24);
        paletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 1024 && size >= 14 + size_t(headerSize)) {
        width = int32_t(read32(p + 18));
        height = int32_t(read32(p + 22));
        bitsPerPixel = read16(p + 28);
        compression = read32(p + 30);
        coloursUsed = read32(p + 46);
        if (height < 0) {
            topDown = true;
            height = -height;
        }
    } else {
        return fail("unknown header");
    }
    if (width <= 0 || height <= 0 || height > INT32_MAX || width * height > pixelLimit)
        return fail("bad size");

    // Masks of packed pixels: the defaults, or those after the header.
    Channel red, green, blue, alpha;
    if (bitsPerPixel == 16) {
        red = Channel(0x7C00), green = Channel(0x03E0), blue = Channel(0x001F);
    } else if (bitsPerPixel == 24 || bitsPerPixel == 32) {
        red = Channel(0xFF0000), green = Channel(0xFF00), blue = Channel(0xFF);
    } else if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8) {
        return fail("unsupported depth");
    }
    size_t paletteOffset = 14 + size_t(headerSize);
    if (compression == kBitFields || compression == kAlphaBitFields) {
        if (bitsPerPixel != 16 && bitsPerPixel != 32)
            return fail("bit fields need 16 or 32 bits");
        size_t masksOffset = 14 + 40;
        size_t maskCount = compression == kAlphaBitFields || headerSize >= 56 ? 4 : 3;
        if (headerSize == 40)
            paletteOffset += maskCount * 4;
        if (masksOffset + maskCount * 4 > size)
            return fail("masks cut short");
        red = Channel(read32(p + masksOffset));
        green = Channel(read32(p + masksOffset + 4));
        blue = Channel(read32(p + masksOffset + 8));
        if (maskCount == 4)
            alpha = Channel(read32(p + masksOffset + 12));
    } else if (compression != kRGB) {
        return fail("compressed bitmaps are not read");
    }

    Palette palette;
    if (bitsPerPixel <= 8) {
        size_t count = size_t(1) << bitsPerPixel;
        if (coloursUsed > 0 && coloursUsed < count)
            count = coloursUsed;
        if (paletteOffset > size)
            return fail("palette cut short");
        count = std::min(count, (size - paletteOffset) / paletteEntrySize);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* entry = p + paletteOffset + i * paletteEntrySize;
            palette.words.push_back(0xFF000000u | uint32_t(entry[2]) << 16 | uint32_t(entry[1]) << 8 | entry[0]);
        }
    }

    const uint64_t rowBytes = (uint64_t(bitsPerPixel) * uint64_t(width) + 31) / 32 * 4;
    if (pixelOffset > size || rowBytes * uint64_t(height) > size - pixelOffset)
        return fail("pixels cut short");
    Surface surface = Surface::create(int(width), int(height));
    if (!surface)
        return fail("out of memory");
    const bool hasAlpha = alpha.maximum != 0;
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* source = p + pixelOffset + size_t(row) * rowBytes;
        int64_t y = topDown ? row : height - 1 - row;
        auto* destination = surface.row(int(y));
        for (int64_t x = 0; x < width; ++x) {
            uint32_t word;
            switch (bitsPerPixel) {
            case 1: word = palette[(source[x >> 3] >> (7 - (x & 7))) & 1]; break;
            case 4: word = palette[(source[x >> 1] >> (x & 1 ? 0 : 4)) & 0xF]; break;
            case 8: word = palette[source[x]]; break;
            default: {
                uint32_t value;
                if (bitsPerPixel == 16)
                    value = read16(source + x * 2);
                else if (bitsPerPixel == 24)
                    value = uint32_t(source[x * 3]) | uint32_t(source[x * 3 + 1]) << 8 | uint32_t(source[x * 3 + 2]) << 16;
                else
                    value = read32(source + x * 4);
                word = premultipliedWord(red(value), green(value), blue(value), hasAlpha ? alpha(value) : 255);
            }
            }
            std::memcpy(destination + size_t(x) * 4, &word, 4);
        }
    }
    surface.markDirty();
    return surface;
}

} // namespace gfx::codecs
