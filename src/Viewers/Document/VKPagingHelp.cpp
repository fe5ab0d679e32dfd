#include "Viewers/Document/VKPagingHelp.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewAnimation.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

std::shared_ptr<ui::Label> VKCreateInfoLabel(const gfx::Rect& frame, std::string_view text, unsigned autoresizingMask)
{
    auto label = ui::Label::create(frame, text);
    label->setAutoresizingMask(autoresizingMask);
    label->setFont(gfx::Font::boldSystemFont(18));
    label->setTextColor(gfx::Color::white(1));
    label->setShadowColor(gfx::Color::white(0));
    label->setShadowOffset({ 0, 1 });
    label->setBackgroundColor(gfx::Color::white(0.2f, 0.8f));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->layer().setCornerRadius(10);
    return label;
}

bool VKPagingHelp::isVisible() const
{
    auto view = m_view.lock();
    return view && !view->isHidden();
}

bool VKPagingHelp::hide(bool fade)
{
    auto existing = m_view.lock();
    if (!existing)
        return false;
    m_view.reset();
    if (!fade) {
        existing->removeFromSuperview();
        return true;
    }
    ui::ViewAnimation::begin();
    ui::ViewAnimation::setDuration(1.0);
    existing->setAlpha(0);
    ui::ViewAnimation::commit();
    core::RunLoop::main().performAfter(existing, 1.0, [](ui::View& view) {
        view.removeFromSuperview();
    });
    return true;
}

bool VKPagingHelp::show(ui::View& parent, bool verticalLayout)
{
    if (m_view.lock())
        return false;
    auto help = ui::View::create(frameIn(parent));
    help->setUserInteractionEnabled(false);
    help->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    gfx::Rect h = help->bounds();
    std::string first;
    float margin;
    if (verticalLayout) {
        help->addSubview(VKCreateInfoLabel(gfx::Rect(0, 0, h.width(), 50), core::localized("Tap this region to page up"),
            ui::View::FlexibleWidth | ui::View::FlexibleBottomMargin));
        help->addSubview(VKCreateInfoLabel(gfx::Rect(0, h.maxY() - 50, h.width(), 50),
            core::localized("Tap this region to page down"), ui::View::FlexibleWidth | ui::View::FlexibleTopMargin));
        first = core::localized("Use the paging gesture regions to page up and down whilst reading a document.");
        margin = 50;
    } else {
        help->addSubview(VKCreateInfoLabel(gfx::Rect(0, 0, 30, h.height()), "",
            ui::View::FlexibleRightMargin | ui::View::FlexibleHeight));
        help->addSubview(VKCreateInfoLabel(gfx::Rect(h.maxX() - 30, 0, 30, h.height()), "",
            ui::View::FlexibleLeftMargin | ui::View::FlexibleHeight));
        first = core::localized("Use the paging gesture regions to page left and right whilst reading a document.");
        margin = 60;
    }
    std::string message = fmt::format("{} {}", first,
        core::localized("Tapping anywhere else displays the toolbars as normal.\n\nThis feature can be switched off in settings."));
    gfx::Font font = gfx::Font::boldSystemFont(15);
    float width = std::max(0.f, std::min(h.width() - 2 * margin, 300.f));
    gfx::Size size = gfx::textEngine()->sizeOfString(message, font, { width, h.height() }, gfx::LineBreakMode::WordWrap);
    unsigned flexible = ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin | ui::View::FlexibleTopMargin
        | ui::View::FlexibleBottomMargin;
    gfx::Rect frame(std::floor((h.width() - size.width) * 0.5f), std::floor((h.height() - size.height) * 0.5f),
        size.width, size.height);
    auto label = VKCreateInfoLabel(frame, message, flexible);
    label->setFont(font);
    label->setNumberOfLines(10);
    auto backdrop = ui::View::create(frame.insetBy(-15, -15));
    backdrop->setAutoresizingMask(flexible);
    backdrop->setBackgroundColor(label->backgroundColor());
    backdrop->layer().setCornerRadius(10);
    label->setBackgroundColor(gfx::Color());
    help->addSubview(backdrop);
    help->addSubview(label);
    parent.addSubview(help);
    m_view = help;
    return true;
}

void VKPagingHelp::setEdgeInsets(const gfx::EdgeInsets& insets)
{
    m_insets = insets;
    auto view = m_view.lock();
    if (view && view->superview())
        view->setFrame(frameIn(*view->superview()));
}

gfx::Rect VKPagingHelp::frameIn(const ui::View& parent) const
{
    gfx::Rect room = parent.bounds().insetBy(m_insets);
    return room.width() > 10 && room.height() > 10 ? room.insetBy(5, 5) : parent.bounds().insetBy(5, 5);
}
