#pragma once

// A button that can carry a small badge with a short text (a count) at its
// top-right corner. The badge is a button of its own, so that it can be
// touched where it sticks out over the button's content; a touch on it acts
// as a touch on the button: the button's touch-down and touch-up-inside
// actions run, never the badge's.

#include "Platform/UI/Button.h"

#include <optional>
#include <string>

class VKBadgedButton : public ui::Button {
public:
    static std::shared_ptr<VKBadgedButton> create(const gfx::Rect& frame = {});

    // Where the badge sits: its centre on the right edge less the right
    // inset, sticking out a quarter of its height above the top inset.
    gfx::EdgeInsets badgeInsets() const { return m_badgeInsets; }
    void setBadgeInsets(const gfx::EdgeInsets& insets);

    // A non-empty value shows the badge with that text; empty or none
    // removes it. Invalid UTF-8 shows as U+FFFD.
    void setBadgeValue(std::optional<std::string> value);
    std::optional<std::string> badgeValue() const;
    ui::Button* badgeView() const { return m_badgeView.get(); }

    // The badge follows the button.
    void setEnabled(bool enabled) override;
    void layoutSubviews() override;

private:
    void handleBadgeViewTouchDown();
    void handleBadgeViewTouchUpInsideEvent();

    std::shared_ptr<ui::Button> m_badgeView;
    gfx::EdgeInsets m_badgeInsets;
};
