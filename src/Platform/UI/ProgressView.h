#pragma once

// A bar showing progress from 0 to 1 (values beyond are clamped; NaN counts
// as 0). Styles: default 0, bar 1.

#include "Platform/UI/View.h"

namespace ui {

class ProgressView : public View {
public:
    enum class Style { Default = 0, Bar = 1 };
    static constexpr float Height = 9;

    static std::shared_ptr<ProgressView> create(Style style = Style::Default);

    float progress() const { return m_progress; }
    void setProgress(float progress);
    Style progressViewStyle() const { return m_style; }
    void setProgressViewStyle(Style style);

    gfx::Size sizeThatFits(gfx::Size size) const override;
    std::string debugText() const override;

private:
    float m_progress = 0;
    Style m_style = Style::Default;
};

} // namespace ui
