#pragma once

// The base of the viewers: a document shown full screen whose status bar,
// navigation bar and toolbar hide and show together. A single tap toggles
// them 0.3 s later (a double tap never does: its second touch is refused and,
// while the bars are hidden, cancels the show its first tap asked for); bars
// shown by a tap hide again 4 s later when the subclass lets them; any
// caller may ask for a state now or after a delay. A timed hide waits while
// a desktop pointer hovers over the bars or holds one of their buttons down
// (it asks again that long later, at least PointerHoldDelay). At most one
// change is pending, and every new request cancels it. The rest of the system hears
// of each change through the two notifications below.

#include "Platform/Core/Value.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/ViewController.h"

#include <memory>

namespace core {
class Timer;
}
namespace ui {
class TapGestureRecognizer;
}

// Posted after the bars hid or showed, with the controller as the sender.
inline constexpr const char* VKFullScreenViewControllerDidHideUINotification = "VKFullScreenViewControllerDidHideUINotification";
inline constexpr const char* VKFullScreenViewControllerDidShowUINotification = "VKFullScreenViewControllerDidShowUINotification";

class VKFullScreenViewController : public ui::ViewController, public ui::GestureRecognizerDelegate {
public:
    // How long a tap waits before toggling, and how long bars a tap showed
    // stay before they hide again.
    static constexpr double SingleTapDelay = 0.3;
    static constexpr double SingleTapRevertDelay = 4.0;
    static constexpr double PointerHoldDelay = 1.0;

    VKFullScreenViewController();
    ~VKFullScreenViewController() override;

    // Questions for subclasses, all yes here: whether bars a tap showed hide
    // again by themselves, and whether a tap (or a timed request) may show
    // or hide them.
    virtual bool shouldUIAutoHide() const { return true; }
    virtual bool shouldSingleTapShowUI() const { return true; }
    virtual bool shouldSingleTapHideUI() const { return true; }

    // The bars count as hidden while the status bar is.
    virtual bool isUIHidden() const;
    // Hides or shows the bars now: the status bar always fades, the
    // navigation bar and toolbar follow `animated`. A hide does nothing
    // while the passcode lock screen is up. The notification follows.
    virtual void setUIHidden(bool hidden, bool animated);
    void setUIHidden(bool hidden, double delay) = delete; // use setUIHiddenAfterDelay
    // Asks for a state after `delay` seconds with no revert.
    void setUIHiddenAfterDelay(bool hidden, double delay);
    // Asks for a state after `delay` seconds and, when `revertDelay` is
    // above 0, for the opposite one that long after. A request for the
    // present state only cancels what is pending; with neither delay above
    // 0 the change is made now, animated. Negative, NaN or infinite delays
    // count as 0.
    void setUIHidden(bool hidden, double delay, double revertDelay);
    void cancelToggleUITimer();
    // The pending request ("hidden" and, with a revert, "revertDelay"), or
    // null when none is pending.
    const core::Value& pendingToggleUserInfo() const { return m_toggleUserInfo; }

    // One tap, target and delegate this controller; made on first use and
    // added to the view when it loads.
    const std::shared_ptr<ui::TapGestureRecognizer>& singleTapGestureRecognizer();

    void viewDidLoad() override;

    // Only this controller's own recognizer is ruled here: it begins when
    // the question for the present state says yes, and takes no second touch
    // of a double tap.
    bool shouldBegin(ui::GestureRecognizer& recognizer) override;
    bool shouldReceiveTouch(ui::GestureRecognizer& recognizer, const ui::Touch& touch) override;

protected:
    virtual void singleTapGestureRecognized(ui::GestureRecognizer& recognizer);
    virtual void toggleUITimerDidFire(const core::Value& userInfo);

private:
    void scheduleToggle(core::Value userInfo, double delay);
    bool pointerRestsOnBars() const;

    std::shared_ptr<core::Timer> m_toggleUITimer;
    core::Value m_toggleUserInfo;
    double m_toggleDelay = 0;
    std::shared_ptr<ui::TapGestureRecognizer> m_singleTapGestureRecognizer;
};
