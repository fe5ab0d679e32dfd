// TIFF through libtiff, read from memory. Pixels come out in stored order (the
// orientation tag is asked for as it is, so nothing is flipped here and the
// orientation applies once, when drawing). libtiff's messages go to the
// caller's failure text, never to stderr.

#include "Platform/Graphics/ImageCodecs.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <tiffio.h>
#include <vector>

namespace gfx::codecs {

namespace {

struct Source : ByteReader {
    using ByteReader::ByteReader;
    std::string message;
};

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t length)
{
    return tmsize_t(static_cast<Source*>(handle)->read(buffer, size_t(length > 0 ? length : 0)));
}

tmsize_t writeProc(thandle_t, void*, tmsize_t)
{
    return 0;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto* source = static_cast<Source*>(handle);
    uint64_t base = whence == SEEK_CUR ? source->offset : whence == SEEK_END ? source->size : 0;
    uint64_t target = base + offset;
    if (target < base) // wrapped
        return toff_t(-1);
    source->offset = size_t(std::min<uint64_t>(target, source->size));
    return toff_t(target);
}

int closeProc(thandle_t)
{
    return 0;
}

toff_t sizeProc(thandle_t handle)
{
    return static_cast<Source*>(handle)->size;
}

int mapProc(thandle_t handle, void** base, toff_t* size)
{
    auto* source = static_cast<Source*>(handle);
    *base = const_cast<uint8_t*>(source->bytes);
    *size = source->size;
    return 1;
}

void unmapProc(thandle_t, void*, toff_t) { }

int keepMessage(TIFF*, void* data, const char* module, const char* format, va_list arguments)
{
    auto* source = static_cast<Source*>(data);
    if (source->message.empty()) {
        char buffer[256];
        std::vsnprintf(buffer, sizeof buffer, format, arguments);
        source->message = std::string(module ? module : "TIFF") + ": " + buffer;
    }
    return 1;
}

int ignoreMessage(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct TIFFCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

std::unique_ptr<TIFF, TIFFCloser> open(Source& source, int64_t pixelLimit)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepMessage, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreMessage, nullptr);
    // No single buffer beyond what the picture itself may take.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(std::max<int64_t>(int64_t(64) << 20, pixelLimit * 4)));
    TIFF* tiff = TIFFClientOpenExt("image", "rm", &source, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
        unmapProc, options);
    TIFFOpenOptionsFree(options);
    return std::unique_ptr<TIFF, TIFFCloser>(tiff);
}

} // namespace

std::optional<Header> readTIFFHeader(std::string_view bytes)
{
    Source source(bytes);
    auto tiff = open(source, kMaximumPixels);
    if (!tiff)
        return std::nullopt;
    uint32_t width = 0, height = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return std::nullopt;
    return Header { ImageFormat::TIFF, int(width), int(height), orientationFromTagValue(orientation) };
}

Surface decodeTIFF(std::string_view bytes, int64_t pixelLimit, std::string* failure)
{
    Source source(bytes);
    auto fail = [&](const std::string& reason) {
        if (failure)
            *failure = source.message.empty() ? reason : source.message;
        return Surface();
    };
    auto tiff = open(source, pixelLimit);
    if (!tiff)
        return fail("not a TIFF");
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), message))
        return fail(message);
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tiff.get(), 1, message))
        return fail(message);
    struct Ender {
        TIFFRGBAImage* image;
        ~Ender() { TIFFRGBAImageEnd(image); }
    } ender { &image };
    if (image.width == 0 || image.height == 0 || int64_t(image.width) * image.height > pixelLimit)
        return fail("too many pixels");
    image.req_orientation = image.orientation;
    Surface surface = Surface::create(int(image.width), int(image.height));
    if (!surface)
        return fail("out of memory");
    // ARGB32 rows are exactly 4 × width bytes, libtiff's raster layout.
    auto* raster = reinterpret_cast<uint32_t*>(surface.row(0));
    if (size_t(surface.stride()) != size_t(image.width) * 4 || !TIFFRGBAImageGet(&image, raster, image.width, image.height))
        return fail("damaged pixels");
    // libtiff's words are A B G R from the top byte (premultiplied).
    for (size_t i = 0, count = size_t(image.width) * image.height; i < count; ++i) {
        uint32_t word = raster[i];
        raster[i] = (word & 0xFF00FF00u) | (word & 0xFF) << 16 | ((word >> 16) & 0xFF);
    }
    surface.markDirty();
    return surface;
}

} // namespace gfx::codecs
