#pragma once

// The application object: life cycle and state, its windows, the entry of
// every input event (sendEvent), URL opening, remote-control receiving, the
// status bar and its orientation, and the end-of-pass layout. One per
// process (subclassable); the delegate hears each life-cycle step before the
// matching notification goes out. It observes the platform's memory warning
// from its creation, so that its delegate hears before any controller.

#include "Platform/Core/Notification.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/ApplicationDelegate.h"
#include "Platform/UI/Orientation.h"
#include "Platform/UI/Pointer.h"
#include "Platform/UI/Responder.h"

#include <deque>
#include <functional>
#include <utility>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class Event;
class Window;

class Application : public Responder {
public:
    enum class State { Active = 0, Inactive = 1, Background = 2 };
    enum class StatusBarAnimation { None = 0, Fade = 1, Slide = 2 };
    enum class StatusBarStyle { Default = 0, BlackTranslucent = 1, BlackOpaque = 2 };

    static constexpr const char* didFinishLaunchingNotification = "ui.ApplicationDidFinishLaunching";
    static constexpr const char* didBecomeActiveNotification = "ui.ApplicationDidBecomeActive";
    static constexpr const char* willResignActiveNotification = "ui.ApplicationWillResignActive";
    static constexpr const char* didEnterBackgroundNotification = "ui.ApplicationDidEnterBackground";
    static constexpr const char* willEnterForegroundNotification = "ui.ApplicationWillEnterForeground";
    static constexpr const char* willTerminateNotification = "ui.ApplicationWillTerminate";
    static constexpr const char* didReceiveMemoryWarningNotification = "ui.ApplicationDidReceiveMemoryWarning";
    // A turn of the interface: will-change carries the orientation it turns
    // to, did-change the one it came from.
    struct OrientationChange {
        Orientation orientation = Orientation::Unknown;
    };
    static constexpr core::NoticeName<OrientationChange> willChangeStatusBarOrientationNotification { "ui.ApplicationWillChangeStatusBarOrientation" };
    static constexpr core::NoticeName<OrientationChange> didChangeStatusBarOrientationNotification { "ui.ApplicationDidChangeStatusBarOrientation" };
    static constexpr const char* deviceOrientationDidChangeNotification = "ui.DeviceOrientationDidChange";
    // Posted after the screen took a new size (a desktop window resized).
    static constexpr const char* didResizeScreenNotification = "ui.ApplicationDidResizeScreen";
    // User-info keys.
    static constexpr const char* launchOptionsURLKey = "ui.LaunchOptionsURL";

    static constexpr float StatusBarHeight = 20;
    static constexpr double StatusBarFadeDuration = 0.2;
    static constexpr double OrientationAnimationDuration = 0.3;

    // The running application (null before one was made shared).
    static Application* shared();
    static std::shared_ptr<Application> sharedPointer();
    static void setShared(std::shared_ptr<Application> application);

    Application();
    ~Application() override;

