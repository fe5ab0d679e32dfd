#pragma once

#include "Platform/UI/View.h"

#include <memory>
#include <string>
#include <string_view>

namespace ui {
class Label;
}

// The toolbar view of the browser's long operation: its label above a
// progress bar, or beside a spinning activity indicator when the progress
// is not known. Styles: 0 default bar, 1 bar-style bar, 2 white spinner,
// 3 grey spinner. Main thread only.
class VKOperationProgressView : public ui::View {
public:
    // The gap between the spinner and the label.
    static constexpr float IndicatorGap = 5;

    static std::shared_ptr<VKOperationProgressView> create(int style, const gfx::Rect& frame);
    explicit VKOperationProgressView(int style);

    // 120 × 32 points.
    static gfx::Size standardSizeForToolbarItem() { return { 120, 32 }; }
    // The indicator's own style for an operation style: 2 for 3, 1 for 1
    // and 2, 0 otherwise.
    static int viewStyleFromOperationProgressViewStyle(int style);

    std::string text() const;
    void setText(std::string_view text);
    ui::Label& label() const { return *m_label; }
    // The bar or the spinner.
    ui::View& indicator() const { return *m_indicator; }

    float progress() const;
    // Ignored by a spinner.
    void setProgress(float progress);
    bool isIndeterminate() const { return m_indeterminate; }

    int style() const { return m_style; }
    // Changes the indicator's own style; a bar stays a bar, a spinner a spinner.
    void setStyle(int style);

    gfx::Size sizeThatFits(gfx::Size size) const override;
    void layoutSubviews() override;

private:
    std::shared_ptr<ui::Label> m_label;
    std::shared_ptr<ui::View> m_indicator;
    int m_style = 0;
    bool m_indeterminate = false;
};
