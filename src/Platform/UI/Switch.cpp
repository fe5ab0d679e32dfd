#include "Platform/UI/Switch.h"

namespace ui {

std::shared_ptr<Switch> Switch::create(const gfx::Rect& frame)
{
    return View::make<Switch>(frame);
}

void Switch::setOn(bool on, bool)
{
    if (m_on == on)
        return;
    m_on = on;
    setNeedsDisplay();
}

void Switch::setFrame(const gfx::Rect& frame)
{
    View::setFrame({ frame.origin, Size });
}

gfx::Size Switch::sizeThatFits(gfx::Size) const
{
    return Size;
}

void Switch::endTracking(const Touch*, const Event* event)
{
    if (!isTouchInside())
        return;
    toggle(event);
}

void Switch::toggle(const Event* event)
{
    setOn(!m_on, true);
    sendActions(ValueChanged, event);
}

} // namespace ui
