#include "Platform/UI/Application.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/MemoryWarning.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/SystemURLOpener.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

#include <utility>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace ui {

namespace {

// Asked from worker threads too (the application's folders), so guarded.
std::mutex sharedMutex;
std::shared_ptr<Application> sharedApplication;

constexpr double TapInterval = 0.35;
constexpr float TapDistance = 44;

int quarterTurns(Orientation from, Orientation to)
{
    auto index = [](Orientation o) {
        switch (o) {
        case Orientation::LandscapeRight:
            return 1;
        case Orientation::PortraitUpsideDown:
            return 2;
        case Orientation::LandscapeLeft:
            return 3;
        default:
            return 0;
        }
    };
    int turns = std::abs(index(to) - index(from)) % 4;
    return turns == 3 ? 1 : turns;
}

} // namespace

Application* Application::shared()
{
    std::lock_guard lock(sharedMutex);
    return sharedApplication.get();
}

std::shared_ptr<Application> Application::sharedPointer()
{
    std::lock_guard lock(sharedMutex);
    return sharedApplication;
}

void Application::setShared(std::shared_ptr<Application> application)
{
    std::unique_lock lock(sharedMutex);
    std::swap(sharedApplication, application);
    // The one replaced goes outside the lock: its teardown may ask for the
    // shared application.
    lock.unlock();
    application.reset();
}

Application::Application()
{
    m_memoryWarning = core::NotificationCenter::defaultCenter().observe(core::DidReceiveMemoryWarningNotification,
        nullptr, [this](const core::Notification&) { receiveMemoryWarning(); });
}

Application::~Application() = default;

void Application::post(const char* name, core::Value userInfo)
{
    core::NotificationCenter::defaultCenter().post(name, std::static_pointer_cast<core::Object>(shared_from_this()),
        std::move(userInfo));
}

void Application::launch(const core::Value& options)
{
    requireMainThread("Application::launch");
    if (std::exchange(m_launched, true))
        throw core::Exception(core::Exception::InternalInconsistency, "Application::launch: already launched");
    auto self = shared_from_this();
    core::Value launchOptions = options.isNull() ? core::Value::makeDictionary() : options;
    bool answered = true;
    if (auto d = delegate())
        answered = d->didFinishLaunching(*this, launchOptions);
    post(didFinishLaunchingNotification, launchOptions);
    if (answered) {
        const core::Value& text = launchOptions.isDictionary() ? launchOptions[launchOptionsURLKey] : core::Value();
        if (text.isString())
            if (auto url = core::URL::parse(text.string()))
                handleOpenURL(*url);
    }
    becomeActive();
}

void Application::becomeActive()
{
    requireMainThread("Application::becomeActive");
    if (m_state == State::Active)
        return;
    m_state = State::Active;
    auto self = shared_from_this();
    if (auto d = delegate())
        d->didBecomeActive(*this);
    post(didBecomeActiveNotification);
}

void Application::resignActive()
{
    requireMainThread("Application::resignActive");
    if (m_state != State::Active)
        return;
    auto self = shared_from_this();
    if (auto d = delegate())
        d->willResignActive(*this);
    post(willResignActiveNotification);
    m_state = State::Inactive;
}

void Application::enterBackground()
{
    requireMainThread("Application::enterBackground");
    if (m_state == State::Background)
        return;
    resignActive();
    m_state = State::Background;
    auto self = shared_from_this();
    if (auto d = delegate())
        d->didEnterBackground(*this);
    post(didEnterBackgroundNotification);
}

void Application::enterForeground()
{
    requireMainThread("Application::enterForeground");
    if (m_state != State::Background)
        return;
    m_state = State::Inactive;
    auto self = shared_from_this();
    if (auto d = delegate())
        d->willEnterForeground(*this);
    post(willEnterForegroundNotification);
    becomeActive();
}

void Application::terminate()
{
    requireMainThread("Application::terminate");
    if (std::exchange(m_terminated, true))
        return;
    auto self = shared_from_this();
    if (auto d = delegate())
        d->willTerminate(*this);
    post(willTerminateNotification);
    core::RunLoop::main().stop();
}

