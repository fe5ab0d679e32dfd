#pragma once

// A full-screen controller whose view sits directly in a window, above any
// navigation: its own black translucent toolbar under the status bar, and
// one full-screen controller as its content, behind the toolbar. When the
// content hides or shows its bars, the status bar and this toolbar follow.
// It turns its view itself with the status bar, since the window's root
// controller does not turn it.

#include "Platform/Core/Notification.h"
#include "Platform/Core/ObservationBag.h"
#include "Platform/UI/ViewController.h"

#include <memory>

namespace ui {
class Toolbar;
class Window;
} // namespace ui
class VKFullScreenViewController;

class VKFullScreenDetailViewController : public ui::ViewController {
public:
    static constexpr double ContentMoveDuration = 0.8;

    // Puts its view into `window` (held weakly), laid out for the status
    // bar's orientation.
    static std::shared_ptr<VKFullScreenDetailViewController> initWithWindow(const std::shared_ptr<ui::Window>& window);
    ~VKFullScreenDetailViewController() override;

    ui::Toolbar& toolbar();
    void setToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items, bool animated = false) override;

    // The status bar (fading when animated) and the toolbar's alpha.
    void setUIHidden(bool hidden, bool animated);
    // Bounds of the window (long side across in landscape), centred in it,
    // turned for the interface orientation 1–4; others are refused.
    void updateGeometryForOrientation(ui::Orientation orientation);

    const std::shared_ptr<VKFullScreenViewController>& contentViewController() const { return m_content; }
    // The old content's view leaves; the new one goes to the back of this
    // view, from where it stood, and moves to fill it (in 0.8 s when
    // animated).
    void setContentViewController(const std::shared_ptr<VKFullScreenViewController>& controller, bool animated = false);
    // Moves the content's view into `target` at `frame` (in the target's
    // space): animated, it travels there over 0.8 s and changes superview
    // at the end.
    void moveContentViewToView(const std::shared_ptr<ui::View>& target, const gfx::Rect& frame, bool animated);

    void loadView() override;
    void viewDidUnload() override;

private:
    explicit VKFullScreenDetailViewController(std::weak_ptr<ui::Window> window);
    void didReceiveUINotification(const core::Notification& notification, bool hidden);
    void statusBarOrientationWillChange(ui::Orientation orientation);

    std::weak_ptr<ui::Window> m_window;
    std::shared_ptr<ui::Toolbar> m_toolbar;
    std::shared_ptr<VKFullScreenViewController> m_content;
    // Posted on the main thread only: the observers call this controller
    // directly (see core::Observation).
    core::ObservationBag m_observations;
};
