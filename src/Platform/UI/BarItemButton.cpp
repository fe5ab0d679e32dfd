#include "Platform/UI/BarItemButton.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>
#include <cmath>

namespace ui {

BarItemButton::BarItemButton() : Button(Type::Custom) { }

std::shared_ptr<BarItemButton> BarItemButton::create(const std::shared_ptr<BarButtonItem>& item,
    std::function<void()> tapped)
{
    auto button = std::make_shared<BarItemButton>();
    button->m_item = item;
    button->titleLabel().setFont(Fonts::boldSystemFont(Fonts::SmallSystemFontSize));
    button->setTitleColor(StandardColors::white().colorWithAlphaComponent(DisabledImageAlpha), Control::Disabled);
    if (item) {
        button->setTitle(item->title(), Control::Normal);
        button->setImage(item->image(), Control::Normal);
        button->setEnabled(item->isEnabled());
        button->setTag(item->tag());
        // A symbol alone says its name when the pointer rests on it.
        if (item->title().empty())
            button->setToolTip(item->toolTip());
    }
    button->addTarget(nullptr, "barItemTapped", [tapped = std::move(tapped)](Control&, const Event*) {
        if (tapped)
            tapped();
    }, Control::TouchUpInside);
    button->sizeToFit();
    return button;
}

std::shared_ptr<BarItemButton> BarItemButton::backButton(std::string title, std::function<void()> tapped)
{
    auto button = create(nullptr, std::move(tapped));
    button->m_back = true;
    button->setTitle(std::move(title), Control::Normal);
    button->sizeToFit();
    return button;
}

float BarItemButton::titleWidth() const
{
    return Fonts::sizeOfString(currentTitle(), titleLabel().font()).width;
}

float BarItemButton::heightInBar(float barHeight)
{
    return std::min(barHeight, barHeight < NavigationBar::Height ? LandscapeHeight : Height);
}

gfx::Size BarItemButton::sizeThatFits(gfx::Size) const
{
    float content = titleWidth();
    if (auto image = currentImage())
        content = std::max(content, image->size().width);
    return { std::ceil(content + 2 * Padding), Height };
}

std::shared_ptr<View> makeBarItemView(const std::shared_ptr<BarButtonItem>& item)
{
    if (item->isSpace())
        return nullptr;
    if (auto view = item->customView()) {
        if (view->toolTip().empty())
            view->setToolTip(item->toolTip());
        return view;
    }
    std::weak_ptr<BarButtonItem> weak = item;
    return BarItemButton::create(item, [weak] {
        if (auto item = weak.lock())
            item->sendActions();
    });
}

float barItemWidth(const BarButtonItem& item, const View* view)
{
    if (item.isFlexibleSpace())
        return 0;
    if (item.width() > 0)
        return item.width();
    if (item.customView())
        return item.customView()->frame().width();
    return view ? view->sizeThatFits({}).width : 0;
}

} // namespace ui
