#pragma once

// The fade the page index and the bubble share: to alpha 0 (fade) or 1
// (show), in a 0.3 s animation when asked, and the same after a delay on a
// one-shot timer that any later fade, alpha or highlight cancels.

#include "Platform/UI/View.h"

#include <functional>
#include <memory>

namespace core {
class Timer;
}

class VKDelayedFade {
public:
    static constexpr double Duration = 0.3;

    VKDelayedFade() = default;
    VKDelayedFade(const VKDelayedFade&) = delete;
    VKDelayedFade& operator=(const VKDelayedFade&) = delete;
    ~VKDelayedFade() { cancel(); }

    // Sets the view's alpha at once or in the named animation.
    static void apply(ui::View& view, bool fade, bool animated, const char* animationName);
    // Runs `fadeNow(fade, animated)` after `delay` seconds (at once when the
    // delay is not above 0) unless the view is already there; cancels what
    // was pending either way.
    void schedule(const std::shared_ptr<ui::View>& view, bool fade, bool animated, double delay,
        std::function<void(bool fade, bool animated)> fadeNow);
    void cancel();
    bool isPending() const { return m_timer != nullptr; }

private:
    std::shared_ptr<core::Timer> m_timer;
};
