#include "Viewers/AudioPlayer/VKSlider.h"

#include "Platform/UI/Touch.h"

#include <algorithm>

std::shared_ptr<VKSlider> VKSlider::create(const gfx::Rect& frame)
{
    return View::make<VKSlider>(frame);
}

gfx::Rect VKSlider::virtualThumbRect() const
{
    gfx::Rect b = bounds();
    gfx::Rect thumb = thumbRectForBounds(b, trackRectForBounds(b), value());
    float dx = thumb.width() < MinimumTouchSide ? (thumb.width() - MinimumTouchSide) * 0.5f : 0;
    float dy = thumb.height() < MinimumTouchSide ? (thumb.height() - MinimumTouchSide) * 0.5f : 0;
    return thumb.insetBy(dx, dy);
}

ui::View* VKSlider::hitTest(gfx::Point point, const ui::Event*)
{
    if (isHidden() || !isEnabled() || !isUserInteractionEnabled())
        return nullptr;
    return virtualThumbRect().contains(point) ? this : nullptr;
}

bool VKSlider::beginTracking(const ui::Touch& touch, const ui::Event&)
{
    // The first step of a drag is always taken.
    m_lastTouchTimestamp = 0;
    return virtualThumbRect().contains(touch.locationInView(this));
}

bool VKSlider::continueTracking(const ui::Touch& touch, const ui::Event& event)
{
    // Steps closer together than this would seek and redraw for nothing.
    if (touch.timestamp() - m_lastTouchTimestamp < MinimumDragInterval)
        return true;
    m_lastTouchTimestamp = touch.timestamp();
    gfx::Rect track = trackRectForBounds(bounds());
    if (track.width() <= 0)
        return true;
    float range = maximumValue() - minimumValue();
    float value = minimumValue() + (touch.locationInView(this).x - track.x()) * range / track.width();
    value = std::clamp(value, minimumValue(), maximumValue());
    if (value != this->value()) {
        setValue(value);
        sendActions(ValueChanged, &event);
    }
    return true;
}

bool VKSlider::isWithinTolerance(gfx::Point point) const
{
    return virtualThumbRect().contains(point);
}
