// WebP through libwebp, decoded straight into premultiplied words. Animated
// files are refused by the still-image decoder.

#include "Platform/Graphics/ImageCodecs.h"

#include <webp/decode.h>

namespace gfx::codecs {

std::optional<Header> readWebPHeader(std::string_view bytes)
{
    int width = 0, height = 0;
    if (!WebPGetInfo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &width, &height) || width <= 0
        || height <= 0)
        return std::nullopt;
    return Header { ImageFormat::WebP, width, height, ImageOrientation::Up };
}

Surface decodeWebP(std::string_view bytes, int64_t pixelLimit, std::string* failure)
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
    Surface surface = Surface::create(width, height);
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
    config.output.u.RGBA.size = size_t(surface.stride()) * size_t(height);
    VP8StatusCode status = WebPDecode(data, bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        return fail("damaged pixels");
    surface.markDirty();
    return surface;
}

} // namespace gfx::codecs
