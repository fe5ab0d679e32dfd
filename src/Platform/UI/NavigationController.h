#pragma once

// A stack of controllers under a navigation bar, with an optional toolbar.
// Pushes and pops send the appearance callbacks in the device's order (the
// incoming controller loads, the outgoing will-disappear, the incoming
// will-appear, the delegate will-show; after the transition did-disappear,
// did-appear, did-show). Animated transitions complete when the clock passes
// 0.35 s; a transition asked for while one runs completes the running one
// first. Appearance and rotation forward to the top controller. The bar
// comes from a factory, so a subclass of the bar can be the bar. Bars hidden
// with animation slide out over their own height (the navigation bar up, the
// toolbar down) and take their hidden flag when the slide ends; the hidden
// state they report changes at once.

#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/ViewController.h"

#include <cstdint>
#include <functional>

namespace ui {

class NavigationController;
class Toolbar;

class NavigationControllerDelegate {
public:
    virtual ~NavigationControllerDelegate() = default;
    virtual void willShowViewController(NavigationController&, ViewController&, bool animated) { (void)animated; }
    virtual void didShowViewController(NavigationController&, ViewController&, bool animated) { (void)animated; }
};

class NavigationController : public ViewController, public NavigationBarDelegate {
public:
    static constexpr double TransitionDuration = 0.35;
    static constexpr double HideShowBarDuration = 0.2;
    using BarFactory = std::function<std::shared_ptr<NavigationBar>()>;

    static std::shared_ptr<NavigationController> create(const std::shared_ptr<ViewController>& root,
        BarFactory barFactory = {});
    explicit NavigationController(BarFactory barFactory = {});
    ~NavigationController() override;

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_controllers; }
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated = false);
    // Pushing a controller that is already shown somewhere, or a navigation
    // controller, throws.
    void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
    // The root stays: popping it answers null.
    std::shared_ptr<ViewController> popViewController(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToViewController(const ViewController* controller, bool animated);
    ViewController* topViewController() const { return m_controllers.empty() ? nullptr : m_controllers.back().get(); }
    // The deepest controller presented above the top one (or the top one),
    // and that one's top when it is a navigation controller.
    ViewController* visibleViewController() const;

    std::shared_ptr<NavigationControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<NavigationControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    NavigationBar& navigationBar();
    Toolbar& toolbar();
    bool isNavigationBarHidden() const { return m_barHidden; }
    void setNavigationBarHidden(bool hidden, bool animated = false);
    bool isToolbarHidden() const { return m_toolbarHidden; }
    void setToolbarHidden(bool hidden, bool animated = false);

    bool isTransitioning() const { return m_transitionFinish != nullptr; }
    // Completes a running transition now.
    void completeTransition();
    // Places the bars and the top controller's view.
    void layoutContent();

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotate(Orientation orientation) override;
    // Escape or Back: what the bar's back button does, where it shows.
    bool performKeyCommand(KeyCommand command) override;
    void willRotate(Orientation orientation, double duration) override;
    void didRotate(Orientation fromOrientation) override;
    std::vector<ViewController*> containedControllers() override;

    bool shouldPopItem(NavigationBar& bar, NavigationItem& item) override;

protected:
    // A different controller became the top one (push, pop or a new stack).
    virtual void topViewControllerDidChange(bool animated) { (void)animated; }
    bool isOnScreen() const;

private:
    // A bar's slide: whether a hide is still moving it, and which request
    // the running slide belongs to (a newer request makes an older slide's
    // end a no-op).
    struct BarSlide {
        bool hiding = false;
        uint64_t generation = 0;
    };
    void slideBar(View& bar, bool hidden, bool animated, BarSlide NavigationController::*slide);
    void checkPushable(const ViewController* controller, const char* what) const;
    // The top controller's frame grown up under the status bar when this
    // view sits right below it.
    gfx::Rect underStatusBar(gfx::Rect frame);
    void transition(const std::shared_ptr<ViewController>& from, const std::shared_ptr<ViewController>& to,
        bool animated, std::vector<std::shared_ptr<ViewController>> leaving);
    void updateBars(bool animated);

    BarFactory m_barFactory;
    std::vector<std::shared_ptr<ViewController>> m_controllers;
    std::weak_ptr<NavigationControllerDelegate> m_delegate;
    std::shared_ptr<NavigationBar> m_bar;
    std::shared_ptr<Toolbar> m_toolbar;
    std::function<void()> m_transitionFinish;
    std::shared_ptr<int> m_transitionToken;
    bool m_barHidden = false;
    bool m_toolbarHidden = true;
    BarSlide m_barSlide;
    BarSlide m_toolbarSlide;
};

} // namespace ui
