#include "Platform/UI/SwipeGestureRecognizer.h"

#include "Platform/UI/View.h"

#include <cmath>

namespace ui {

void SwipeGestureRecognizer::touchesBegan(const TouchSet&, const Event&)
{
    if (int(numberOfTouches()) > m_touchesRequired) {
        setState(State::Failed);
        return;
    }
    m_start = locationInView(nullptr);
    scheduleTimer(MaximumDuration, [this] {
        if (state() == State::Possible)
            setState(State::Failed);
    });
}

bool SwipeGestureRecognizer::travelled() const
{
    // Directions are the view's: in a turned interface the window's "up" is
    // the view's "left". The travel is a vector, so both ends are mapped.
    gfx::Point p = locationInView(nullptr);
    float dx = p.x - m_start.x, dy = p.y - m_start.y;
    if (const View* v = view()) {
        gfx::Point origin = v->convertPointFrom({ 0, 0 }, nullptr);
        gfx::Point end = v->convertPointFrom({ dx, dy }, nullptr);
        dx = end.x - origin.x;
        dy = end.y - origin.y;
    }
    auto along = [&](unsigned direction, float distance, float sideways) {
        return (m_direction & direction) && distance >= MinimumDistance && std::abs(sideways) < distance;
    };
    return along(Right, dx, dy) || along(Left, -dx, dy) || along(Down, dy, dx) || along(Up, -dy, dx);
}

void SwipeGestureRecognizer::touchesMoved(const TouchSet&, const Event&)
{
    if (int(numberOfTouches()) == m_touchesRequired && travelled())
        setState(Recognized);
}

void SwipeGestureRecognizer::touchesEnded(const TouchSet&, const Event&)
{
    if (state() != State::Possible)
        return;
    if (int(numberOfTouches()) == m_touchesRequired && travelled())
        setState(Recognized);
    else
        setState(State::Failed);
}

} // namespace ui
