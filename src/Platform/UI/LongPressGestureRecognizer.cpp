#include "Platform/UI/LongPressGestureRecognizer.h"

#include <cmath>

namespace ui {

void LongPressGestureRecognizer::touchesBegan(const TouchSet&, const Event&)
{
    if (int(numberOfTouches()) > m_touchesRequired) {
        setState(state() == State::Possible ? State::Failed : State::Cancelled);
        return;
    }
    m_start = locationInView(nullptr);
    if (int(numberOfTouches()) == m_touchesRequired)
        scheduleTimer(m_minimumPressDuration, [this] {
            if (state() == State::Possible)
                setState(State::Began);
        });
}

void LongPressGestureRecognizer::touchesMoved(const TouchSet&, const Event&)
{
    gfx::Point p = locationInView(nullptr);
    if (state() == State::Possible) {
        if (std::hypot(p.x - m_start.x, p.y - m_start.y) > m_allowableMovement)
            setState(State::Failed);
    } else if (state() == State::Began || state() == State::Changed) {
        setState(State::Changed);
    }
}

void LongPressGestureRecognizer::touchesEnded(const TouchSet&, const Event&)
{
    if (state() == State::Began || state() == State::Changed)
        setState(State::Ended);
    else
        setState(State::Failed);
}

} // namespace ui
