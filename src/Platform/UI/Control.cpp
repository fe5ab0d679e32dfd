#include "Platform/UI/Control.h"

#include "Platform/UI/Checks.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Touch.h"

namespace ui {

void Control::addTarget(const std::shared_ptr<core::Object>& target, std::string action, Action function, unsigned events)
{
    requireMainThread("Control::addTarget");
    m_targets.add(target, std::move(action), std::move(function), events);
}

void Control::removeTarget(const core::Object* target, std::string_view action, unsigned events)
{
    m_targets.remove(target, action, events);
}

void Control::sendActions(unsigned events, const Event* event)
{
    requireMainThread("Control::sendActions");
    auto self = shared_from_this();
    m_targets.send(events, *this, event);
}

void Control::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    if (!enabled && m_tracking) {
        m_tracking = false;
        setHighlighted(false);
    }
    setNeedsDisplay();
}

void Control::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted)
{
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

unsigned Control::state() const
{
    unsigned s = Normal;
    if (m_highlighted)
        s |= Highlighted;
    if (!m_enabled)
        s |= Disabled;
    if (m_selected)
        s |= Selected;
    return s;
}

void Control::setContentHorizontalAlignment(ContentHorizontalAlignment alignment)
{
    m_horizontalAlignment = alignment;
    setNeedsLayout();
}

void Control::setContentVerticalAlignment(ContentVerticalAlignment alignment)
{
    m_verticalAlignment = alignment;
    setNeedsLayout();
}

bool Control::beginTracking(const Touch&, const Event&)
{
    return true;
}

bool Control::continueTracking(const Touch&, const Event&)
{
    return true;
}

void Control::endTracking(const Touch*, const Event*) { }

void Control::cancelTracking(const Event*) { }

View* Control::hitTest(gfx::Point point, const Event* event)
{
    if (!m_enabled)
        return nullptr;
    return View::hitTest(point, event);
}

bool Control::isWithinTolerance(gfx::Point point) const
{
    gfx::Rect b = bounds();
    gfx::Rect around(b.x() - TouchTolerance, b.y() - TouchTolerance, b.width() + 2 * TouchTolerance,
        b.height() + 2 * TouchTolerance);
    return around.contains(point);
}

void Control::touchesBegan(const TouchSet& touches, const Event& event)
{
    if (!m_enabled || touches.empty())
        return;
    const Touch& touch = *touches.front();
    m_tracking = true;
    m_touchInside = true;
    setHighlighted(true);
    sendActions(touch.tapCount() > 1 ? TouchDown | TouchDownRepeat : TouchDown, &event);
    if (m_tracking && !beginTracking(touch, event))
        m_tracking = false;
}

void Control::touchesMoved(const TouchSet& touches, const Event& event)
{
    if (!m_tracking || touches.empty())
        return;
    const Touch& touch = *touches.front();
    bool inside = isWithinTolerance(touch.locationInView(this));
    bool wasInside = m_touchInside;
    m_touchInside = inside;
    setHighlighted(inside);
    if (inside != wasInside)
        sendActions(inside ? TouchDragEnter : TouchDragExit, &event);
    sendActions(inside ? TouchDragInside : TouchDragOutside, &event);
    if (m_tracking && !continueTracking(touch, event))
        m_tracking = false;
}

void Control::touchesEnded(const TouchSet& touches, const Event& event)
{
    if (!m_tracking || touches.empty())
        return;
    const Touch& touch = *touches.front();
    bool inside = isWithinTolerance(touch.locationInView(this));
    m_touchInside = inside;
    m_tracking = false;
    setHighlighted(false);
    endTracking(&touch, &event);
    sendActions(inside ? TouchUpInside : TouchUpOutside, &event);
    m_touchInside = false;
}

void Control::touchesCancelled(const TouchSet&, const Event& event)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    m_touchInside = false;
    setHighlighted(false);
    cancelTracking(&event);
    sendActions(TouchCancel, &event);
}

} // namespace ui
