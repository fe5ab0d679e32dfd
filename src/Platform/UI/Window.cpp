#include "Platform/UI/Window.h"

#include "Platform/UI/ScreenWindows.h"

#include "Platform/Core/NotificationCenter.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TouchRouter.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui {

namespace {

// Never destroyed: a window kept by a static (the alerts' window) leaves it
// at the program's exit, after this list would have gone.
std::vector<Window*>& registry()
{
    static auto* windows = new std::vector<Window*>;
    return *windows;
}

Window* keyWindow = nullptr;
uint64_t nextOrder = 0;

} // namespace

std::shared_ptr<Window> Window::create(const gfx::Rect& frame)
{
    return View::make<Window>(frame);
}

Window::Window()
{
    View::m_window = this;
    setHidden(true);
    registry().push_back(this);
}

void Window::didAddSubview(View* subview)
{
    View::didAddSubview(subview);
    if (auto self = weak_from_this().lock())
        core::NotificationCenter::defaultCenter().post(subviewsDidChangeNotification, self);
}

void Window::willRemoveSubview(View* subview)
{
    View::willRemoveSubview(subview);
    if (auto self = weak_from_this().lock())
        core::NotificationCenter::defaultCenter().post(subviewsDidChangeNotification, self);
}

Window::~Window()
{
    forgetScreenOfWindow(this);
    std::erase(registry(), this);
    if (keyWindow == this)
        keyWindow = nullptr;
    // The subviews must not see a dead window.
    View::m_window = nullptr;
}

std::vector<std::shared_ptr<Window>> Window::allWindows()
{
    std::vector<std::shared_ptr<Window>> windows;
    for (Window* window : registry())
        if (auto shared = std::static_pointer_cast<Window>(window->weak_from_this().lock()))
            windows.push_back(std::move(shared));
    return windows;
}

std::vector<std::shared_ptr<Window>> Window::windowsFrontToBack()
{
    auto windows = allWindows();
    // Windows on another screen are that screen's alone.
    std::erase_if(windows, [](const std::shared_ptr<Window>& window) { return !isOnMainScreen(*window); });
    std::stable_sort(windows.begin(), windows.end(), [](auto& a, auto& b) {
        return a->m_level != b->m_level ? a->m_level > b->m_level : a->m_order > b->m_order;
    });
    return windows;
}

void Window::setWindowLevel(float level)
{
    requireFinite(level, "Window::setWindowLevel");
    m_level = level;
}

bool Window::isKeyWindow() const
{
    return keyWindow == this;
}

void Window::makeKeyWindow()
{
    requireMainThread("Window::makeKeyWindow");
    if (keyWindow == this)
        return;
    if (keyWindow)
        keyWindow->resignKeyWindow();
    keyWindow = this;
    becomeKeyWindow();
}

void Window::makeKeyAndVisible()
{
    setHidden(false);
    m_order = ++nextOrder;
    makeKeyWindow();
}

Responder* Window::firstResponder() const
{
    if (m_firstResponder.expired())
        return nullptr;
    return m_firstResponderRaw;
}

bool Window::makeFirstResponder(Responder* responder)
{
    Responder* current = firstResponder();
    if (current == responder)
        return true;
    bool keyboardBefore = current && current->usesKeyboard();
    bool keyboardAfter = responder && responder->usesKeyboard();
    if (current) {
        auto keep = current->shared_from_this();
        m_firstResponder.reset();
        m_firstResponderRaw = nullptr;
        current->didResignFirstResponder();
    }
    if (responder) {
        m_firstResponder = responder->weak_from_this();
        m_firstResponderRaw = responder;
        responder->didBecomeFirstResponder();
    }
    if (keyboardAfter)
        Keyboard::shared().show(keyboardBefore);
    else if (keyboardBefore)
        Keyboard::shared().hide();
    return true;
}

void Window::subtreeWillLeave(View* view)
{
    auto* responder = dynamic_cast<View*>(firstResponder());
    if (responder && responder->isDescendantOfView(view))
        makeFirstResponder(nullptr);
}

void Window::sendEvent(const Event& event)
{
    requireMainThread("Window::sendEvent");
    auto self = shared_from_this();
    switch (event.type()) {
    case Event::Type::Touches:
        TouchRouter::route(*this, event);
        break;
    case Event::Type::Motion: {
        Responder* target = firstResponder() ? firstResponder() : this;
        target->motionBegan(event);
        target->motionEnded(event);
        break;
    }
    case Event::Type::RemoteControl: {
        Responder* target = firstResponder() ? firstResponder() : this;
        target->remoteControlReceived(event);
        break;
    }
    case Event::Type::Scroll:
    case Event::Type::Zoom:
        break; // the application hands them to the views under the pointer
    }
}

bool Window::shouldAutorotate(Orientation orientation)
{
    if (auto client = rotationClient())
        return client->shouldAutorotate(orientation);
    return orientation == Orientation::Portrait;
}

Responder* Window::nextResponder() const
{
    if (Responder* controller = View::controller())
        return controller;
    return Application::shared();
}

namespace {

// The interface's quarter turn, exact.
gfx::AffineTransform quarterTurn(Orientation orientation)
{
    switch (orientation) {
    case Orientation::PortraitUpsideDown:
        return { -1, 0, 0, -1, 0, 0 };
    case Orientation::LandscapeRight:
        return { 0, 1, -1, 0, 0, 0 };
    case Orientation::LandscapeLeft:
        return { 0, -1, 1, 0, 0, 0 };
    default:
        return {};
    }
}

Orientation interfaceOrientation()
{
    auto* application = Application::shared();
    return application ? application->statusBarOrientation() : Orientation::Portrait;
}

} // namespace

