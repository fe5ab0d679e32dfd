#include "Platform/UI/PinchGestureRecognizer.h"

#include "Platform/UI/Event.h"
#include "Platform/UI/Touch.h"

#include <cmath>

namespace ui {

float PinchGestureRecognizer::currentDistance() const
{
    if (numberOfTouches() < 2)
        return 0;
    gfx::Point a = touches()[0]->locationInWindow(), b = touches()[1]->locationInWindow();
    return std::hypot(a.x - b.x, a.y - b.y);
}

void PinchGestureRecognizer::setScale(float scale)
{
    // The next ratio continues from the scale set.
    float distance = currentDistance();
    if (distance > 0 && scale > 0)
        m_scaleBase = scale * m_initialDistance / distance;
    m_scale = scale;
}

void PinchGestureRecognizer::touchesBegan(const TouchSet&, const Event& event)
{
    if (numberOfTouches() > 2) {
        setState(state() == State::Possible ? State::Failed : State::Ended);
        return;
    }
    if (numberOfTouches() == 2) {
        m_initialDistance = currentDistance();
        m_lastTime = event.timestamp();
    }
}

void PinchGestureRecognizer::touchesMoved(const TouchSet&, const Event& event)
{
    if (numberOfTouches() < 2 || m_initialDistance <= 0)
        return;
    float distance = currentDistance();
    float scale = m_scaleBase * distance / m_initialDistance;
    double dt = event.timestamp() - m_lastTime;
    if (dt > 0)
        m_velocity = float((scale - m_scale) / dt);
    m_lastTime = event.timestamp();
    if (state() == State::Possible) {
        if (std::abs(distance - m_initialDistance) <= Hysteresis)
            return;
        m_scale = scale;
        setState(State::Began);
    } else {
        m_scale = scale;
        setState(State::Changed);
    }
}

void PinchGestureRecognizer::touchesEnded(const TouchSet&, const Event&)
{
    if (state() == State::Began || state() == State::Changed)
        setState(State::Ended);
    else
        setState(State::Failed);
}

void PinchGestureRecognizer::reset()
{
    GestureRecognizer::reset();
    m_initialDistance = 0;
    m_scale = m_scaleBase = 1;
    m_velocity = 0;
}

} // namespace ui
