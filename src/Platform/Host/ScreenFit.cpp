#include "Platform/Host/ScreenFit.h"

#include <algorithm>
#include <cmath>

namespace ui {

namespace {

// Exact quarter turns (a rotation by a float angle leaves crumbs).
gfx::AffineTransform turn(Orientation interface)
{
    switch (interface) {
    case Orientation::LandscapeRight: // content turned +π/2 on the screen: back by −π/2
        return { 0, -1, 1, 0, 0, 0 };
    case Orientation::LandscapeLeft:
        return { 0, 1, -1, 0, 0, 0 };
    case Orientation::PortraitUpsideDown:
        return { -1, 0, 0, -1, 0, 0 };
    default:
        return gfx::AffineTransform::identity();
    }
}

} // namespace

ScreenFit::ScreenFit(gfx::Size screen, Orientation interface, gfx::Size area)
    : m_screen(screen)
{
    bool sideways = isLandscape(interface);
    gfx::Size shown = sideways ? gfx::Size { screen.height, screen.width } : screen;
    if (shown.width > 0 && shown.height > 0 && area.width > 0 && area.height > 0)
        m_fit = std::min(area.width / shown.width, area.height / shown.height);
    gfx::Size placed { shown.width * m_fit, shown.height * m_fit };
    m_picture = { (area.width - placed.width) / 2, (area.height - placed.height) / 2, placed.width, placed.height };
    m_toArea = gfx::AffineTransform::translation(-screen.width / 2, -screen.height / 2)
                   .concatenating(turn(interface))
                   .concatenating(gfx::AffineTransform::scale(m_fit, m_fit))
                   .concatenating(gfx::AffineTransform::translation(area.width / 2, area.height / 2));
    m_toScreen = m_toArea.inverted();
}

gfx::Point ScreenFit::screenPoint(gfx::Point areaPoint) const
{
    gfx::Point p = m_toScreen.apply(areaPoint);
    return { std::clamp(p.x, 0.0f, std::max(0.0f, m_screen.width - 0.01f)),
        std::clamp(p.y, 0.0f, std::max(0.0f, m_screen.height - 0.01f)) };
}

gfx::Point ScreenFit::screenDelta(gfx::Point areaDelta) const
{
    gfx::Point origin = m_toScreen.apply(gfx::Point { 0, 0 });
    gfx::Point moved = m_toScreen.apply(areaDelta);
    return { moved.x - origin.x, moved.y - origin.y };
}

gfx::Rect ScreenFit::areaRect(const gfx::Rect& screenRect) const
{
    gfx::Rect r = m_toArea.apply(screenRect);
    if (r.isEmpty())
        return gfx::Rect::zero();
    float x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    float x1 = std::ceil(r.maxX()), y1 = std::ceil(r.maxY());
    return { x0, y0, x1 - x0, y1 - y0 };
}

} // namespace ui
