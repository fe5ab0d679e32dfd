#include "Platform/UI/GestureRecognizer.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/TouchRouter.h"
#include "Platform/UI/View.h"

#include <fmt/format.h>

namespace ui {

GestureRecognizer::GestureRecognizer()
{
    ++LiveObjects::recognizers;
}

GestureRecognizer::~GestureRecognizer()
{
    --LiveObjects::recognizers;
}

void GestureRecognizer::addTarget(const std::shared_ptr<core::Object>& target, std::string action,
    std::function<void(GestureRecognizer&)> function)
{
    m_targets.add(target, std::move(action), std::move(function), 1);
}

void GestureRecognizer::removeTarget(const core::Object* target, std::string_view action)
{
    m_targets.remove(target, action, 1);
}

void GestureRecognizer::setView(View* view)
{
    if (m_view && view != m_view && m_state != State::Possible) {
        TouchRouter::deactivate(*this);
        reset();
    }
    m_view = view;
}

void GestureRecognizer::setEnabled(bool enabled)
{
    requireMainThread("GestureRecognizer::setEnabled");
    if (enabled == m_enabled)
        return;
    if (!enabled) {
        auto self = shared_from_this();
        if (m_state == State::Began || m_state == State::Changed) {
            applyState(State::Cancelled);
            TouchRouter::cancelViewTouches(*this);
        } else if (m_state == State::Possible && TouchRouter::isActive(*this)) {
            applyState(State::Failed);
        }
        m_enabled = false;
        TouchRouter::deactivate(*this);
        reset();
        TouchRouter::settle();
        return;
    }
    m_enabled = true;
}

gfx::Point GestureRecognizer::locationInView(const View* view) const
{
    if (m_touches.empty()) {
        if (!m_lastWindowLocation)
            return {};
        return view ? view->convertPointFrom(*m_lastWindowLocation, nullptr) : *m_lastWindowLocation;
    }
    float x = 0, y = 0;
    for (auto& touch : m_touches) {
        auto p = touch->locationInView(view);
        x += p.x;
        y += p.y;
    }
    return { x / float(m_touches.size()), y / float(m_touches.size()) };
}

void GestureRecognizer::touchesBegan(const TouchSet&, const Event&) { }
void GestureRecognizer::touchesMoved(const TouchSet&, const Event&) { }
void GestureRecognizer::touchesEnded(const TouchSet&, const Event&) { }
void GestureRecognizer::touchesCancelled(const TouchSet&, const Event&)
{
    if (m_state == State::Began || m_state == State::Changed)
        setState(State::Cancelled);
    else if (m_state == State::Possible)
        setState(State::Failed);
}

void GestureRecognizer::recognizeWithoutTouches(gfx::Point windowLocation)
{
    if (!m_enabled || m_state != State::Possible || !m_touches.empty())
        return;
    if (auto d = delegate(); (d && !d->shouldBegin(*this)) || !canBegin())
        return;
    auto self = shared_from_this();
    m_lastWindowLocation = windowLocation;
    m_state = State::Ended;
    m_targets.send(1, *this);
    reset();
}

void GestureRecognizer::reset()
{
    cancelTimer();
    m_state = State::Possible;
    m_pending.reset();
    m_touches.clear();
    m_lastWindowLocation.reset();
}

bool GestureRecognizer::canRecognizeWith(GestureRecognizer& other)
{
    if (auto d = delegate(); d && d->shouldRecognizeSimultaneously(*this, other))
        return true;
    if (auto d = other.delegate(); d && d->shouldRecognizeSimultaneously(other, *this))
        return true;
    return false;
}

void GestureRecognizer::setState(State state)
{
    // A continuous gesture reports every change, not only the first.
    if (!m_enabled || (state == m_state && state != State::Changed))
        return;
    auto self = shared_from_this();
    bool starting = m_state == State::Possible && (state == State::Began || state == State::Ended);
    if (starting) {
        if (auto required = requiredToFail(); required && required.get() != this) {
            if (required->m_state == State::Possible && TouchRouter::isActive(*required)) {
                m_pending = state;
                return;
            }
            if (required->m_state == State::Began || required->m_state == State::Changed || required->m_state == State::Ended) {
                applyState(State::Failed);
                return;
            }
        }
        if (auto d = delegate(); (d && !d->shouldBegin(*this)) || !canBegin()) {
            applyState(State::Failed);
            return;
        }
        if (!TouchRouter::mayBegin(*this)) {
            applyState(State::Failed);
            return;
        }
    }
    applyState(state);
}

void GestureRecognizer::applyState(State state)
{
    bool recognizedNow = m_state == State::Possible && (state == State::Began || state == State::Ended);
    m_state = state;
    m_pending.reset();
    if (state != State::Possible && state != State::Failed) {
        auto self = shared_from_this();
        m_targets.send(1, *this);
    }
    if (state == State::Failed || state == State::Ended || state == State::Cancelled)
        cancelTimer();
    TouchRouter::stateChanged(*this, recognizedNow);
}

void GestureRecognizer::scheduleTimer(double seconds, std::function<void()> fire)
{
    cancelTimer();
    m_timerToken = std::make_shared<int>(0);
    std::weak_ptr<int> token = m_timerToken;
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    core::RunLoop::main().performAfter(seconds, [token, weakSelf, fire = std::move(fire)] {
        auto self = weakSelf.lock();
        if (!self || token.expired())
            return;
        fire();
        TouchRouter::settle();
    });
}

void GestureRecognizer::cancelTimer()
{
    m_timerToken.reset();
}

std::string GestureRecognizer::description() const
{
    return fmt::format("<{}: {}; state = {}>", className(), static_cast<const void*>(this), int(m_state));
}

} // namespace ui