bool Application::handleOpenURL(const core::URL& url)
{
    requireMainThread("Application::handleOpenURL");
    auto self = shared_from_this();
    auto d = delegate();
    return d && d->handleOpenURL(*this, url);
}

void Application::receiveMemoryWarning()
{
    auto self = shared_from_this();
    if (auto d = delegate())
        d->didReceiveMemoryWarning(*this);
    post(didReceiveMemoryWarningNotification);
}

std::vector<std::shared_ptr<Window>> Application::windows() const
{
    return Window::allWindows();
}

std::shared_ptr<Window> Application::keyWindow() const
{
    for (auto& window : Window::allWindows())
        if (window->isKeyWindow())
            return window;
    return nullptr;
}

void Application::tapCount(const Event& event)
{
    for (auto& touch : event.allTouches()) {
        gfx::Point p = touch->locationOnScreen();
        if (touch->phase() == Touch::Phase::Began) {
            bool near = m_lastTapTime >= 0 && touch->timestamp() - m_lastTapTime <= TapInterval
                && std::hypot(p.x - m_lastTapLocation.x, p.y - m_lastTapLocation.y) <= TapDistance;
            touch->setTapCount(near ? m_lastTapCount + 1 : 1);
        } else if (touch->phase() == Touch::Phase::Ended) {
            m_lastTapTime = touch->timestamp();
            m_lastTapLocation = p;
            m_lastTapCount = touch->tapCount();
        }
    }
}

namespace {

// A scroll goes to the deepest scroll view under it that can still move
// that way, straight to its offset: no bounce, no coasting.
void scrollUnder(const Event& event)
{
    gfx::Point location = event.scrollLocation();
    for (auto& window : Window::windowsFrontToBack()) {
        if (window->isHidden())
            continue;
        gfx::Point local = window->layer().transformToSuperlayer().inverted().apply(location);
        View* hit = window->hitTest(local, &event);
        if (!hit)
            continue;
        auto keep = hit->shared_from_this();
        for (View* view = hit; view; view = view->superview())
            if (view->wheelEvent(event))
                return;
        return;
    }
}

} // namespace

void Application::sendEvent(const Event& event)
{
    requireMainThread("Application::sendEvent");
    auto self = shared_from_this();
    if (event.type() == Event::Type::Touches) {
        layoutPendingViews();
        tapCount(event);
        auto windows = Window::windowsFrontToBack();
        for (auto& touch : event.allTouches()) {
            if (touch->phase() != Touch::Phase::Began)
                continue;
            for (auto it = windows.begin(); it != windows.end(); ++it) {
                auto& window = *it;
                if (window->isHidden())
                    continue;
                gfx::Point local = window->layer().transformToSuperlayer().inverted().apply(touch->locationOnScreen());
                if (View* hit = window->hitTest(local, &event)) {
                    // While its screens slide the one leaving still lies on
                    // top: a touch begun then reaches no view (as keys are
                    // held), rather than the screen beneath.
                    if (!window->isTransitioning())
                        touch->setHitTest(std::static_pointer_cast<View>(hit->shared_from_this()), window.get());
                    break;
                }
            }
        }
        m_pointer.touchesChanged(event.allTouches());
        std::vector<Window*> targets;
        for (auto& touch : event.allTouches())
            if (touch->window() && std::find(targets.begin(), targets.end(), touch->window()) == targets.end())
                targets.push_back(touch->window());
        for (Window* window : targets) {
            auto keep = window->shared_from_this();
            if (targets.size() == 1)
                window->sendEvent(event);
            else
                window->sendEvent(Event::touches(event.touchesForWindow(window)));
        }
        return;
    }
    if (event.type() == Event::Type::Scroll || event.type() == Event::Type::Zoom) {
        layoutPendingViews();
        scrollUnder(event);
        return;
    }
    if (event.type() == Event::Type::RemoteControl && !m_receivingRemoteControl)
        return;
    if (auto window = keyWindow())
        window->sendEvent(event);
    else if (event.type() == Event::Type::RemoteControl)
        remoteControlReceived(event);
}


