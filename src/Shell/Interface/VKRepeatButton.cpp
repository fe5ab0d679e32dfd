#include "Shell/Interface/VKRepeatButton.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Touch.h"

#include <algorithm>

std::shared_ptr<VKRepeatButton> VKRepeatButton::create(const gfx::Rect& frame)
{
    return View::make<VKRepeatButton>(frame);
}

VKRepeatButton::~VKRepeatButton()
{
    invalidateRepeatTimer();
}

void VKRepeatButton::invalidateRepeatTimer()
{
    if (auto timer = std::exchange(m_repeatTimer, nullptr))
        timer->invalidate();
    m_repeating = false;
}

void VKRepeatButton::startRepeating()
{
    invalidateRepeatTimer();
    m_repeating = true;
    m_repeatTimer = core::RunLoop::main().schedule(sharedAs<VKRepeatButton>(), RepeatInterval, true, [](VKRepeatButton& self, core::Timer&) {
        self.sendActions(RepeatEvent);
    });
}

void VKRepeatButton::setEnabled(bool enabled)
{
    if (!enabled)
        invalidateRepeatTimer();
    Button::setEnabled(enabled);
}

size_t VKRepeatButton::trackTouches(const ui::TouchSet& touches, bool down)
{
    std::erase_if(m_touches, [&](const std::weak_ptr<ui::Touch>& weak) {
        auto touch = weak.lock();
        return !touch || std::find(touches.begin(), touches.end(), touch) != touches.end();
    });
    if (down)
        m_touches.insert(m_touches.end(), touches.begin(), touches.end());
    return m_touches.size();
}

void VKRepeatButton::touchesBegan(const ui::TouchSet& touches, const ui::Event& event)
{
    if (trackTouches(touches, true) == 1) {
        invalidateRepeatTimer();
        m_repeatTimer = core::RunLoop::main().schedule(sharedAs<VKRepeatButton>(), RepeatInterval, false, [](VKRepeatButton& self, core::Timer&) {
            self.startRepeating();
        });
    } else {
        invalidateRepeatTimer();
    }
    Button::touchesBegan(touches, event);
}

void VKRepeatButton::touchesMoved(const ui::TouchSet& touches, const ui::Event& event)
{
    if (trackTouches({}, true) == 1 && !touches.empty()) {
        // The frame itself, not the tracking tolerance around it.
        gfx::Point point = touches.front()->locationInView(superview());
        if (!frame().contains(point))
            invalidateRepeatTimer();
        else if (!m_repeatTimer && isEnabled())
            startRepeating();
    }
    Button::touchesMoved(touches, event);
}

void VKRepeatButton::touchesEnded(const ui::TouchSet& touches, const ui::Event& event)
{
    Button::touchesEnded(touches, event);
    trackTouches(touches, false);
    invalidateRepeatTimer();
}

void VKRepeatButton::touchesCancelled(const ui::TouchSet& touches, const ui::Event& event)
{
    Button::touchesCancelled(touches, event);
    trackTouches(touches, false);
    invalidateRepeatTimer();
}
