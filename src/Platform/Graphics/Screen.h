#pragma once

// The device's main screen: its bounds in points and its scale (pixels per
// point). Headless, so both are settings: 320 × 480 at scale 2 unless a host
// or a test says otherwise. Read from any thread.

#include "Platform/Graphics/Geometry.h"

namespace gfx {

class Screen {
public:
    static Screen& main();

    Rect bounds() const;
    float scale() const;
    // The bounds in pixels.
    Size pixelSize() const;

    void setBounds(const Rect& bounds);
    // Ignored unless positive and finite.
    void setScale(float scale);
    // Back to 320 × 480 at 2 (tests).
    void reset();

private:
    Screen() = default;
};

} // namespace gfx