bool Application::sendKeyCommand(KeyCommand command)
{
    requireMainThread("Application::sendKeyCommand");
    auto self = shared_from_this();
    auto window = keyWindow();
    if (!window)
        return false;
    // Keys left from a slide whose end never came go first.
    if (!window->isTransitioning())
        deliverHeldKeyCommands();
    if (window->isTransitioning()) {
        if (m_heldKeyCommands.size() < MaximumHeldKeyCommands)
            m_heldKeyCommands.push_back(command);
        return true;
    }
    return dispatchKeyCommand(command);
}

void Application::transitionDidEnd()
{
    if (m_heldKeyCommands.empty())
        return;
    core::RunLoop::main().performAfter(sharedAs<Application>(), 0, [](Application& self) {
        self.deliverHeldKeyCommands();
    });
}

void Application::deliverHeldKeyCommands()
{
    // A held key that starts another slide holds the rest again.
    while (!m_heldKeyCommands.empty()) {
        auto window = keyWindow();
        if (window && window->isTransitioning())
            return;
        KeyCommand command = m_heldKeyCommands.front();
        m_heldKeyCommands.pop_front();
        if (window)
            dispatchKeyCommand(command);
    }
}

bool Application::dispatchKeyCommand(KeyCommand command)
{
    layoutPendingViews();
    auto window = keyWindow();
    if (!window)
        return false;
    Responder* start = window->keyCommandResponder();
    // Each responder may go with the command it takes.
    std::vector<std::weak_ptr<core::Object>> chain;
    for (Responder* responder = start; responder; responder = responder->nextResponder())
        chain.push_back(responder->weak_from_this());
    for (auto& weak : chain) {
        auto responder = std::dynamic_pointer_cast<Responder>(weak.lock());
        if (responder && responder->performKeyCommand(command))
            return true;
    }
    // With nothing to cancel, Escape goes back a screen.
    return command == KeyCommand::Escape && dispatchKeyCommand(KeyCommand::Back);
}

bool Application::openURL(const core::URL& url)
{
    requireMainThread("Application::openURL");
    if (!canOpenURL(url))
        return false;
    m_openedURLs.push_back(url);
    if (m_opener)
        return m_opener(url);
    return true;
}

bool Application::canOpenURL(const core::URL& url) const
{
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (scheme == "http" || scheme == "https" || scheme == "mailto")
        return true;
    return std::find(m_schemes.begin(), m_schemes.end(), scheme) != m_schemes.end();
}

void Application::registerURLSchemeForTesting(std::string scheme)
{
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    m_schemes.push_back(std::move(scheme));
}

void Application::setStatusBarHidden(bool hidden, StatusBarAnimation animation)
{
    requireMainThread("Application::setStatusBarHidden");
    if (int(animation) < 0 || int(animation) > 2)
        throw core::Exception(core::Exception::InvalidArgument,
            "Application::setStatusBarHidden: " + std::to_string(int(animation)) + " is no status bar animation");
    double now = core::RunLoop::hasMainThread() ? core::RunLoop::main().clock()->monotonic() : 0;
    if (hidden != m_statusBarHidden && animation == StatusBarAnimation::Fade) {
        m_statusBarFadeFrom = statusBarAlphaAt(now);
        m_statusBarFadeStart = now;
    } else if (hidden != m_statusBarHidden) {
        m_statusBarFadeStart = -1;
    }
    m_statusBarHidden = hidden;
    m_statusBarAnimation = animation;
}

float Application::statusBarAlphaAt(double time) const
{
    if (!m_hasStatusBar)
        return 0;
    float target = m_statusBarHidden ? 0 : 1;
    if (m_statusBarFadeStart < 0 || time >= m_statusBarFadeStart + StatusBarFadeDuration)
        return target;
    float progress = float(std::max(0.0, time - m_statusBarFadeStart) / StatusBarFadeDuration);
    return m_statusBarFadeFrom + (target - m_statusBarFadeFrom) * progress;
}

