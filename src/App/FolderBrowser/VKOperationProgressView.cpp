#include "App/FolderBrowser/VKOperationProgressView.h"

#include "Shell/Interface/InterfaceColors.h"

#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float FontSize = 11;
constexpr float MinimumFontSize = 9;

bool isSpinnerStyle(int style)
{
    return style == 2 || style == 3;
}

// A bar has two styles of its own; the spinners' number 2 leaves it plain.
ui::ProgressView::Style barStyle(int viewStyle)
{
    return viewStyle == 1 ? ui::ProgressView::Style::Bar : ui::ProgressView::Style::Default;
}

} // namespace

std::shared_ptr<VKOperationProgressView> VKOperationProgressView::create(int style, const gfx::Rect& frame)
{
    return View::make<VKOperationProgressView>(frame, style);
}

VKOperationProgressView::VKOperationProgressView(int style)
    : m_style(style)
    , m_indeterminate(isSpinnerStyle(style))
{
    m_label = ui::Label::create();
    m_label->setFont(ui::Fonts::boldSystemFont(FontSize));
    m_label->setMinimumFontSize(MinimumFontSize);
    m_label->setAdjustsFontSizeToFitWidth(true);
    m_label->setTextAlignment(gfx::TextAlignment::Center);
    m_label->setTextColor(gfx::Color::white(1));
    m_label->setShadowColor(whiteTextShadowColor());
    m_label->setBackgroundColor(gfx::Color());
    m_label->setOpaque(false);

    int viewStyle = viewStyleFromOperationProgressViewStyle(style);
    if (m_indeterminate) {
        auto spinner = ui::ActivityIndicator::create(ui::ActivityIndicator::Style(viewStyle));
        spinner->startAnimating();
        m_indicator = spinner;
    } else {
        m_indicator = ui::ProgressView::create(barStyle(viewStyle));
    }
    addSubview(m_label);
    addSubview(m_indicator);
    m_indicator->sizeToFit();
    setBackgroundColor(gfx::Color());
    setOpaque(false);
}

int VKOperationProgressView::viewStyleFromOperationProgressViewStyle(int style)
{
    if (style == 3)
        return 2;
    if (style == 1 || style == 2)
        return 1;
    return 0;
}

std::string VKOperationProgressView::text() const
{
    return m_label->text();
}

void VKOperationProgressView::setText(std::string_view text)
{
    m_label->setText(text);
    setNeedsLayout();
}

float VKOperationProgressView::progress() const
{
    if (m_indeterminate)
        return 0;
    return static_cast<const ui::ProgressView&>(*m_indicator).progress();
}

void VKOperationProgressView::setProgress(float progress)
{
    if (!m_indeterminate)
        static_cast<ui::ProgressView&>(*m_indicator).setProgress(progress);
}

void VKOperationProgressView::setStyle(int style)
{
    if (style == m_style)
        return;
    m_style = style;
    int viewStyle = viewStyleFromOperationProgressViewStyle(style);
    if (m_indeterminate)
        static_cast<ui::ActivityIndicator&>(*m_indicator)
            .setActivityIndicatorViewStyle(ui::ActivityIndicator::Style(viewStyle));
    else
        static_cast<ui::ProgressView&>(*m_indicator).setProgressViewStyle(barStyle(viewStyle));
}

gfx::Size VKOperationProgressView::sizeThatFits(gfx::Size size) const
{
    std::string text = this->text();
    if (text.empty())
        return size;
    float width = ui::Fonts::sizeOfString(text, m_label->font()).width;
    if (m_indeterminate)
        width += m_indicator->frame().width() + IndicatorGap;
    return { std::min(width, size.width), size.height };
}

void VKOperationProgressView::layoutSubviews()
{
    gfx::Rect bounds = this->bounds();
    gfx::Size textSize = ui::Fonts::sizeOfString(text(), m_label->font());
    gfx::Rect indicatorFrame = m_indicator->frame();
    if (!m_indeterminate) {
        float labelWidth = std::min(textSize.width, bounds.width());
        float half = bounds.height() / 2;
        m_label->setFrame({ std::floor(bounds.origin.x + (bounds.width() - labelWidth) / 2),
            std::floor(bounds.origin.y + (half - textSize.height) / 2), labelWidth, textSize.height });
        float barHeight = indicatorFrame.height();
        m_indicator->setFrame({ bounds.origin.x, std::floor(bounds.origin.y + half + (half - barHeight) / 2),
            bounds.width(), barHeight });
        return;
    }
    float indicatorWidth = indicatorFrame.width();
    float labelWidth = std::max(0.0f, std::min(textSize.width, bounds.width() - indicatorWidth - IndicatorGap));
    float rowWidth = indicatorWidth + IndicatorGap + labelWidth;
    float x = bounds.origin.x + std::floor((bounds.width() - rowWidth) / 2);
    m_indicator->setFrame({ x, std::floor(bounds.origin.y + (bounds.height() - indicatorFrame.height()) / 2),
        indicatorWidth, indicatorFrame.height() });
    m_label->setFrame({ x + indicatorWidth + IndicatorGap,
        std::floor(bounds.origin.y + (bounds.height() - textSize.height) / 2), labelWidth, textSize.height });
}
