#pragma once

// The one modal popover of the process (the folder picker's on the
// tablet): a controller shown in a popover that closes before the interface
// turns and opens again at the same place after it, and that is forgotten
// whenever it goes for any other reason (an outside tap, a dismissal in
// code, a successor). Its delegate hears only outside taps and
// dismissModalPopoverControllerAnimated, never the turns.

#include "Platform/Core/Object.h"
#include "Platform/UI/PopoverController.h"

#include <memory>

namespace ui {
class BarButtonItem;
class View;
class ViewController;
} // namespace ui

// How long after the interface turned the modal popover opens again.
inline constexpr double VKModalPopoverReopenDelay = 0.4;

// The modal popover now, open or closed for a turn; null when there is none.
std::shared_ptr<ui::PopoverController> modalPopoverController();

// Closes the present modal popover (unanimated) and makes a new one for
// `content`, remembering where it is shown from: a bar item or a view.
std::shared_ptr<ui::PopoverController> createNewModalPopoverControllerForViewController(
    std::shared_ptr<ui::ViewController> content, std::shared_ptr<core::Object> sourceItem);

// From a bar item, always animated; centred in a view, as asked. When it
// cannot be shown (an item on no bar, a view in no window) it is not kept
// and null comes back.
std::shared_ptr<ui::PopoverController> presentViewControllerInModalPopover(std::shared_ptr<ui::ViewController> content,
    const std::shared_ptr<ui::BarButtonItem>& item, unsigned directions, bool animated);
std::shared_ptr<ui::PopoverController> presentViewControllerInModalPopover(std::shared_ptr<ui::ViewController> content,
    const std::shared_ptr<ui::View>& view, unsigned directions, bool animated);

// Dismisses the modal popover, then tells its delegate didDismiss (a
// dismissal in code tells it nothing otherwise).
void dismissModalPopoverControllerAnimated(bool animated);

// Forgets the modal popover without closing it (the test environment).
void resetModalPopoverForTesting();
