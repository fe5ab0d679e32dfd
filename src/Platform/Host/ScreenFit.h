#pragma once

// Where the device's screen shows in a desktop window's drawing area: the
// portrait screen turned upright for the interface's orientation, scaled to
// fit the area whole and centred, with bars on the sides that are left
// over. Drawing and input use the same mapping, so a click lands on what is
// drawn under it. Area coordinates are the toolkit's logical pixels (GDK's).

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Orientation.h"

namespace ui {

class ScreenFit {
public:
    ScreenFit() = default;
    // `screen`: the screen's size in points (portrait); `interface`: how the
    // interface stands in it; `area`: the drawing area's size.
    ScreenFit(gfx::Size screen, Orientation interface, gfx::Size area);

    // Screen points → area pixels.
    const gfx::AffineTransform& screenToArea() const { return m_toArea; }
    // Area pixels → screen points, clamped onto the screen.
    gfx::Point screenPoint(gfx::Point areaPoint) const;
    // A screen vector (a scroll's delta) for an area one.
    gfx::Point screenDelta(gfx::Point areaDelta) const;
    // The screen's rectangle in the area, in whole pixels, outward.
    gfx::Rect areaRect(const gfx::Rect& screenRect) const;
    // Area pixels per point.
    float fit() const { return m_fit; }
    // Where the screen's picture sits in the area.
    gfx::Rect picture() const { return m_picture; }

private:
    gfx::Size m_screen;
    gfx::AffineTransform m_toArea;
    gfx::AffineTransform m_toScreen;
    gfx::Rect m_picture;
    float m_fit = 1;
};

} // namespace ui
