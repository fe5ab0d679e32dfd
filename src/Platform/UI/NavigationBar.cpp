#include "Platform/UI/NavigationBar.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"

#include <algorithm>

namespace ui {

float barHeightForInterface()
{
    auto* application = Application::shared();
    bool landscape = application && isLandscape(application->statusBarOrientation());
    return landscape && Screen::userInterfaceIdiom() == core::Device::Idiom::Phone ? NavigationBar::LandscapeHeight
                                                                                    : NavigationBar::Height;
}

std::shared_ptr<NavigationBar> NavigationBar::create(const gfx::Rect& frame)
{
    return make<NavigationBar>(frame);
}

NavigationBar::NavigationBar()
{
    setAutoresizingMask(FlexibleWidth);
}

NavigationBar::~NavigationBar()
{
    for (auto& item : m_items)
        item->setChangeHandler({});
}

// The buttons take their look from the bar: all are drawn again.
void NavigationBar::setBarStyle(Style style)
{
    m_style = style;
    setNeedsDisplayIncludingSubviews();
    if (superview())
        superview()->setNeedsLayout(); // translucency moves the content
}

void NavigationBar::setTranslucent(bool translucent)
{
    m_translucent = translucent;
    setNeedsDisplayIncludingSubviews();
    if (superview())
        superview()->setNeedsLayout();
}

void NavigationBar::setTintColor(std::optional<gfx::Color> color)
{
    m_tint = color;
    setNeedsDisplayIncludingSubviews();
}

void NavigationBar::watch(NavigationItem& item)
{
    // The handler reaches the bar weakly: items may outlive it.
    std::weak_ptr<core::Object> weak = weak_from_this();
    item.setChangeHandler([weak] {
        if (auto self = std::static_pointer_cast<NavigationBar>(weak.lock()))
            self->itemsChanged();
    });
}

void NavigationBar::setItems(std::vector<std::shared_ptr<NavigationItem>> items, bool)
{
    for (auto& item : m_items)
        item->setChangeHandler({});
    m_items = std::move(items);
    for (auto& item : m_items)
        watch(*item);
    itemsChanged();
}

void NavigationBar::pushItem(const std::shared_ptr<NavigationItem>& item, bool)
{
    if (!item)
        return;
    if (auto d = delegate(); d && !d->shouldPushItem(*this, *item))
        return;
    m_items.push_back(item);
    watch(*item);
    itemsChanged();
    if (auto d = delegate())
        d->didPushItem(*this, *item);
}

std::shared_ptr<NavigationItem> NavigationBar::popItem(bool)
{
    if (m_items.empty())
        return nullptr;
    auto item = m_items.back();
    if (auto d = delegate(); d && !d->shouldPopItem(*this, *item))
        return nullptr;
    if (m_items.empty() || m_items.back() != item)
        return item; // the delegate popped it
    m_items.pop_back();
    item->setChangeHandler({});
    itemsChanged();
    if (auto d = delegate())
        d->didPopItem(*this, *item);
    return item;
}

NavigationItem* NavigationBar::topItem() const
{
    return m_items.empty() ? nullptr : m_items.back().get();
}

NavigationItem* NavigationBar::backItem() const
{
    return m_items.size() < 2 ? nullptr : m_items[m_items.size() - 2].get();
}

std::string NavigationBar::backButtonTitle() const
{
    NavigationItem* back = backItem();
    if (!back)
        return {};
    if (back->backBarButtonItem() && !back->backBarButtonItem()->title().empty())
        return back->backBarButtonItem()->title();
    if (!back->title().empty())
        return back->title();
    return core::localized("Back", "Toolkit");
}

bool NavigationBar::performKeyCommand(KeyCommand command)
{
    NavigationItem* item = topItem();
    if (command != KeyCommand::Escape || !item)
        return false;
    for (auto& bar : { item->leftBarButtonItem(), item->rightBarButtonItem() })
        if (bar && bar->isEnabled() && bar->systemItem() == BarButtonItem::SystemItem::Cancel) {
            auto keep = bar;
            bar->sendActions();
            return true;
        }
    return false;
}

void NavigationBar::backButtonTapped()
{
    auto keep = shared_from_this();
    popItem(true);
}

void NavigationBar::itemsChanged()
{
    m_viewsStale = true;
    setNeedsLayout();
    if (superview())
        superview()->setNeedsLayout(); // a prompt changes the bar's height
}

void NavigationBar::rebuildViews()
{
    m_viewsStale = false;
    for (auto* view : { &m_titleView, &m_promptView, &m_leftView, &m_rightView }) {
        if (*view)
            (*view)->removeFromSuperview();
        view->reset();
    }
    NavigationItem* top = topItem();
    if (!top)
        return;
    if (top->titleView()) {
        m_titleView = top->titleView();
    } else {
        auto label = Label::create({}, top->title());
        label->setFont(Fonts::boldSystemFont(20));
        label->setTextAlignment(gfx::TextAlignment::Center);
        label->setTextColor(StandardColors::white());
        label->setBackgroundColor(StandardColors::clear());
        m_titleView = label;
    }
    if (!top->prompt().empty()) {
        auto prompt = Label::create({}, top->prompt());
        prompt->setFont(Fonts::systemFont(13));
        prompt->setTextAlignment(gfx::TextAlignment::Center);
        prompt->setTextColor(StandardColors::white());
        prompt->setBackgroundColor(StandardColors::clear());
        m_promptView = prompt;
    }
    if (auto left = top->leftBarButtonItem()) {
        m_leftView = makeBarItemView(left);
        if (m_leftView)
            left->setView(m_leftView);
    } else if (backItem() && !top->hidesBackButton()) {
        std::weak_ptr<core::Object> weak = weak_from_this();
        m_leftView = BarItemButton::backButton(backButtonTitle(), [weak] {
            if (auto self = std::static_pointer_cast<NavigationBar>(weak.lock()))
                self->backButtonTapped();
        });
    }
    if (auto right = top->rightBarButtonItem()) {
        m_rightView = makeBarItemView(right);
        if (m_rightView)
            right->setView(m_rightView);
    }
    // The bar's own views go beneath what others put on the bar (a search
    // bar laid over it stays whole and takes its clicks).
    size_t index = 0;
    for (auto* view : { &m_promptView, &m_leftView, &m_rightView, &m_titleView })
        if (*view)
            insertSubview(*view, index++);
}

gfx::Size NavigationBar::sizeThatFits(gfx::Size size) const
{
    NavigationItem* top = topItem();
    float prompt = top && !top->prompt().empty() ? PromptHeight : 0;
    return { size.width, barHeightForInterface() + prompt };
}

void NavigationBar::makeViewsIfNeeded()
{
    if (m_viewsStale)
        rebuildViews();
}

View* NavigationBar::hitTest(gfx::Point point, const Event* event)
{
    View* hit = View::hitTest(point, event);
    if (hit != this)
        return hit;
    constexpr float Target = 44;
    for (View* button : { m_leftView.get(), m_rightView.get() }) {
        if (!button || button->isHidden() || !button->isUserInteractionEnabled() || button->alpha() <= 0.01f
            || button->superview() != this)
            continue;
        gfx::Rect frame = button->frame();
        gfx::Rect area = frame.insetBy(-std::max(0.f, (Target - frame.width()) / 2),
            -std::max(0.f, (Target - frame.height()) / 2));
        if (area.contains(point)) {
            gfx::Rect inside = button->bounds();
            if (View* target = button->hitTest({ inside.midX(), inside.midY() }, event))
                return target;
        }
    }
    return hit;
}

void NavigationBar::layoutSubviews()
{
    makeViewsIfNeeded();
    gfx::Rect b = bounds();
    float top = 0;
    if (m_promptView) {
        m_promptView->setFrame({ 0, 0, b.width(), PromptHeight });
        top = PromptHeight;
    }
    float height = b.height() - top;
    auto place = [&](View& view, float x) {
        gfx::Size size = view.frame().size;
        if (dynamic_cast<BarItemButton*>(&view))
            size = { view.sizeThatFits({}).width, BarItemButton::heightInBar(height) };
        size.height = std::min(size.height, height);
        view.setFrame({ x, top + std::floor((height - size.height) / 2), size.width, size.height });
    };
    float left = Margin, right = b.width() - Margin;
    if (m_leftView) {
        place(*m_leftView, Margin);
        left = m_leftView->frame().maxX() + Margin;
    }
    if (m_rightView) {
        float width = m_rightView->frame().width();
        if (dynamic_cast<BarItemButton*>(m_rightView.get()))
            width = m_rightView->sizeThatFits({}).width;
        place(*m_rightView, b.width() - Margin - width);
        right = m_rightView->frame().minX() - Margin;
    }
    if (m_titleView) {
        // Centred on the bar when it fits there, else in the space between.
        float width = m_titleView->sizeThatFits({ right - left, height }).width;
        if (auto* label = dynamic_cast<Label*>(m_titleView.get()))
            width = Fonts::sizeOfString(label->text(), label->font()).width;
        width = std::min(width, std::max(0.0f, right - left));
        float x = std::clamp((b.width() - width) / 2, left, std::max(left, right - width));
        float h = dynamic_cast<Label*>(m_titleView.get()) ? height : std::min(height, m_titleView->frame().height());
        m_titleView->setFrame({ x, top + std::floor((height - h) / 2), width, h });
    }
}

} // namespace ui