void Application::setStatusBarStyle(StatusBarStyle style, bool)
{
    requireMainThread("Application::setStatusBarStyle");
    if (int(style) < 0 || int(style) > 2)
        throw core::Exception(core::Exception::InvalidArgument,
            "Application::setStatusBarStyle: " + std::to_string(int(style)) + " is no status bar style");
    m_statusBarStyle = style;
}

gfx::Rect Application::statusBarFrameWhenShown() const
{
    if (!m_hasStatusBar)
        return gfx::Rect::zero();
    gfx::Rect screen = Screen::main()->bounds();
    switch (m_statusBarOrientation) {
    case Orientation::PortraitUpsideDown:
        return { 0, screen.height() - StatusBarHeight, screen.width(), StatusBarHeight };
    case Orientation::LandscapeRight:
        return { screen.width() - StatusBarHeight, 0, StatusBarHeight, screen.height() };
    case Orientation::LandscapeLeft:
        return { 0, 0, StatusBarHeight, screen.height() };
    default:
        return { 0, 0, screen.width(), StatusBarHeight };
    }
}

gfx::Rect Application::applicationFrame() const
{
    gfx::Rect screen = Screen::main()->bounds();
    if (m_statusBarHidden || !m_hasStatusBar)
        return screen;
    switch (m_statusBarOrientation) {
    case Orientation::PortraitUpsideDown:
        return { 0, 0, screen.width(), screen.height() - StatusBarHeight };
    case Orientation::LandscapeRight:
        return { 0, 0, screen.width() - StatusBarHeight, screen.height() };
    case Orientation::LandscapeLeft:
        return { StatusBarHeight, 0, screen.width() - StatusBarHeight, screen.height() };
    default:
        return { 0, StatusBarHeight, screen.width(), screen.height() - StatusBarHeight };
    }
}

void Application::setHasStatusBar(bool present)
{
    requireMainThread("Application::setHasStatusBar");
    if (std::exchange(m_hasStatusBar, present) == present)
        return;
    layOutTurnedViews(0);
}

float Application::currentStatusBarHeight()
{
    auto* application = shared();
    return application ? application->statusBarHeight() : StatusBarHeight;
}

void Application::setDeviceOrientation(Orientation orientation)
{
    requireMainThread("Application::setDeviceOrientation");
    if (int(orientation) < 0 || int(orientation) > 6)
        throw core::Exception(core::Exception::InvalidArgument,
            "Application::setDeviceOrientation: " + std::to_string(int(orientation)) + " is no orientation");
    m_deviceOrientation = orientation;
    auto self = shared_from_this();
    post(deviceOrientationDidChangeNotification);
    if (!isInterfaceOrientation(orientation) || orientation == m_statusBarOrientation)
        return;
    auto window = keyWindow();
    if (!window || !window->shouldAutorotate(orientation))
        return;
    setStatusBarOrientation(orientation, true);
}

void Application::setStatusBarOrientation(Orientation orientation, bool animated)
{
    requireMainThread("Application::setStatusBarOrientation");
    if (!isInterfaceOrientation(orientation))
        throw core::Exception(core::Exception::InvalidArgument,
            "Application::setStatusBarOrientation: " + std::to_string(int(orientation)) + " is no interface orientation");
    Orientation old = m_statusBarOrientation;
    if (old == orientation)
        return;
    auto self = shared_from_this();
    double duration = animated ? OrientationAnimationDuration * quarterTurns(old, orientation) : 0;
    // A desktop window's turn is its resize, already done.
    if (m_interfaceSize)
        duration = 0;
    auto window = keyWindow();
    auto client = window ? window->rotationClient() : nullptr;

    auto& center = core::NotificationCenter::defaultCenter();
    auto sender = std::static_pointer_cast<core::Object>(self);
    center.post(willChangeStatusBarOrientationNotification, sender, { orientation });
    if (client)
        client->willRotate(orientation, duration);
    m_statusBarOrientation = orientation;
    bool resized = fitScreenToInterface();
    layOutTurnedViews(duration);
    center.post(didChangeStatusBarOrientationNotification, sender, { old });
    if (resized)
        post(didResizeScreenNotification);
    if (client) {
        core::RunLoop::main().performAfter(client, duration, [old](RotationClient& client) {
            client.didRotate(old);
        });
    }
}

