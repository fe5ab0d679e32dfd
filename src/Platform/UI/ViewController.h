#pragma once

// A controller of one screenful: its view loads lazily (loadView, then
// viewDidLoad) and is unloaded by a memory warning while it is out of every
// window (viewDidUnload; the next view() loads it again). It hears the
// appearance callbacks in the device's order, answers and hears rotation,
// presents at most one modal controller, and carries what containers show of
// it: a title, a navigation item and toolbar items. Containers own their
// children and presenters their presented controller; links upward are weak.

#include "Platform/Core/Observation.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Orientation.h"
#include "Platform/UI/Responder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

class BarButtonItem;
class NavigationController;
class NavigationItem;
class RotationClient;
class View;
class Window;

class ViewController : public Responder {
public:
    enum class PresentationStyle { FullScreen = 0, PageSheet = 1, FormSheet = 2, CurrentContext = 3 };
    enum class TransitionStyle { CoverVertical = 0, FlipHorizontal = 1, CrossDissolve = 2, PartialCurl = 3 };
    static constexpr double ModalTransitionDuration = 0.4;
    static constexpr gfx::Size FormSheetSize { 540, 620 };
    static constexpr float PageSheetWidth = 768;

    static std::shared_ptr<ViewController> create() { return std::make_shared<ViewController>(); }
    ViewController();
    ~ViewController() override;

    // The view, loaded on first use.
    const std::shared_ptr<View>& view();
    bool isViewLoaded() const { return m_view != nullptr; }
    // Replaces the view (null unloads it without viewDidUnload).
    void setView(std::shared_ptr<View> view);
    // Makes the view: by default a plain view the size of the application
    // frame.
    virtual void loadView();
    virtual void viewDidLoad() { }
    virtual void viewDidUnload() { }
    // Unloads the view when it is in no window.
    virtual void didReceiveMemoryWarning();

    virtual void viewWillAppear(bool animated) { (void)animated; }
    virtual void viewDidAppear(bool animated) { (void)animated; }
    virtual void viewWillDisappear(bool animated) { (void)animated; }
    virtual void viewDidDisappear(bool animated) { (void)animated; }

    // Rotation: by default portrait only.
    virtual bool shouldAutorotate(Orientation orientation) { return orientation == Orientation::Portrait; }
    virtual void willRotate(Orientation orientation, double duration) { (void)orientation, (void)duration; }
    virtual void didRotate(Orientation fromOrientation) { (void)fromOrientation; }
    Orientation interfaceOrientation() const { return m_orientation; }

    // The status bar's style while this controller is on top: the default
    // unless a controller wants another (its container applies it).
    virtual Application::StatusBarStyle statusBarStyle() const { return Application::StatusBarStyle::Default; }

    // The title, also the navigation item's.
    const std::string& title() const { return m_title; }
    virtual void setTitle(std::string title);
    NavigationItem& navigationItem();
    std::shared_ptr<NavigationItem> sharedNavigationItem();
    const std::vector<std::shared_ptr<BarButtonItem>>& toolbarItems() const { return m_toolbarItems; }
    // Virtual: a controller with a toolbar of its own shows them there.
    virtual void setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);
    bool hidesBottomBarWhenPushed() const { return m_hidesBottomBar; }
    void setHidesBottomBarWhenPushed(bool hides) { m_hidesBottomBar = hides; }
    bool wantsFullScreenLayout() const { return m_wantsFullScreenLayout; }
    void setWantsFullScreenLayout(bool wants) { m_wantsFullScreenLayout = wants; }

    bool isEditing() const { return m_editing; }
    virtual void setEditing(bool editing, bool animated);
    // "Edit" / "Done": a tap calls setEditing(!editing, true).
    virtual std::shared_ptr<BarButtonItem> editButtonItem();

    // Containment: the container (navigation controller) or, for a
    // presented controller, its presenter.
    ViewController* parentViewController() const;
    NavigationController* navigationController() const;

    // The modal chain. Presenting from a child presents from its outermost
    // container; presenting while a controller is presented throws.
    void presentModalViewController(const std::shared_ptr<ViewController>& controller, bool animated);
    // On a presenter, dismisses everything above it; on a presented
    // controller without its own modal, dismisses itself.
    void dismissModalViewController(bool animated);
    ViewController* modalViewController() const { return m_modal.get(); }
    ViewController* presentingViewController() const;
    PresentationStyle modalPresentationStyle() const { return m_presentationStyle; }
    void setModalPresentationStyle(PresentationStyle style) { m_presentationStyle = style; }
    TransitionStyle modalTransitionStyle() const { return m_transitionStyle; }
    void setModalTransitionStyle(TransitionStyle style) { m_transitionStyle = style; }
    gfx::Size contentSizeForViewInPopover() const { return m_popoverSize; }
    void setContentSizeForViewInPopover(gfx::Size size) { m_popoverSize = size; }
    // The size the controller shows at as a form sheet: FormSheetSize unless
    // it was given one of its own (a small picker).
    gfx::Size formSheetContentSize() const { return m_formSheetSize; }
    void setFormSheetContentSize(gfx::Size size) { m_formSheetSize = size; }
    // Whether a modal transition is running (anywhere).
    static bool isModalTransitionRunning();
    // Completes a running modal transition now.
    static void completeModalTransition();
    // Forgets a running modal transition without completing it (test
    // environment).
    static void resetForTesting();

    // What the window asks about rotation: the deepest presented
    // controller decides (a container asks its top child).
    std::shared_ptr<RotationClient> rotationClient();
    // The controller that hears rotation in this one's place.
    virtual ViewController* rotationTarget() { return this; }
    // This controller and everything it contains, for rotation's news.
    virtual std::vector<ViewController*> containedControllers() { return { this }; }

    Responder* nextResponder() const override;
    std::string description() const override;
    // Presented modally, Escape cancels (the bar's Cancel, Close or Done,
    // else the dismissal) and Return confirms (its Done or Save).
    bool performKeyCommand(KeyCommand command) override;

    // Used by containers.
    void setParent(ViewController* parent);
    void setInterfaceOrientation(Orientation orientation) { m_orientation = orientation; }

private:
    class Rotation;
    ViewController* outermost();
    ViewController* deepestPresented();
    void finishPresent(bool animated, bool coversPresenter);
    bool coversPresenter() const;

    std::shared_ptr<View> m_view;
    std::string m_title;
    std::shared_ptr<NavigationItem> m_navigationItem;
    std::vector<std::shared_ptr<BarButtonItem>> m_toolbarItems;
    std::shared_ptr<BarButtonItem> m_editButton;
    std::weak_ptr<core::Object> m_parent;
    ViewController* m_parentRaw = nullptr;
    std::weak_ptr<core::Object> m_presenter;
    std::shared_ptr<ViewController> m_modal;
    std::weak_ptr<View> m_coveredSuperview; // where the presenter's view sat
    size_t m_coveredIndex = 0;
    std::shared_ptr<Rotation> m_rotation;
    core::Observation m_memoryWarning;
    Orientation m_orientation = Orientation::Portrait;
    PresentationStyle m_presentationStyle = PresentationStyle::FullScreen;
    TransitionStyle m_transitionStyle = TransitionStyle::CoverVertical;
    gfx::Size m_popoverSize { 320, 1100 };
    gfx::Size m_formSheetSize = FormSheetSize;
    bool m_editing = false;
    bool m_hidesBottomBar = false;
    bool m_wantsFullScreenLayout = false;
};

} // namespace ui
