#pragma once

// A picture of the visible part of a page, as the engine drew it: the
// pixels, the place in the page (in points) the view was scrolled to when
// it was taken, and its size in points (pixels over the scale it was drawn
// at). Immutable; cairo stays in the .cpp file.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>

namespace gfx {
class Context;
}

namespace web {

class WebSnapshot {
public:
    // Takes a reference to `cairoSurface` (a cairo image surface, untyped here).
    WebSnapshot(void* cairoSurface, gfx::Point offset, float scale);
    ~WebSnapshot();
    WebSnapshot(const WebSnapshot&) = delete;
    WebSnapshot& operator=(const WebSnapshot&) = delete;

    gfx::Point offset() const { return m_offset; }
    gfx::Size size() const;
    int pixelWidth() const;
    int pixelHeight() const;
    float scale() const { return m_scale; }
    // The colour at a pixel (0xRRGGBB, alpha dropped); 0 outside.
    uint32_t rgbAtForTesting(int column, int row) const;

    // Draws the picture filling `rect`.
    void draw(gfx::Context& context, const gfx::Rect& rect) const;

private:
    void* m_surface;
    gfx::Point m_offset;
    float m_scale;
};

} // namespace web
