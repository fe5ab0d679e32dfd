#include "Platform/UI/NavigationItem.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/View.h"

#include <utility>

namespace ui {

std::shared_ptr<NavigationItem> NavigationItem::create(std::string title)
{
    auto item = std::make_shared<NavigationItem>();
    item->m_title = std::move(title);
    return item;
}

NavigationItem::NavigationItem() = default;
NavigationItem::~NavigationItem() = default;

void NavigationItem::changed()
{
    if (m_changed)
        m_changed();
}

void NavigationItem::setTitle(std::string title)
{
    if (m_title == title)
        return;
    m_title = std::move(title);
    changed();
}

void NavigationItem::setTitleView(std::shared_ptr<View> view)
{
    m_titleView = std::move(view);
    changed();
}

void NavigationItem::setPrompt(std::string prompt)
{
    if (m_prompt == prompt)
        return;
    m_prompt = std::move(prompt);
    changed();
}

void NavigationItem::setBackBarButtonItem(std::shared_ptr<BarButtonItem> item)
{
    m_backItem = std::move(item);
    changed();
}

// A change of a shown button (the edit item turning into Done) is a change
// of the item, so the bar shows it. The button reaches the item weakly.
void NavigationItem::watch(BarButtonItem* old, BarButtonItem* item)
{
    if (old && old != m_leftItem.get() && old != m_rightItem.get())
        old->setChangeHandler({});
    if (!item)
        return;
    std::weak_ptr<core::Object> weak = weak_from_this();
    item->setChangeHandler([weak] {
        if (auto self = std::static_pointer_cast<NavigationItem>(weak.lock()))
            self->changed();
    });
}

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item, bool)
{
    auto old = std::exchange(m_leftItem, std::move(item));
    watch(old.get(), m_leftItem.get());
    changed();
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item, bool)
{
    auto old = std::exchange(m_rightItem, std::move(item));
    watch(old.get(), m_rightItem.get());
    changed();
}

void NavigationItem::setHidesBackButton(bool hides, bool)
{
    m_hidesBackButton = hides;
    changed();
}

} // namespace ui
