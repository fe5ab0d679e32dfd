#pragma once

// A context drawing into memory: premultiplied RGBA pixels, 8 bits per
// component, rows of any multiple of 4 bytes not below 4 × width. User space
// has its origin at the bottom-left corner and y up, as the device's bitmap
// contexts have; row 0 of the memory is the top row of the picture.

#include "Platform/Core/Error.h"
#include "Platform/Graphics/Context.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace gfx {

struct Pixel {
    uint8_t red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const Pixel&) const = default;
};

class BitmapContext : public Context {
public:
    // Nothing for a zero or negative size, one over 2^28 pixels, or row bytes
    // that are not a multiple of 4 at least 4 × width (0 picks 4 × width).
    // The pixels start transparent.
    static std::unique_ptr<BitmapContext> create(int width, int height, size_t bytesPerRow = 0);
    ~BitmapContext() override;

    int width() const { return m_width; }
    int height() const { return m_height; }
    size_t bytesPerRow() const { return m_bytesPerRow; }

    // The premultiplied pixel in `column` of `row` (row 0 at the top); a
    // transparent pixel outside the bitmap.
    Pixel pixelAt(int column, int row) const;

    // Writes the bitmap as a PNG (straight alpha) through a temporary file
    // and a rename.
    bool writePNG(const std::string& path, core::Error* error = nullptr) const;

private:
    BitmapContext(void* surface, void* cairoContext, int width, int height, size_t bytesPerRow);
    void* m_surface;
    int m_width;
    int m_height;
    size_t m_bytesPerRow;
};

} // namespace gfx
