#pragma once

// Pictures as their pixels are stored. A layer that turns a picture by its
// orientation itself (an image viewer's zoom transform) shows the stored
// bitmap unturned; and tests count decodes to check that a refused picture
// was never decoded.

#include <cstdint>
#include <memory>

namespace gfx {

class Image;

// The picture itself when upright; else a picture of the same decoded
// pixels (shared, not copied) marked upright, so that it draws as stored.
// Nothing when the pixels cannot be had.
std::shared_ptr<Image> imageWithStoredPixels(const std::shared_ptr<Image>& image);

// How many times any picture's pixels were decoded from their bytes.
uint64_t imageDecodeCountForTesting();

} // namespace gfx
