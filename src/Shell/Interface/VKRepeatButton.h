#pragma once

// A button that keeps acting while it is held, for paging: half a second
// after a single finger comes down it starts repeating, and every half
// second after that it sends the actions of RepeatEvent. Leaving its frame,
// a second finger, the end or cancel of the touch, or being disabled stops
// it; coming back into its frame resumes at once, without the first wait.

#include "Platform/UI/Button.h"

#include <memory>
#include <vector>

namespace core {
class Timer;
}

class VKRepeatButton : public ui::Button {
public:
    // The control event pages connect their repeated actions to.
    static constexpr unsigned RepeatEvent = 0x40000000;
    static constexpr double RepeatInterval = 0.5;

    static std::shared_ptr<VKRepeatButton> create(const gfx::Rect& frame = {});
    ~VKRepeatButton() override;

    // From the first repeat until the repetition stops.
    bool isRepeating() const { return m_repeating; }
    void invalidateRepeatTimer();

    void setEnabled(bool enabled) override;
    void touchesBegan(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesMoved(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesEnded(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesCancelled(const ui::TouchSet& touches, const ui::Event& event) override;

private:
    void startRepeating();
    // The fingers on the button now, whichever events brought them.
    size_t trackTouches(const ui::TouchSet& touches, bool down);

    std::shared_ptr<core::Timer> m_repeatTimer;
    bool m_repeating = false;
    std::vector<std::weak_ptr<ui::Touch>> m_touches;
};
