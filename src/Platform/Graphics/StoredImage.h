#pragma once

// Pictures as their pixels are stored. A layer that turns a picture by its
// orientation itself (an image viewer's zoom transform) shows the stored
// bitmap unturned; and tests count decodes to check that a refused picture
// was never decoded.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <memory>

namespace gfx {

class Image;

// The picture itself when upright; else a picture of the same decoded
// pixels (shared, not copied) marked upright, so that it draws as stored.
// Nothing when the pixels cannot be had.
std::shared_ptr<Image> imageWithStoredPixels(const std::shared_ptr<Image>& image);

// Part of the stored bitmap (`region` in stored pixels, clipped to the
// picture and rounded outward) made `width` × `height` pixels (at most the
// part's own size), carrying the picture's orientation: the whole region
// gives the picture at a smaller size. A PNG or JPEG is read row by row and
// reduced as it comes, a WebP cropped and scaled as libwebp decodes it, and
// an SVG's part drawn at that size, so a picture far larger than the memory
// it may use is shown at the size shown; other kinds (and interlaced PNGs)
// are decoded whole once. Nothing when the pixels cannot be had. Any thread.
std::shared_ptr<Image> imageOfStoredRegion(const Image& image, const Rect& region, int width, int height);

// How many times any picture's pixels were decoded from their bytes.
uint64_t imageDecodeCountForTesting();

} // namespace gfx
