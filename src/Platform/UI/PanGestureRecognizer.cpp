#include "Platform/UI/PanGestureRecognizer.h"

#include "Platform/UI/Event.h"
#include "Platform/UI/View.h"

#include <cmath>

namespace ui {

gfx::Point PanGestureRecognizer::toView(gfx::Point vector, const View* view) const
{
    if (!view)
        return vector;
    // A vector, not a point: map both ends.
    gfx::Point origin = view->convertPointFrom({ 0, 0 }, nullptr);
    gfx::Point end = view->convertPointFrom(vector, nullptr);
    return { end.x - origin.x, end.y - origin.y };
}

gfx::Point PanGestureRecognizer::translationInView(const View* view) const
{
    return toView({ m_last.x - m_start.x, m_last.y - m_start.y }, view);
}

gfx::Point PanGestureRecognizer::velocityInView(const View* view) const
{
    return toView(m_velocity, view);
}

void PanGestureRecognizer::touchesBegan(const TouchSet&, const Event& event)
{
    if (numberOfTouches() > m_maximumTouches) {
        if (state() == State::Possible)
            setState(State::Failed);
        return;
    }
    if (state() == State::Possible) {
        m_start = m_last = locationInView(nullptr);
        m_lastTime = event.timestamp();
    }
}

void PanGestureRecognizer::touchesMoved(const TouchSet&, const Event& event)
{
    gfx::Point p = locationInView(nullptr);
    double dt = event.timestamp() - m_lastTime;
    if (dt > 0)
        m_velocity = { float((p.x - m_last.x) / dt), float((p.y - m_last.y) / dt) };
    m_last = p;
    m_lastTime = event.timestamp();
    if (state() == State::Possible) {
        if (numberOfTouches() >= m_minimumTouches && std::hypot(p.x - m_start.x, p.y - m_start.y) > Hysteresis)
            setState(State::Began);
    } else {
        setState(State::Changed);
    }
}

void PanGestureRecognizer::touchesEnded(const TouchSet& touches, const Event& event)
{
    if (touches.size() < numberOfTouches())
        return;
    if (event.timestamp() - m_lastTime > 0.1)
        m_velocity = {};
    if (state() == State::Began || state() == State::Changed)
        setState(State::Ended);
    else
        setState(State::Failed);
}

void PanGestureRecognizer::reset()
{
    GestureRecognizer::reset();
    m_start = m_last = m_velocity = {};
}

} // namespace ui
