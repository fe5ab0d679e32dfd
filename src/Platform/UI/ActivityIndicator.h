#pragma once

// The spinning activity mark. Styles: 0 large white (37 points), 1 white and
// 2 gray (20 points). Hidden while stopped unless told otherwise.

#include "Platform/UI/View.h"

namespace ui {

class ActivityIndicator : public View {
public:
    enum class Style { WhiteLarge = 0, White = 1, Gray = 2 };

    static std::shared_ptr<ActivityIndicator> create(Style style = Style::White);

    Style activityIndicatorViewStyle() const { return m_style; }
    void setActivityIndicatorViewStyle(Style style);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return m_animating; }
    bool hidesWhenStopped() const { return m_hidesWhenStopped; }
    void setHidesWhenStopped(bool hides);

    static float sideForStyle(Style style) { return style == Style::WhiteLarge ? 37 : 20; }
    gfx::Size sizeThatFits(gfx::Size size) const override;
    std::string debugText() const override { return m_animating ? "animating" : "stopped"; }

private:
    Style m_style = Style::White;
    bool m_animating = false;
    bool m_hidesWhenStopped = true;
};

} // namespace ui
