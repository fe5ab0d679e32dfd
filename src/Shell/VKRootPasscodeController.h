#pragma once

// The passcode lock over the whole window. Raised above the alert level, it
// hides what the window shows behind the launch picture and presents the
// entry screen (portrait, titled with the application's name) in a
// navigation controller of its own; once that has appeared the window turns
// light grey and the picture goes. Taking it down shows the window's views
// again and lets the entry screen go. Its own answer on rotation (portrait
// only) is the window's while it is up.

#include "Platform/Graphics/Color.h"
#include "Platform/UI/ViewController.h"

#include <memory>
#include <optional>
#include <vector>

namespace gfx {
class Image;
}
namespace ui {
class NavigationController;
class Window;
} // namespace ui

class VKPasscodeController;

class VKRootPasscodeController : public ui::ViewController {
public:
    static std::shared_ptr<VKRootPasscodeController> create();
    ~VKRootPasscodeController() override;

    // The entry screen, made on first use: "Enter your passcode".
    std::shared_ptr<VKPasscodeController> passcodeController();
    // The navigation controller that shows it while the lock is up.
    ui::NavigationController* passcodeNavigationController() const { return m_passcodeNavController.get(); }
    const std::shared_ptr<ui::Window>& window() const { return m_window; }

    void presentInWindow(std::shared_ptr<ui::Window> window, bool animated);
    void dismissPasscodeControllerAnimated(bool animated);

    // The launch picture, whatever the orientation.
    static std::shared_ptr<gfx::Image> imageForOrientation(ui::Orientation orientation);

    // The launch picture, framed to the application frame.
    void loadView() override;

private:
    void passcodeNavigationDidAppear();

    std::shared_ptr<VKPasscodeController> m_passcodeController;
    std::shared_ptr<ui::Window> m_window;
    std::shared_ptr<ui::NavigationController> m_passcodeNavController;
    // The window's views this lock hid, shown again when it goes; views
    // hidden before it came stay hidden.
    std::vector<std::weak_ptr<ui::View>> m_hiddenViews;
    bool m_dismissed = false;
    // The window's own background, given back with its views.
    std::optional<gfx::Color> m_windowBackground;
};
