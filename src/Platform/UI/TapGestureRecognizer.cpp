#include "Platform/UI/TapGestureRecognizer.h"

#include <cmath>

namespace ui {

namespace {

float distance(gfx::Point a, gfx::Point b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

void TapGestureRecognizer::touchesBegan(const TouchSet& touches, const Event&)
{
    cancelTimer();
    m_fingersDown += touches.size();
    if (int(m_fingersDown) > m_touchesRequired) {
        setState(State::Failed);
        return;
    }
    m_tapStart = locationInView(nullptr);
    if (m_taps == 0)
        m_firstLocation = m_tapStart;
    else if (distance(m_tapStart, m_firstLocation) > MaximumTapDistance)
        setState(State::Failed);
}

void TapGestureRecognizer::touchesMoved(const TouchSet&, const Event&)
{
    if (distance(locationInView(nullptr), m_tapStart) > AllowableMovement)
        setState(State::Failed);
}

void TapGestureRecognizer::touchesEnded(const TouchSet& touches, const Event&)
{
    bool allUp = touches.size() >= numberOfTouches();
    if (!allUp)
        return;
    if (int(m_fingersDown) < m_touchesRequired) {
        setState(State::Failed);
        return;
    }
    m_fingersDown = 0;
    if (++m_taps >= m_tapsRequired) {
        setState(Recognized);
        return;
    }
    scheduleTimer(MaximumTapInterval, [this] { setState(State::Failed); });
}

void TapGestureRecognizer::recognizeClick(gfx::Point windowLocation, int clicks)
{
    if (m_touchesRequired == 1 && clicks == m_tapsRequired && m_taps == 0)
        recognizeWithoutTouches(windowLocation);
}

void TapGestureRecognizer::reset()
{
    GestureRecognizer::reset();
    m_taps = 0;
    m_fingersDown = 0;
}

} // namespace ui