// The turned views of every window on the main screen: the key window's
// and those under an alert.
void Application::layOutTurnedViews(double duration)
{
    Orientation orientation = m_statusBarOrientation;
    gfx::Rect screen = Screen::main()->bounds();
    gfx::Rect frame = applicationFrame();
    gfx::Size size = isLandscape(orientation) ? gfx::Size { frame.height(), frame.width() } : frame.size;
    ViewAnimation::begin("rotation");
    ViewAnimation::setDuration(duration);
    for (auto& window : Window::allWindows()) {
        auto client = window->rotationClient();
        if (!client || window->frame() != screen)
            continue;
        for (View* view : client->rotatingViews()) {
            view->setTransform(gfx::AffineTransform::rotation(rotationAngle(orientation)));
            view->setBounds({ 0, 0, size.width, size.height });
            view->setCenter({ frame.midX(), frame.midY() });
        }
        for (View* sheet : client->rotatingSheets()) {
            sheet->setTransform(gfx::AffineTransform::rotation(rotationAngle(orientation)));
            sheet->setCenter({ frame.midX(), frame.midY() });
        }
    }
    ViewAnimation::commit();
}

bool Application::fitScreenToInterface()
{
    if (!m_interfaceSize)
        return false;
    gfx::Size size = *m_interfaceSize;
    if (isLandscape(m_statusBarOrientation))
        std::swap(size.width, size.height);
    gfx::Rect old = Screen::main()->bounds();
    if (old.size == size)
        return false;
    gfx::Rect screen { 0, 0, size.width, size.height };
    Screen::main()->setBounds(screen);
    // Windows that covered the screen cover it again; what stands in them
    // by itself (alerts, sheets) lays out anew.
    for (auto& window : Window::allWindows()) {
        if (window->frame() != old)
            continue;
        window->setFrame(screen);
        for (auto& subview : window->subviews())
            subview->setNeedsLayout();
    }
    return true;
}

void Application::setInterfaceSize(gfx::Size size)
{
    requireMainThread("Application::setInterfaceSize");
    if (!std::isfinite(size.width) || !std::isfinite(size.height) || size.width <= 0 || size.height <= 0)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("Application::setInterfaceSize: {} × {} is no size", size.width, size.height));
    auto self = shared_from_this();
    m_interfaceSize = size;
    if (!fitScreenToInterface())
        return;
    layOutTurnedViews(0);
    post(didResizeScreenNotification);
}

void Application::attemptRotationToDeviceOrientation()
{
    requireMainThread("Application::attemptRotationToDeviceOrientation");
    Orientation device = m_deviceOrientation;
    if (!isInterfaceOrientation(device) || device == m_statusBarOrientation)
        return;
    auto window = keyWindow();
    if (window && window->shouldAutorotate(device))
        setStatusBarOrientation(device, true);
}

void Application::scheduleLayoutPass()
{
    if (std::exchange(m_layoutScheduled, true))
        return;
    core::RunLoop::main().performAfter(sharedAs<Application>(), 0, [](Application& self) {
        self.layoutPendingViews();
    }, {}, core::RunLoop::CommonModes);
}

void Application::layoutPendingViews()
{
    m_layoutScheduled = false;
    for (auto& window : Window::allWindows())
        window->layoutIfNeeded();
}

int applicationMain(int, char**, const std::function<std::shared_ptr<Application>()>& makeApplication,
    const std::function<std::shared_ptr<ApplicationDelegate>()>& makeDelegate)
{
    if (!core::RunLoop::hasMainThread())
        core::RunLoop::setMainThread();
    auto application = makeApplication ? makeApplication() : nullptr;
    if (!application)
        application = std::make_shared<Application>();
    Application::setShared(application);
    auto delegate = makeDelegate ? makeDelegate() : nullptr;
    application->setDelegate(delegate);
    if (!application->hasURLOpener())
        application->setURLOpener(SystemURLOpener::open);
    application->launch();
    core::RunLoop::main().run();
    Application::setShared(nullptr);
    return 0;
}

} // namespace ui
