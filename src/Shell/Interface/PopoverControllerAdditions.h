#pragma once

// Popovers on the tablet from a bar item or centred in a view, and a flag
// that tells a popover the system closed from one the user closed.

#include "Platform/UI/PopoverController.h"

#include <memory>

namespace ui {
class BarButtonItem;
class View;
} // namespace ui

// From the item's laid-out view (its bounds in it), pass-through views as
// they are. An item whose bar has not laid it out yet is laid out first;
// from the item then, its pass-through views cleared so that a tap on
// another bar item closes it. Still without a view nothing is shown (one
// log line) and false comes back.
bool presentPopoverFromBarButtonItemRect(ui::PopoverController& popover, const ui::BarButtonItem& item,
    unsigned directions, bool animated);
// From a 20-point square across the view's middle, 30 % of the way down the
// room the content leaves. False (logged) when the view is in no window.
bool presentPopoverCenteredInView(ui::PopoverController& popover, const ui::View& view, unsigned directions,
    bool animated);
// The anchor presentPopoverCenteredInView uses, in the view's space.
gfx::Rect centeredPopoverAnchor(const ui::PopoverController& popover, const ui::View& view);

// False unless set.
bool vk_systemCancelled(const ui::PopoverController& popover);
void setVk_systemCancelled(ui::PopoverController& popover, bool cancelled);
