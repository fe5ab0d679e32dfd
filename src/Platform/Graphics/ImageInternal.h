#pragma once

// For the graphics layer's own code: the pixels behind a gfx::Image and
// images made from pixels.

#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/ImageCodecs.h"

namespace gfx {

struct ImageAccess {
    // Pixels for drawing at `fraction` of the stored size or more (1 for
    // full size): a JPEG may be decoded smaller. Empty when the image cannot
    // be decoded (logged once).
    static codecs::Surface pixels(const Image& image, double fraction);
    static const core::Data& encodedData(const Image& image);
    // An image of these pixels, taken as stored.
    static std::shared_ptr<Image> imageWithPixels(codecs::Surface pixels, float scale, ImageOrientation orientation);
    // The image turned upright at full size.
    static codecs::Surface uprightPixels(const Image& image);
};

// Stored pixel coordinates (y down from the top-left pixel) to the upright
// picture's pixel coordinates (y down), for a stored bitmap of W × H.
AffineTransform orientationTransform(ImageOrientation orientation, double width, double height);
bool swapsSides(ImageOrientation orientation);

} // namespace gfx
