#pragma once

// The open-in menu at a toolbar item.

namespace ui {
class BarButtonItem;
class DocumentInteractionController;
} // namespace ui

// Presents the menu from the bounds of the view the item's bar made for it
// (pending layout run first). An item that has no view then shows nothing:
// false, and a log line.
bool presentOpenInFromBarButtonItemRect(ui::DocumentInteractionController& controller, const ui::BarButtonItem& item,
    bool animated);
