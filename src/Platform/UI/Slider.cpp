#include "Platform/UI/Slider.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Touch.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

std::shared_ptr<Slider> Slider::create(const gfx::Rect& frame)
{
    return View::make<Slider>(frame);
}

void Slider::setValue(float value, bool)
{
    requireFinite(value, "Slider::setValue");
    value = std::clamp(value, m_minimum, std::max(m_minimum, m_maximum));
    if (value == m_value)
        return;
    m_value = value;
    setNeedsDisplay();
}

void Slider::setThumbImage(StretchableImage image, unsigned state)
{
    m_thumbImages[state] = std::move(image);
    setNeedsDisplay();
}

void Slider::setMinimumTrackImage(StretchableImage image, unsigned state)
{
    m_minimumTrackImages[state] = std::move(image);
    setNeedsDisplay();
}

void Slider::setMaximumTrackImage(StretchableImage image, unsigned state)
{
    m_maximumTrackImages[state] = std::move(image);
    setNeedsDisplay();
}

gfx::Rect Slider::trackRectForBounds(const gfx::Rect& bounds) const
{
    return { bounds.x(), bounds.y() + (bounds.height() - TrackHeight) / 2, bounds.width(), TrackHeight };
}

gfx::Rect Slider::thumbRectForBounds(const gfx::Rect& bounds, const gfx::Rect& track, float value) const
{
    float range = m_maximum - m_minimum;
    float fraction = range > 0 ? (value - m_minimum) / range : 0;
    float x = track.x() + fraction * std::max(0.0f, track.width() - ThumbSize);
    return { x, bounds.y() + (bounds.height() - ThumbSize) / 2, ThumbSize, ThumbSize };
}

float Slider::valueForThumbCenter(float x) const
{
    gfx::Rect track = trackRectForBounds(bounds());
    float travel = track.width() - ThumbSize;
    if (travel <= 0)
        return m_minimum;
    float fraction = std::clamp((x - track.x() - ThumbSize / 2) / travel, 0.0f, 1.0f);
    return m_minimum + fraction * (m_maximum - m_minimum);
}

bool Slider::beginTracking(const Touch& touch, const Event&)
{
    gfx::Rect b = bounds();
    gfx::Rect thumb = thumbRectForBounds(b, trackRectForBounds(b), m_value);
    gfx::Point p = touch.locationInView(this);
    // A touch on the thumb drags it from where it was grabbed; elsewhere it
    // does nothing.
    if (!thumb.insetBy(-10, -10).contains(p))
        return false;
    m_grabOffset = p.x - thumb.midX();
    m_changed = false;
    return true;
}

bool Slider::continueTracking(const Touch& touch, const Event& event)
{
    float value = valueForThumbCenter(touch.locationInView(this).x - m_grabOffset);
    if (value != m_value) {
        setValue(value);
        m_changed = true;
        if (m_continuous)
            sendActions(ValueChanged, &event);
    }
    return true;
}

void Slider::endTracking(const Touch*, const Event* event)
{
    if (m_changed && !m_continuous)
        sendActions(ValueChanged, event);
    m_changed = false;
}

std::string Slider::debugText() const
{
    return fmt::format("{:g}", m_value);
}

} // namespace ui
