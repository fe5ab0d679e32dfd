#include "Platform/UI/Event.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Clock.h"
#include "Platform/UI/Touch.h"

#include <algorithm>

namespace ui {

Event::Event(Type type, int subtype, TouchSet touches)
    : m_type(type)
    , m_subtype(subtype)
    , m_timestamp(core::RunLoop::main().clock()->monotonic())
    , m_touches(std::move(touches))
{
}

Event Event::touches(TouchSet touches)
{
    return Event(Type::Touches, None, std::move(touches));
}

Event Event::motion(int subtype)
{
    return Event(Type::Motion, subtype, {});
}

Event Event::remoteControl(int subtype)
{
    return Event(Type::RemoteControl, subtype, {});
}

Event Event::scroll(gfx::Point location, gfx::Point delta)
{
    Event event(Type::Scroll, None, {});
    event.m_scrollLocation = location;
    event.m_scrollDelta = delta;
    return event;
}

Event Event::zoom(gfx::Point location, float scale)
{
    Event event(Type::Zoom, None, {});
    event.m_scrollLocation = location;
    event.m_zoomScale = scale;
    return event;
}

TouchSet Event::touchesForView(const View* view) const
{
    TouchSet result;
    for (auto& touch : m_touches)
        if (touch->view().get() == view)
            result.push_back(touch);
    return result;
}

TouchSet Event::touchesForWindow(const Window* window) const
{
    TouchSet result;
    for (auto& touch : m_touches)
        if (touch->window() == window)
            result.push_back(touch);
    return result;
}

} // namespace ui