    std::shared_ptr<ApplicationDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) { m_delegate = std::move(delegate); }

    State applicationState() const { return m_state; }

    // The life cycle, as the system drives it.
    void launch(const core::Value& options = {});
    void becomeActive();
    void resignActive();
    void enterBackground();
    void enterForeground();
    void terminate();
    // The system asks the application to open `url`: the delegate's answer.
    bool handleOpenURL(const core::URL& url);
    // The platform's memory warning, heard from the notification centre.
    void receiveMemoryWarning();

    std::vector<std::shared_ptr<Window>> windows() const;
    std::shared_ptr<Window> keyWindow() const;

    // Every input event enters here: touches go to the window under them
    // (highest level first), the rest to the key window.
    virtual void sendEvent(const Event& event);
    // A key command goes up the responder chain from the key window's key
    // responder until one takes it; an Escape nobody takes goes back. True
    // when taken. Keys typed while the key window's screens slide (a push,
    // a pop, a presentation) are held and go on in order once it ends.
    bool sendKeyCommand(KeyCommand command);
    // A screen's slide ended: the keys held during it go on the next pass.
    void transitionDidEnd();
    // The pointer: the touches sent here and where the host says it hovers.
    Pointer& pointer() { return m_pointer; }

    // URLs handed to the system, recorded; `opener` (the program's) gets
    // them too. canOpenURL: http, https, mailto and registered schemes.
    virtual bool openURL(const core::URL& url);
    virtual bool canOpenURL(const core::URL& url) const;
    const std::vector<core::URL>& openedURLs() const { return m_openedURLs; }
    void setURLOpener(std::function<bool(const core::URL&)> opener) { m_opener = std::move(opener); }
    bool hasURLOpener() const { return bool(m_opener); }
    void registerURLSchemeForTesting(std::string scheme);

    void beginReceivingRemoteControlEvents() { m_receivingRemoteControl = true; }
    void endReceivingRemoteControlEvents() { m_receivingRemoteControl = false; }
    bool isReceivingRemoteControlEvents() const { return m_receivingRemoteControl; }

    // The status bar: 20 points at the top of the interface, where the
    // device has one (a desktop window has none: it then takes no room and
    // is never drawn, while its hidden flag and orientation are kept).
    bool hasStatusBar() const { return m_hasStatusBar; }
    void setHasStatusBar(bool present);
    // 20 points with a status bar, else 0; the shared application's, 20
    // without one.
    float statusBarHeight() const { return m_hasStatusBar ? StatusBarHeight : 0; }
    static float currentStatusBarHeight();
    Orientation statusBarOrientation() const { return m_statusBarOrientation; }
    // Turns the interface: notifications, the key window's rotation client
    // and its views, didRotate once the clock passes the duration.
    void setStatusBarOrientation(Orientation orientation, bool animated = true);
    bool isStatusBarHidden() const { return m_statusBarHidden; }
    // Hidden or shown at once; a fade only changes how it is drawn.
    void setStatusBarHidden(bool hidden, StatusBarAnimation animation = StatusBarAnimation::None);
    // How opaque the status bar shows at `time` on the run loop's clock: 0
    // hidden, 1 shown, between while a fade runs.
    float statusBarAlphaAt(double time) const;
    StatusBarAnimation statusBarAnimation() const { return m_statusBarAnimation; }
    StatusBarStyle statusBarStyle() const { return m_statusBarStyle; }
    void setStatusBarStyle(StatusBarStyle style, bool animated = false);
    // Where the status bar stands in the current orientation, hidden or not.
    gfx::Rect statusBarFrameWhenShown() const;
    double statusBarOrientationAnimationDuration() const { return OrientationAnimationDuration; }
    // The screen less the status bar, in screen coordinates.
    gfx::Rect applicationFrame() const;

    // The device's orientation (0–6). A change posts
    // deviceOrientationDidChangeNotification, then turns the interface when
    // it is one of 1–4 and the key window agrees.
    Orientation deviceOrientation() const { return m_deviceOrientation; }
    void setDeviceOrientation(Orientation orientation);

    // The screen follows a desktop window: the interface is laid out at
    // `size` points, the window's, whichever way it stands, and the
    // screen's sides swap when it turns. Windows that covered the screen
    // cover it again, the turned views take the new application frame, and
    // didResizeScreenNotification goes out. Turns then take no time.
    void setInterfaceSize(gfx::Size size);
    std::optional<gfx::Size> interfaceSize() const { return m_interfaceSize; }
    // Turns the interface to the device's orientation where it stands
    // otherwise and the key window now allows it (a screen that refused
    // the turn has gone).
    void attemptRotationToDeviceOrientation();

    bool isIdleTimerDisabled() const { return m_idleTimerDisabled; }
    // Virtual: a subclass may refuse a change (keep-awake settings).
    virtual void setIdleTimerDisabled(bool disabled) { m_idleTimerDisabled = disabled; }
    bool isNetworkActivityIndicatorVisible() const { return m_networkActivityVisible; }
    virtual void setNetworkActivityIndicatorVisible(bool visible) { m_networkActivityVisible = visible; }
    int applicationIconBadgeNumber() const { return m_badgeNumber; }
    void setApplicationIconBadgeNumber(int number) { m_badgeNumber = number; }

    // Runs pending layout of every window at the end of this main-loop pass.
    void scheduleLayoutPass();
    void layoutPendingViews();

private:
    void post(const char* name, core::Value userInfo = {});
    void tapCount(const Event& event);
    // Sets the main screen for the interface size and orientation; true
    // when its size changed.
    bool fitScreenToInterface();
    void layOutTurnedViews(double duration);
    bool dispatchKeyCommand(KeyCommand command);
    void deliverHeldKeyCommands();

    std::weak_ptr<ApplicationDelegate> m_delegate;
    State m_state = State::Inactive;
    bool m_launched = false;
    bool m_terminated = false;
    std::vector<core::URL> m_openedURLs;
    std::vector<std::string> m_schemes;
    std::function<bool(const core::URL&)> m_opener;
    bool m_receivingRemoteControl = false;
    Pointer m_pointer;
    Orientation m_statusBarOrientation = Orientation::Portrait;
    Orientation m_deviceOrientation = Orientation::Portrait;
    bool m_statusBarHidden = false;
    bool m_hasStatusBar = true;
    std::optional<gfx::Size> m_interfaceSize;
    StatusBarAnimation m_statusBarAnimation = StatusBarAnimation::None;
    double m_statusBarFadeStart = -1;
    float m_statusBarFadeFrom = 1;
    StatusBarStyle m_statusBarStyle = StatusBarStyle::Default;
    bool m_idleTimerDisabled = false;
    bool m_networkActivityVisible = false;
    int m_badgeNumber = 0;
    bool m_layoutScheduled = false;
    double m_lastTapTime = -1;
    gfx::Point m_lastTapLocation;
    int m_lastTapCount = 0;
    core::Observation m_memoryWarning;
    // Bounded: a key held down through a slide repeats.
    static constexpr size_t MaximumHeldKeyCommands = 32;
    std::deque<KeyCommand> m_heldKeyCommands;
};

// Makes the application (and makes it shared) and its delegate, launches it
// and runs the main loop until terminate(). Answers the exit status.
int applicationMain(int argc, char** argv, const std::function<std::shared_ptr<Application>()>& makeApplication,
    const std::function<std::shared_ptr<ApplicationDelegate>()>& makeDelegate);

} // namespace ui
