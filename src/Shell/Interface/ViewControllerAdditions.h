#pragma once

// Action sheets shown on behalf of a screen's controller, so that each
// controller can later close its own and leave other controllers' alone.
// A sheet remembers the controller that showed it weakly: a controller made
// later at the same address is a stranger to it.

#include <memory>

namespace core {
class Object;
}
namespace ui {
class ActionSheet;
class ViewController;
} // namespace ui

// Closes the sheets this controller has open, then shows `sheet` for it:
// on a tablet at `item` (the bar item or control that was tapped) when it
// shows in the window, pointing at it; otherwise from the
// navigation controller's toolbar while that is shown, else in the
// controller's view. A controller whose view is in no window shows nothing
// and logs why.
void showActionSheet(ui::ViewController& controller, ui::ActionSheet& sheet, const std::shared_ptr<core::Object>& item);
// Every shown sheet in the controller's window that this controller showed
// is dismissed with its cancel index, without animation.
void dismissActiveActionSheet(ui::ViewController& controller);
// The controller that showed `sheet` through showActionSheet, while it lives.
std::shared_ptr<ui::ViewController> vk_viewControllerTag(const ui::ActionSheet& sheet);
