// PNG through libpng's simplified interface: every colour type and depth
// comes out as 8-bit straight-alpha words, errors stay inside the library's
// own jump and message buffer.

#include "Platform/Graphics/ImageCodecs.h"

#include <algorithm>
#include <cstring>
#include <png.h>
#include <vector>

namespace gfx::codecs {

namespace {

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr png_uint_32 kNativeFormat = PNG_FORMAT_BGRA;
constexpr size_t kAlphaByte = 3;
#else
constexpr size_t kAlphaByte = 0;
constexpr png_uint_32 kNativeFormat = PNG_FORMAT_ARGB;
#endif

} // namespace

Surface decodePNG(std::string_view bytes, int64_t pixelLimit, std::string* failure)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        if (failure)
            *failure = image.message;
        return {};
    }
    if (int64_t(image.width) * image.height > pixelLimit || image.width > INT32_MAX || image.height > INT32_MAX) {
        png_image_free(&image);
        if (failure)
            *failure = "too many pixels";
        return {};
    }
    Surface surface = Surface::create(int(image.width), int(image.height));
    if (!surface) {
        png_image_free(&image);
        if (failure)
            *failure = "out of memory";
        return {};
    }
    image.format = kNativeFormat;
    if (!png_image_finish_read(&image, nullptr, surface.row(0), surface.stride(), nullptr)) {
        if (failure)
            *failure = image.message;
        png_image_free(&image);
        return {};
    }
    for (int y = 0; y < surface.height(); ++y)
        premultiply(surface.row(y), surface.width());
    surface.markDirty();
    return surface;
}

std::optional<std::string> encodePNG(const Surface& pixels)
{
    if (!pixels)
        return std::nullopt;
    pixels.flush();
    // Back to straight alpha, row by row into one buffer; an opaque picture
    // is written without an alpha channel.
    int width = pixels.width(), height = pixels.height();
    bool opaque = true;
    for (int y = 0; y < height && opaque; ++y) {
        const uint8_t* source = pixels.row(y);
        for (int x = 0; x < width && opaque; ++x)
            opaque = source[size_t(x) * 4 + kAlphaByte] == 255;
    }
    const size_t channels = opaque ? 3 : 4;
    std::vector<uint8_t> straight(size_t(width) * channels * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* source = pixels.row(y);
        uint8_t* destination = straight.data() + size_t(y) * size_t(width) * channels;
        for (int x = 0; x < width; ++x, source += 4, destination += channels) {
            uint32_t word;
            std::memcpy(&word, source, 4);
            unsigned alpha = word >> 24;
            auto unmultiply = [alpha](unsigned c) -> uint8_t {
                return alpha == 0 ? 0 : uint8_t(std::min(255u, (c * 255 + alpha / 2) / alpha));
            };
            destination[0] = unmultiply((word >> 16) & 0xFF);
            destination[1] = unmultiply((word >> 8) & 0xFF);
            destination[2] = unmultiply(word & 0xFF);
            if (!opaque)
                destination[3] = uint8_t(alpha);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, straight.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    std::string result(size, '\0');
    if (!png_image_write_to_memory(&image, result.data(), &size, 0, straight.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    result.resize(size);
    return result;
}

} // namespace gfx::codecs
