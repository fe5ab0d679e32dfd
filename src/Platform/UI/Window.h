#pragma once

// A window: the root of a view tree on the screen, at a level (normal 0,
// status bar 1000, alert 2000). It holds its first responder, dispatches the
// events the application gives it (virtual sendEvent, so a subclass sees
// every event first) and decides on rotation through a virtual hook that by
// default asks its root controller, reached as a RotationClient. The
// application keeps windows weakly; their creators own them.

#include "Platform/UI/Orientation.h"
#include "Platform/UI/View.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ui {

class Event;
class ViewController;

// What a window's root controller offers rotation.
class RotationClient {
public:
    virtual ~RotationClient() = default;
    virtual bool shouldAutorotate(Orientation orientation) = 0;
    virtual void willRotate(Orientation orientation, double duration) { (void)orientation, (void)duration; }
    virtual void didRotate(Orientation fromOrientation) { (void)fromOrientation; }
    // The views turned with the interface: the root view and presented ones.
    virtual std::vector<View*> rotatingViews() = 0;
    // Presented sheets: turned about the screen's centre, keeping their size.
    virtual std::vector<View*> rotatingSheets() { return {}; }
};

class Window : public View {
public:
    static constexpr float LevelNormal = 0;
    static constexpr float LevelStatusBar = 1000;
    static constexpr float LevelAlert = 2000;

    // Posted (sender: the window) when a view is added to the window itself
    // or about to leave it: an alert, a sheet, a dimming view, the root
    // view. Views drawn outside the window's own drawing (a live web page)
    // look again at what covers them.
    static constexpr const char* subviewsDidChangeNotification = "ui.WindowSubviewsDidChange";

    static std::shared_ptr<Window> create(const gfx::Rect& frame);
    Window();
    ~Window() override;

    // Every window alive, oldest first.
    static std::vector<std::shared_ptr<Window>> allWindows();
    // The same, as they stack: highest level first, then the one ordered
    // front last.
    static std::vector<std::shared_ptr<Window>> windowsFrontToBack();

    float windowLevel() const { return m_level; }
    void setWindowLevel(float level);

    bool isKeyWindow() const;
    void makeKeyWindow();
    // Shows the window in front of the others of its level and makes it key.
    void makeKeyAndVisible();
    virtual void becomeKeyWindow() { }
    virtual void resignKeyWindow() { }
    void didAddSubview(View* subview) override;
    void willRemoveSubview(View* subview) override;

    Responder* firstResponder() const;
    // Where key commands start (Application::sendKeyCommand): the first
    // responder below the window; else the front-most view over the content (an alert, a
    // sheet, a popover) or the screen the content shows, at its largest
    // scroll view (a list, a page) where it has one.
    Responder* keyCommandResponder();
    // The screen the window shows: its root controller's deepest presented
    // one, at the top of its navigation.
    ViewController* visibleViewController() const;
    // Whether its screens slide: a presentation, or a push or pop of the
    // navigation that shows the visible screen.
    bool isTransitioning() const;
    // "transitioning" while it is, for the view tree's dump.
    std::string debugText() const override;
    // Whether something other than a screen stands in front over the
    // content: an alert, a sheet, a popover.
    bool showsChoiceInFront() const;

    // Dispatches an event the application routed here: touches to their
    // recognizers and views, the rest to the first responder.
    virtual void sendEvent(const Event& event);
    // Whether the interface may turn to `orientation`: the rotation client's
    // answer, portrait only without one.
    virtual bool shouldAutorotate(Orientation orientation);

    // The controller whose view fills the application frame; the window
    // owns it and asks it about rotation.
    ViewController* rootViewController() const { return m_rootViewController.get(); }
    void setRootViewController(std::shared_ptr<ViewController> controller);

    void setRotationClient(std::weak_ptr<RotationClient> client) { m_rotationClient = std::move(client); }
    std::shared_ptr<RotationClient> rotationClient() const { return m_rotationClient.lock(); }

    // The interface turns inside the window, which never does: the
    // interface's space is the window's bounds turned to the status bar's
    // orientation, with its origin at the interface's top left. Alerts,
    // sheets and popovers lay out there and stand in the window through
    // interfaceToWindow (a quarter turn about the middles).
    gfx::Rect interfaceBounds() const;
    gfx::AffineTransform interfaceToWindow() const;

    Responder* nextResponder() const override;
    std::string description() const override;

private:
    friend class Responder;
    friend class View;
    bool makeFirstResponder(Responder* responder);
    void subtreeWillLeave(View* view);

    float m_level = LevelNormal;
    uint64_t m_order = 0;
    std::weak_ptr<core::Object> m_firstResponder;
    Responder* m_firstResponderRaw = nullptr;
    std::weak_ptr<RotationClient> m_rotationClient;
    std::shared_ptr<ViewController> m_rootViewController;
};

} // namespace ui
