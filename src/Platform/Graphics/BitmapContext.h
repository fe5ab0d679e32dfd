#pragma once

// A context drawing into memory: premultiplied RGBA pixels, 8 bits per
// component, rows of any multiple of 4 bytes not below 4 × width. User space
// has its origin at the bottom-left corner and y up, as the device's bitmap
// contexts have; row 0 of the memory is the top row of the picture. Image
// contexts (makeImageContext) are bitmap contexts whose space runs down from
// the top left in points of a given scale, as the device's image and view
// contexts do.

#include "Platform/Core/Error.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Context.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace gfx {
class Image;
}

namespace gfx {

struct Pixel {
    uint8_t red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const Pixel&) const = default;
};

class BitmapContext : public Context {
public:
    // Nothing for a zero or negative size, one over 2^28 pixels or 32,767 a
    // side, or row bytes that are not a multiple of 4 at least 4 × width (0
    // picks 4 × width).
    // The pixels start transparent.
    static std::unique_ptr<BitmapContext> create(int width, int height, size_t bytesPerRow = 0);
    ~BitmapContext() override;

    int width() const { return m_width; }
    int height() const { return m_height; }
    size_t bytesPerRow() const { return m_bytesPerRow; }

    // The premultiplied pixel in `column` of `row` (row 0 at the top); a
    // transparent pixel outside the bitmap.
    Pixel pixelAtForTesting(int column, int row) const;

    // Writes the bitmap as a PNG (straight alpha) through a temporary file
    // and a rename.
    bool writePNG(const std::string& path, core::Error* error = nullptr) const;

    // A copy of the pixels as an upright image of the context's scale.
    std::shared_ptr<Image> makeImage() const;
    // The same image without the copy: the pixels pass to the image and the
    // context, whose drawing would change them, goes.
    static std::shared_ptr<Image> takeImage(std::unique_ptr<BitmapContext> context);

    // Gives back to the system the freed pixel buffers kept for the next
    // bitmaps (up to 64 MiB): for a screen of large pictures that goes.
    static void releaseSpareMemory();

private:
    friend std::unique_ptr<BitmapContext> makeImageContext(Size size, float scale, const Color& background);
    static std::unique_ptr<BitmapContext> make(int width, int height, size_t bytesPerRow, const AffineTransform& base,
        uint32_t background = 0);
    BitmapContext(void* surface, void* cairoContext, int width, int height, size_t bytesPerRow, const AffineTransform& base);
    void* m_surface;
    int m_width;
    int m_height;
    size_t m_bytesPerRow;
};

// A context of `size` points at `scale` pixels per point (whole pixels,
// rounded up), y down from the top left; nothing for an empty size or a
// scale that is not positive. The pixels start transparent, or as
// `background` (a plain colour; a pattern counts as transparent) written
// once: a drawing that covers its picture with an opaque colour first
// starts from it instead and saves a pass over the pixels.
std::unique_ptr<BitmapContext> makeImageContext(Size size, float scale, const Color& background = Color());

} // namespace gfx
