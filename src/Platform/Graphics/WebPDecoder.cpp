// WebP through libwebp, decoded straight into premultiplied words, a part of
// it cropped and made smaller as it is decoded. Animated files are refused by
// the still-image decoder.

#include "Platform/Graphics/ImageCodecs.h"

#include <webp/decode.h>

#include <algorithm>

namespace gfx::codecs {

std::optional<Header> readWebPHeader(std::string_view bytes)
{
    int width = 0, height = 0;
    if (!WebPGetInfo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &width, &height) || width <= 0
        || height <= 0)
        return std::nullopt;
    return Header { ImageFormat::WebP, width, height, ImageOrientation::Up };
}

namespace {

// The still picture, or the part of it `request` asks for at its output size
// (libwebp crops and scales as it decodes, holding a few rows).
Surface decode(std::string_view bytes, const RegionRequest* request, int64_t pixelLimit, std::string* failure)
{
    auto fail = [failure](const char* reason) {
        if (failure)
            *failure = reason;
        return Surface();
    };
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return fail("decoder version");
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (WebPGetFeatures(data, bytes.size(), &config.input) != VP8_STATUS_OK)
        return fail("not a WebP");
    if (config.input.has_animation)
        return fail("animated");
    int width = config.input.width, height = config.input.height;
    if (width <= 0 || height <= 0 || int64_t(width) * height > pixelLimit)
        return fail("bad size");
    int outputWidth = width, outputHeight = height;
    if (request) {
        if (request->x < 0 || request->y < 0 || request->width <= 0 || request->height <= 0
            || int64_t(request->x) + request->width > width || int64_t(request->y) + request->height > height)
            return fail("region outside the picture");
        outputWidth = std::min(request->outputWidth, request->width);
        outputHeight = std::min(request->outputHeight, request->height);
        if (outputWidth <= 0 || outputHeight <= 0)
            return fail("no size");
        config.options.use_cropping = request->width != width || request->height != height;
        config.options.crop_left = request->x;
        config.options.crop_top = request->y;
        config.options.crop_width = request->width;
        config.options.crop_height = request->height;
        config.options.use_scaling = outputWidth != request->width || outputHeight != request->height;
        config.options.scaled_width = outputWidth;
        config.options.scaled_height = outputHeight;
    }
    Surface surface = Surface::create(outputWidth, outputHeight);
    if (!surface)
        return fail("out of memory");
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    config.output.colorspace = MODE_bgrA;
#else
    config.output.colorspace = MODE_Argb;
#endif
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = surface.row(0);
    config.output.u.RGBA.stride = surface.stride();
    config.output.u.RGBA.size = size_t(surface.stride()) * size_t(outputHeight);
    VP8StatusCode status = WebPDecode(data, bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return fail("damaged pixels");
    surface.markDirty();
    return surface;
}

} // namespace

Surface decodeWebP(std::string_view bytes, int64_t pixelLimit, std::string* failure)
{
    return decode(bytes, nullptr, pixelLimit, failure);
}

Surface decodeWebPRegion(std::string_view bytes, const RegionRequest& request, int64_t pixelLimit, std::string* failure)
{
    return decode(bytes, &request, pixelLimit, failure);
}

} // namespace gfx::codecs
