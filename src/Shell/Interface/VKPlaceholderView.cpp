#include "Shell/Interface/VKPlaceholderView.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr unsigned FixedInTheMiddle = ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin
    | ui::View::FlexibleTopMargin | ui::View::FlexibleBottomMargin;
// A label wider than the view is cut at its tail this far from the sides
// rather than at both ends.
constexpr float LabelMargin = 10;

gfx::Rect centered(gfx::Size size, const gfx::Rect& in)
{
    return { in.minX() + std::floor((in.width() - size.width) * 0.5f),
        in.minY() + std::floor((in.height() - size.height) * 0.5f), size.width, size.height };
}

template<typename T> bool isMissingOrHidden(const std::shared_ptr<T>& view)
{
    return !view || view->isHidden();
}

} // namespace

std::shared_ptr<VKPlaceholderView> VKPlaceholderView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKPlaceholderView>(frame);
}

VKPlaceholderView::VKPlaceholderView()
{
    setBackgroundColor(ui::StandardColors::lightGray());
    setOpaque(true);
    setAutoresizingMask(FlexibleWidth | FlexibleHeight);
}

VKPlaceholderView::~VKPlaceholderView() = default;

template<typename T, typename Make> void VKPlaceholderView::showOrHide(std::shared_ptr<T>& piece, bool hidden, Make make)
{
    if (hidden == !piece)
        return;
    if (hidden) {
        piece->removeFromSuperview();
        piece.reset();
    } else {
        piece = make();
        addSubview(piece);
    }
    setNeedsLayout();
}

void VKPlaceholderView::setLabelHidden(bool hidden)
{
    if (hidden)
        m_labelText.reset();
    showOrHide(m_label, hidden, [this] {
        auto label = ui::Label::create();
        label->setAutoresizingMask(FixedInTheMiddle);
        label->setBackgroundColor(ui::StandardColors::clear());
        label->setTextColor(ui::StandardColors::darkGray());
        label->setShadowColor(gfx::Color::white(1, 0.8f));
        label->setShadowOffset({ 0, 1 });
        m_labelText = label->observeText([this](const std::string&, const std::string&) {
            if (!m_label)
                return;
            m_label->sizeToFit();
            setNeedsLayout();
        });
        return label;
    });
}

void VKPlaceholderView::setProgressViewHidden(bool hidden)
{
    showOrHide(m_progressView, hidden, [] {
        auto bar = ui::ProgressView::create(ui::ProgressView::Style::Default);
        bar->setAutoresizingMask(FixedInTheMiddle);
        bar->sizeToFit();
        return bar;
    });
}

void VKPlaceholderView::setCancelButtonHidden(bool hidden)
{
    showOrHide(m_cancelButton, hidden, [] {
        auto button = ui::Button::create(ui::Button::Type::Custom);
        button->setBackgroundImage(ui::StretchableImage(ui::Images::imageNamed("VKProgressCancelButton.png"), 9, 0),
            ui::Control::Normal);
        button->setBackgroundImage(ui::StretchableImage(ui::Images::imageNamed("VKProgressCancelButtonPressed.png"), 9, 0),
            ui::Control::Highlighted);
        button->setTitleColor(ui::StandardColors::darkGray(), ui::Control::Normal);
        button->setTitleShadowColor(ui::StandardColors::white(), ui::Control::Normal);
        button->titleLabel().setShadowOffset({ 0, 1 });
        button->setTitle(core::localized("Cancel"), ui::Control::Normal);
        button->titleLabel().setFont(ui::Fonts::boldSystemFont(ui::Fonts::ButtonFontSize));
        button->setTitleEdgeInsets({ 0, CancelButtonPadding, 0, CancelButtonPadding });
        button->sizeToFit();
        return button;
    });
}

ui::View* VKPlaceholderView::hitTest(gfx::Point point, const ui::Event* event)
{
    ui::View* hit = ui::View::hitTest(point, event);
    if (hit != this || isCancelButtonHidden() || !m_cancelButton->isUserInteractionEnabled())
        return hit;
    const gfx::Rect frame = m_cancelButton->frame();
    const float dx = std::max(0.0f, (CancelTargetSize - frame.width()) / 2);
    const float dy = std::max(0.0f, (CancelTargetSize - frame.height()) / 2);
    return frame.insetBy(-dx, -dy).contains(point) ? m_cancelButton.get() : hit;
}

bool VKPlaceholderView::isLabelHidden() const
{
    return isMissingOrHidden(m_label);
}

bool VKPlaceholderView::isProgressViewHidden() const
{
    return isMissingOrHidden(m_progressView);
}

bool VKPlaceholderView::isCancelButtonHidden() const
{
    return isMissingOrHidden(m_cancelButton);
}

void VKPlaceholderView::layoutSubviews()
{
    gfx::Rect own = bounds();
    // The lowest piece placed so far, for the next one to go below.
    float bottom = own.minY();
    bool anything = false;

    if (m_label) {
        gfx::Size size = m_label->bounds().size;
        size.width = std::min(size.width, std::max(0.0f, own.width() - 2 * LabelMargin));
        gfx::Rect frame = centered(size, own);
        // With the bar below it, label and bar together sit about the middle.
        if (m_progressView)
            frame = frame.offsetBy(0, -(size.height + LabelGap));
        m_label->setFrame(frame);
        bottom = frame.maxY();
        anything = true;
    }
    if (m_progressView) {
        gfx::Size size = m_progressView->bounds().size;
        gfx::Rect frame = centered(size, own);
        // Alone it stands in the middle; under the label, just below it.
        if (anything)
            frame.origin.y = bottom + LabelGap;
        m_progressView->setFrame(frame);
        bottom = frame.maxY();
    }
    if (m_cancelButton) {
        const gfx::Font& font = m_cancelButton->titleLabel().font();
        float width = ui::Fonts::sizeOfString(m_cancelButton->currentTitle(), font).width + 2 * CancelButtonPadding;
        gfx::Rect frame = centered({ width, m_cancelButton->bounds().height() }, own);
        // Below what stands above it, never over it.
        if (anything || m_progressView)
            frame.origin.y = bottom + CancelButtonGap;
        m_cancelButton->setFrame(frame);
    }
}
