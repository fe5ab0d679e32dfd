#include "Shell/Interface/BarButtonItemAdditions.h"

#include "Platform/UI/Control.h"

namespace {

std::shared_ptr<ui::BarButtonItem> withAction(std::shared_ptr<ui::BarButtonItem> item,
    const std::shared_ptr<core::Object>& target, std::string action, ui::BarButtonItem::Action function)
{
    if (!action.empty() && function)
        item->addTarget(target, std::move(action), std::move(function));
    return item;
}

// The first action of a live target, or of a pair made without one.
template<typename List> std::optional<std::string> firstAction(const List& list)
{
    for (const auto& entry : list.entries())
        if (!entry.hasTarget || !entry.target.expired())
            return entry.action;
    return std::nullopt;
}

} // namespace

std::shared_ptr<ui::BarButtonItem> barButtonSystemItem(ui::BarButtonItem::SystemItem systemItem,
    const std::shared_ptr<core::Object>& target, std::string action, ui::BarButtonItem::Action function)
{
    return withAction(ui::BarButtonItem::create(systemItem), target, std::move(action), std::move(function));
}

std::shared_ptr<ui::BarButtonItem> barButtonItemWithCustomView(std::shared_ptr<ui::View> view)
{
    return ui::BarButtonItem::create(std::move(view));
}

std::shared_ptr<ui::BarButtonItem> barButtonItemWithTitle(std::string title, ui::BarButtonItem::Style style,
    const std::shared_ptr<core::Object>& target, std::string action, ui::BarButtonItem::Action function)
{
    return withAction(ui::BarButtonItem::create(std::move(title), style), target, std::move(action), std::move(function));
}

std::shared_ptr<ui::BarButtonItem> barButtonItemWithImage(std::shared_ptr<gfx::Image> image,
    ui::BarButtonItem::Style style, const std::shared_ptr<core::Object>& target, std::string action,
    ui::BarButtonItem::Action function)
{
    return withAction(ui::BarButtonItem::create(std::move(image), style), target, std::move(action), std::move(function));
}

std::shared_ptr<ui::BarButtonItem> flexibleSpaceBarButtonItem()
{
    return ui::BarButtonItem::space();
}

std::shared_ptr<ui::BarButtonItem> fixedSpaceBarButtonItemWithWidth(float width)
{
    return ui::BarButtonItem::space(width);
}

std::optional<std::string> findAction(const ui::BarButtonItem& item)
{
    if (auto* control = dynamic_cast<ui::Control*>(item.customView().get()))
        if (auto action = firstAction(control->targets()))
            return action;
    return firstAction(item.targets());
}
