// PNG through libpng's simplified interface: every colour type and depth
// comes out as 8-bit straight-alpha words, errors stay inside the library's
// own jump and message buffer. Part of a picture is read row by row through
// the classic interface instead, reduced as the rows come.

#include "Platform/Graphics/ImageCodecs.h"
#include "Platform/Graphics/RowReducer.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
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

// Everything a row decode touches lives here, outside the frame that calls
// setjmp, so that nothing of it is lost when libpng jumps back.
struct RowDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ByteReader reader;
    std::string message;
    std::vector<uint8_t> row;
    std::unique_ptr<RowReducer> reducer;

    RowDecoder(std::string_view bytes, BytesDone done)
        : reader(bytes, std::move(done))
    {
    }
    ~RowDecoder() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void failByJump(png_structp png, png_const_charp message)
{
    static_cast<RowDecoder*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) { }

void readPNGBytes(png_structp png, png_bytep data, size_t length)
{
    auto* decoder = static_cast<RowDecoder*>(png_get_io_ptr(png));
    if (decoder->reader.read(data, length) != length)
        png_error(png, "premature end of data");
}

bool decodeRows(RowDecoder& d, const RegionRequest& request, int64_t pixelLimit)
{
    if (setjmp(png_jmpbuf(d.png)))
        return false;
    png_set_read_fn(d.png, &d, readPNGBytes);
    png_read_info(d.png, d.info);
    png_uint_32 width = png_get_image_width(d.png, d.info), height = png_get_image_height(d.png, d.info);
    if (int64_t(width) * height > pixelLimit || width > INT32_MAX || height > INT32_MAX) {
        d.message = "too many pixels";
        return false;
    }
    if (png_get_interlace_type(d.png, d.info) != PNG_INTERLACE_NONE) {
        // Its rows come in seven passes over the whole picture.
        d.message = "interlaced";
        return false;
    }
    if (request.x < 0 || request.y < 0 || int64_t(request.x) + request.width > width
        || int64_t(request.y) + request.height > height) {
        d.message = "region outside the picture";
        return false;
    }
    png_set_expand(d.png);
    png_set_strip_16(d.png);
    png_set_gray_to_rgb(d.png);
    png_set_add_alpha(d.png, 0xFF, PNG_FILLER_AFTER);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    png_set_bgr(d.png);
#else
    png_set_swap_alpha(d.png);
#endif
    png_read_update_info(d.png, d.info);
    if (png_get_rowbytes(d.png, d.info) != size_t(width) * 4) {
        d.message = "unexpected row layout";
        return false;
    }
    d.reducer = std::make_unique<RowReducer>(request.x, request.y, request.width, request.height, request.outputWidth,
        request.outputHeight);
    if (!d.reducer->isValid()) {
        d.message = "out of memory";
        return false;
    }
    d.row.resize(size_t(width) * 4);
    for (int y = 0; y < d.reducer->endRow(); ++y) {
        png_read_row(d.png, d.row.data(), nullptr);
        if (y < d.reducer->firstRow())
            continue;
        premultiply(d.row.data() + size_t(request.x) * 4, request.width);
        d.reducer->addRow(y, d.row.data());
    }
    return true;
}

} // namespace

Surface decodePNGRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure)
{
    RowDecoder decoder(bytes, request.bytesDone);
    decoder.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoder, failByJump, ignoreWarning);
    decoder.info = decoder.png ? png_create_info_struct(decoder.png) : nullptr;
    Surface result;
    if (decoder.info && decodeRows(decoder, request, pixelLimit))
        result = decoder.reducer->finish();
    if (!result && failure)
        *failure = decoder.message.empty() ? "out of memory" : decoder.message;
    return result;
}

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
