#pragma once

// Watches everything that passes through the application's window: every
// event before the window dispatches it, and the views that enter and leave
// the window directly. Only the events are required; the subview calls do
// nothing unless an observer wants them.

namespace ui {
class Event;
class View;
} // namespace ui
class VKWindow;

class VKWindowObserver {
public:
    virtual ~VKWindowObserver() = default;

    virtual void handleSendEvent(const ui::Event& event, VKWindow& window) = 0;
    virtual void windowWillRemoveSubview(VKWindow& window, ui::View& subview) { (void)window, (void)subview; }
    virtual void windowDidAddSubview(VKWindow& window, ui::View& subview) { (void)window, (void)subview; }
};
