#pragma once

// Showing a sheet from whatever the person tapped.

#include <memory>

namespace core {
class Object;
}
namespace ui {
class ActionSheet;
}

// From a toolbar or a tab bar when `item` is one, in the view when it is
// another view; anything else (a bar item, nothing), or a view in no
// window, shows nothing. Answers whether the sheet was shown.
bool showFromItem(ui::ActionSheet& sheet, const std::shared_ptr<core::Object>& item);