namespace {

bool showsOnScreen(const View& view)
{
    return !view.isHidden() && view.alpha() > 0.01f && view.isUserInteractionEnabled();
}

// The largest scroll view that can scroll under `view` (the later, deeper
// one of equals: a zoomed page inside its pager), by what shows of it in
// `window`.
void largestScrollView(View& view, const Window& window, ScrollView*& best, float& bestArea)
{
    if (!showsOnScreen(view))
        return;
    if (auto* scroll = dynamic_cast<ScrollView*>(&view); scroll && scroll->isScrollEnabled()) {
        gfx::Rect shown = view.convertRect(view.bounds(), nullptr).intersection(window.bounds());
        float area = shown.isEmpty() ? 0 : shown.width() * shown.height();
        if (area > 0 && area >= bestArea) {
            best = scroll;
            bestArea = area;
        }
    }
    for (auto& subview : view.subviews())
        largestScrollView(*subview, window, best, bestArea);
}

// The screen a controller's navigation shows now.
ViewController* shownScreen(ViewController* controller)
{
    while (auto* navigation = dynamic_cast<NavigationController*>(controller)) {
        ViewController* top = navigation->topViewController();
        if (!top || !top->isViewLoaded() || !top->view()->window())
            break;
        controller = top;
    }
    return controller;
}

// What stands in front over the content: an alert, a sheet, a popover or
// the screens.
View* frontView(const Window& window)
{
    for (auto it = window.subviews().rbegin(); it != window.subviews().rend(); ++it)
        if (showsOnScreen(**it))
            return it->get();
    return nullptr;
}

} // namespace

ViewController* Window::visibleViewController() const
{
    ViewController* controller = m_rootViewController.get();
    while (controller && controller->modalViewController())
        controller = controller->modalViewController();
    return controller ? shownScreen(controller) : nullptr;
}

bool Window::isTransitioning() const
{
    if (ViewController::isModalTransitionRunning())
        return true;
    View* front = frontView(*this);
    auto* controller = front ? dynamic_cast<ViewController*>(front->controller()) : nullptr;
    for (controller = controller ? shownScreen(controller) : nullptr; controller; controller = controller->parentViewController())
        if (auto* navigation = dynamic_cast<NavigationController*>(controller); navigation && navigation->isTransitioning())
            return true;
    return false;
}

std::string Window::debugText() const
{
    return isTransitioning() ? "transitioning" : "";
}

bool Window::showsChoiceInFront() const
{
    View* front = frontView(*this);
    return front && !dynamic_cast<ViewController*>(front->controller());
}

Responder* Window::keyCommandResponder()
{
    // The window itself may be first responder, for remote control.
    if (Responder* responder = firstResponder(); responder && responder != this)
        return responder;
    layoutIfNeeded();
    View* front = frontView(*this);
    if (!front)
        return this;
    // A screen in front: the one its navigation shows now.
    if (auto* controller = dynamic_cast<ViewController*>(front->controller()))
        front = shownScreen(controller)->view().get();
    ScrollView* scroll = nullptr;
    float area = 0;
    largestScrollView(*front, *this, scroll, area);
    return scroll ? static_cast<Responder*>(scroll) : front;
}

gfx::Rect Window::interfaceBounds() const
{
    gfx::Size size = bounds().size;
    if (isLandscape(interfaceOrientation()))
        std::swap(size.width, size.height);
    return { 0, 0, size.width, size.height };
}

gfx::AffineTransform Window::interfaceToWindow() const
{
    gfx::Rect interface = interfaceBounds();
    gfx::Rect own = bounds();
    return gfx::AffineTransform::translation(-interface.midX(), -interface.midY())
        .concatenating(quarterTurn(interfaceOrientation()))
        .concatenating(gfx::AffineTransform::translation(own.midX(), own.midY()));
}

std::string Window::description() const
{
    auto f = frame();
    return fmt::format("<{}: {}; frame = ({} {}; {} {}); level = {}>", className(), static_cast<const void*>(this),
        f.origin.x, f.origin.y, f.size.width, f.size.height, m_level);
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller)
{
    requireMainThread("Window::setRootViewController");
    if (controller == m_rootViewController)
        return;
    auto old = std::exchange(m_rootViewController, controller);
    if (old && old->isViewLoaded() && old->view()->superview() == this) {
        old->viewWillDisappear(false);
        old->view()->removeFromSuperview();
        old->viewDidDisappear(false);
    }
    if (!controller) {
        m_rotationClient.reset();
        return;
    }
    auto& view = controller->view();
    Application* application = Application::shared();
    gfx::Rect frame = application ? application->applicationFrame() : bounds();
    frame = frame.offsetBy(-this->frame().x(), -this->frame().y());
    Orientation orientation = application ? application->statusBarOrientation() : Orientation::Portrait;
    controller->setInterfaceOrientation(orientation);
    gfx::Size size = isLandscape(orientation) ? gfx::Size { frame.height(), frame.width() } : frame.size;
    view->setTransform(gfx::AffineTransform::rotation(rotationAngle(orientation)));
    view->setBounds({ 0, 0, size.width, size.height });
    view->setCenter({ frame.midX(), frame.midY() });
    controller->viewWillAppear(false);
    addSubview(view);
    setRotationClient(controller->rotationClient());
    controller->viewDidAppear(false);
}

} // namespace ui
