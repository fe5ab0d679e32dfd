#pragma once

// Bar items in one call, and the action a bar item stands for.

#include "Platform/UI/BarButtonItem.h"

#include <memory>
#include <optional>
#include <string>

namespace ui {
class View;
}

// Each adds the target and the named action when `action` is not empty.
std::shared_ptr<ui::BarButtonItem> barButtonSystemItem(ui::BarButtonItem::SystemItem systemItem,
    const std::shared_ptr<core::Object>& target = nullptr, std::string action = {}, ui::BarButtonItem::Action function = {});
std::shared_ptr<ui::BarButtonItem> barButtonItemWithCustomView(std::shared_ptr<ui::View> view);
std::shared_ptr<ui::BarButtonItem> barButtonItemWithTitle(std::string title, ui::BarButtonItem::Style style,
    const std::shared_ptr<core::Object>& target = nullptr, std::string action = {}, ui::BarButtonItem::Action function = {});
std::shared_ptr<ui::BarButtonItem> barButtonItemWithImage(std::shared_ptr<gfx::Image> image,
    ui::BarButtonItem::Style style, const std::shared_ptr<core::Object>& target = nullptr, std::string action = {},
    ui::BarButtonItem::Action function = {});
std::shared_ptr<ui::BarButtonItem> flexibleSpaceBarButtonItem();
std::shared_ptr<ui::BarButtonItem> fixedSpaceBarButtonItemWithWidth(float width);

// The action the item stands for: when its custom view is a control, the
// first action of the control's first target (a pair without a target
// counts) over all events; otherwise, or when the control has none, the
// item's own first action. None when neither has one.
std::optional<std::string> findAction(const ui::BarButtonItem& item);
