#include "Shell/VKFullScreenViewController.h"

#include "Shell/VKAppDelegateHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/View.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

double sanitizedDelay(double seconds)
{
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

bool passcodeLockIsUp()
{
    auto hooks = VKAppDelegateHooks::current();
    return hooks && hooks->isRootPasscodeControllerActive();
}

} // namespace

VKFullScreenViewController::VKFullScreenViewController() = default;

VKFullScreenViewController::~VKFullScreenViewController()
{
    cancelToggleUITimer();
}

bool VKFullScreenViewController::isUIHidden() const
{
    auto* application = ui::Application::shared();
    return application && application->isStatusBarHidden();
}

void VKFullScreenViewController::setUIHidden(bool hidden, bool animated)
{
    cancelToggleUITimer();
    if (hidden && passcodeLockIsUp())
        return;
    auto keep = shared_from_this();
    if (auto* application = ui::Application::shared())
        application->setStatusBarHidden(hidden, ui::Application::StatusBarAnimation::Fade);
    if (auto* navigation = navigationController()) {
        navigation->setNavigationBarHidden(hidden, animated);
        navigation->setToolbarHidden(hidden, animated);
    }
    core::NotificationCenter::defaultCenter().post(
        hidden ? VKFullScreenViewControllerDidHideUINotification : VKFullScreenViewControllerDidShowUINotification, keep);
}

void VKFullScreenViewController::setUIHiddenAfterDelay(bool hidden, double delay)
{
    setUIHidden(hidden, delay, 0.0);
}

void VKFullScreenViewController::setUIHidden(bool hidden, double delay, double revertDelay)
{
    cancelToggleUITimer();
    if (hidden == isUIHidden())
        return;
    delay = sanitizedDelay(delay);
    revertDelay = sanitizedDelay(revertDelay);
    if (delay <= 0 && revertDelay <= 0) {
        setUIHidden(hidden, true);
        return;
    }
    core::Value userInfo = core::Value::makeDictionary({ { "hidden", core::Value(hidden) } });
    if (revertDelay > 0)
        userInfo.mutableDictionary()["revertDelay"] = core::Value(revertDelay);
    scheduleToggle(std::move(userInfo), delay);
}

void VKFullScreenViewController::scheduleToggle(core::Value userInfo, double delay)
{
    m_toggleUserInfo = userInfo;
    m_toggleDelay = delay;
    // The timer holds the controller weakly: a controller that goes away
    // takes its pending change with it.
    m_toggleUITimer = core::RunLoop::main().schedule(sharedAs<VKFullScreenViewController>(), delay, false, [userInfo](VKFullScreenViewController& self, core::Timer&) {
        self.toggleUITimerDidFire(userInfo);
    });
}

bool VKFullScreenViewController::pointerRestsOnBars() const
{
    auto* application = ui::Application::shared();
    auto* navigation = navigationController();
    if (!application || !navigation)
        return false;
    auto& pointer = application->pointer();
    return (!navigation->isNavigationBarHidden() && pointer.isOn(navigation->navigationBar()))
        || (!navigation->isToolbarHidden() && pointer.isOn(navigation->toolbar()));
}

void VKFullScreenViewController::cancelToggleUITimer()
{
    if (auto timer = std::exchange(m_toggleUITimer, nullptr))
        timer->invalidate();
    m_toggleUserInfo = core::Value();
}

void VKFullScreenViewController::toggleUITimerDidFire(const core::Value& userInfo)
{
    m_toggleUITimer.reset();
    bool hidden = userInfo["hidden"].toBool();
    // Bars under the pointer (hovering, or pressing one of their buttons)
    // wait, so that they do not go from under a click.
    if (hidden && pointerRestsOnBars()) {
        scheduleToggle(userInfo, std::max(m_toggleDelay, PointerHoldDelay));
        return;
    }
    m_toggleUserInfo = core::Value();
    if (!(hidden ? shouldSingleTapHideUI() : shouldSingleTapShowUI()))
        return;
    setUIHidden(hidden, true);
    const core::Value& revert = userInfo["revertDelay"];
    if (!revert.isNull() && (hidden ? shouldSingleTapShowUI() : shouldSingleTapHideUI()))
        setUIHidden(!hidden, revert.toReal(), 0.0);
}

const std::shared_ptr<ui::TapGestureRecognizer>& VKFullScreenViewController::singleTapGestureRecognizer()
{
    if (!m_singleTapGestureRecognizer) {
        auto recognizer = ui::TapGestureRecognizer::create();
        recognizer->addTarget(shared_from_this(), "singleTapGestureRecognized", [this](ui::GestureRecognizer& r) {
            singleTapGestureRecognized(r);
        });
        recognizer->setDelegate(std::dynamic_pointer_cast<ui::GestureRecognizerDelegate>(shared_from_this()));
        m_singleTapGestureRecognizer = std::move(recognizer);
    }
    return m_singleTapGestureRecognizer;
}

void VKFullScreenViewController::viewDidLoad()
{
    ui::ViewController::viewDidLoad();
    view()->addGestureRecognizer(singleTapGestureRecognizer());
}

void VKFullScreenViewController::singleTapGestureRecognized(ui::GestureRecognizer& recognizer)
{
    if (recognizer.state() != ui::GestureRecognizer::Recognized)
        return;
    if (isUIHidden())
        setUIHidden(false, SingleTapDelay, shouldUIAutoHide() ? SingleTapRevertDelay : 0.0);
    else
        setUIHidden(true, SingleTapDelay, 0.0);
}

bool VKFullScreenViewController::shouldBegin(ui::GestureRecognizer& recognizer)
{
    if (&recognizer != m_singleTapGestureRecognizer.get())
        return true;
    return isUIHidden() ? shouldSingleTapShowUI() : shouldSingleTapHideUI();
}

bool VKFullScreenViewController::shouldReceiveTouch(ui::GestureRecognizer& recognizer, const ui::Touch& touch)
{
    if (&recognizer != m_singleTapGestureRecognizer.get() || touch.tapCount() < 2)
        return true;
    if (isUIHidden())
        cancelToggleUITimer();
    return false;
}
