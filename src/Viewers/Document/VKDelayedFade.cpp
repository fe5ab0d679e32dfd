#include "Viewers/Document/VKDelayedFade.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/ViewAnimation.h"

void VKDelayedFade::apply(ui::View& view, bool fade, bool animated, const char* animationName)
{
    float target = fade ? 0 : 1;
    if (!animated) {
        view.setAlpha(target);
        return;
    }
    ui::ViewAnimation::begin(animationName);
    ui::ViewAnimation::setDuration(Duration);
    view.setAlpha(target);
    ui::ViewAnimation::commit();
}

void VKDelayedFade::cancel()
{
    if (auto timer = std::exchange(m_timer, nullptr))
        timer->invalidate();
}

void VKDelayedFade::schedule(const std::shared_ptr<ui::View>& view, bool fade, bool animated, double delay,
    std::function<void(bool fade, bool animated)> fadeNow)
{
    cancel();
    if (view->alpha() == (fade ? 0.f : 1.f))
        return;
    if (!(delay > 0)) {
        fadeNow(fade, animated);
        return;
    }
    std::weak_ptr<ui::View> weak = view;
    m_timer = core::RunLoop::main().schedule(delay, false, [this, weak, fade, animated, fadeNow](core::Timer&) {
        // The owner view holds this fade: alive while its view is.
        if (!weak.lock())
            return;
        m_timer.reset();
        fadeNow(fade, animated);
    });
}
