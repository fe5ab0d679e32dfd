#include "Platform/UI/NavigationController.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui {

namespace {

// The navigation controller's own view: its layout places the bars and the
// top controller's view.
class NavigationView : public View {
public:
    void layoutSubviews() override
    {
        if (auto* navigation = dynamic_cast<NavigationController*>(controller()))
            navigation->layoutContent();
    }
};

} // namespace

std::shared_ptr<NavigationController> NavigationController::create(const std::shared_ptr<ViewController>& root,
    BarFactory barFactory)
{
    auto navigation = std::make_shared<NavigationController>(std::move(barFactory));
    if (root)
        navigation->setViewControllers({ root }, false);
    return navigation;
}

NavigationController::NavigationController(BarFactory barFactory) : m_barFactory(std::move(barFactory)) { }

NavigationController::~NavigationController()
{
    for (auto& controller : m_controllers)
        controller->setParent(nullptr);
}

NavigationBar& NavigationController::navigationBar()
{
    if (!m_bar) {
        m_bar = m_barFactory ? m_barFactory() : nullptr;
        if (!m_bar)
            m_bar = NavigationBar::create();
        m_bar->setDelegate(std::dynamic_pointer_cast<NavigationBarDelegate>(shared_from_this()));
        updateBars(false);
    }
    return *m_bar;
}

Toolbar& NavigationController::toolbar()
{
    if (!m_toolbar) {
        m_toolbar = Toolbar::create();
        m_toolbar->setHidden(m_toolbarHidden);
        if (auto* top = topViewController())
            m_toolbar->setItems(top->toolbarItems());
    }
    return *m_toolbar;
}

void NavigationController::loadView()
{
    gfx::Rect frame = Application::shared() ? Application::shared()->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto view = View::make<NavigationView>({ 0, 0, frame.width(), frame.height() });
    view->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    setView(view);
    toolbar();
    navigationBar();
    view->addSubview(m_toolbar);
    view->addSubview(m_bar);
    if (auto* top = topViewController())
        view->insertSubview(top->view(), 0);
    layoutContent();
}

bool NavigationController::isOnScreen() const
{
    return isViewLoaded() && const_cast<NavigationController*>(this)->view()->window();
}

void NavigationController::layoutContent()
{
    if (!isViewLoaded())
        return;
    gfx::Rect b = view()->bounds();
    NavigationBar& bar = navigationBar();
    float barHeight = bar.sizeThatFits({ b.width(), 0 }).height;
    // A hidden bar waits above (the toolbar below) the view, where a slide
    // takes it and brings it back from; it shows while a hide slides it out.
    bar.setHidden(m_barHidden && !m_barSlide.hiding);
    bar.setFrame({ 0, m_barHidden ? -barHeight : 0, b.width(), barHeight });
    Toolbar& tools = toolbar();
    tools.setHidden(m_toolbarHidden && !m_toolbarSlide.hiding);
    float toolbarHeight = tools.sizeThatFits({ b.width(), 0 }).height;
    tools.setFrame({ 0, m_toolbarHidden ? b.height() : b.height() - toolbarHeight, b.width(), toolbarHeight });
    float top = m_barHidden || bar.isTranslucent() ? 0 : barHeight;
    float bottom = m_toolbarHidden || tools.isTranslucent() ? b.height() : b.height() - toolbarHeight;
    if (auto* controller = topViewController(); controller && controller->isViewLoaded()) {
        gfx::Rect frame { 0, top, b.width(), std::max(0.0f, bottom - top) };
        if (controller->wantsFullScreenLayout() && top == 0)
            frame = underStatusBar(frame);
        controller->view()->setFrame(frame);
    }
}

gfx::Rect NavigationController::underStatusBar(gfx::Rect frame)
{
    // A controller that wants the full screen lies under the status bar
    // too, whether it shows or not, so that hiding it uncovers the
    // controller's view rather than the window; the bar draws over it
    // while it shows. Only where this view sits right below the bar.
    Application* application = Application::shared();
    if (!application || !view()->window())
        return frame;
    gfx::Rect b = view()->bounds();
    gfx::Rect bar = view()->convertRectFrom(application->statusBarFrameWhenShown(), nullptr);
    if (std::abs(bar.maxY() - b.minY()) > 0.5f || bar.minX() > b.minX() + 0.5f || bar.maxX() < b.maxX() - 0.5f)
        return frame;
    // Whole points: the conversion through a rotated window leaves a few
    // millionths that would otherwise reach the view's size in pixels.
    float height = std::round(bar.height());
    return { frame.x(), std::round(frame.y() - height), frame.width(), std::round(frame.height() + height) };
}

void NavigationController::updateBars(bool animated)
{
    if (m_bar) {
        std::vector<std::shared_ptr<NavigationItem>> items;
        for (auto& controller : m_controllers)
            items.push_back(controller->sharedNavigationItem());
        m_bar->setItems(std::move(items), animated);
    }
    if (m_toolbar)
        m_toolbar->setItems(topViewController() ? topViewController()->toolbarItems()
                                                 : std::vector<std::shared_ptr<BarButtonItem>> {},
            animated);
}

void NavigationController::checkPushable(const ViewController* controller, const char* what) const
{
    if (!controller)
        throw core::Exception(core::Exception::InvalidArgument, fmt::format("NavigationController::{}: no controller", what));
    if (dynamic_cast<const NavigationController*>(controller))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("NavigationController::{}: pushing a navigation controller ({}) is not supported", what,
                controller->description()));
    if (controller->parentViewController() && controller->parentViewController() != this)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("NavigationController::{}: {} is already shown elsewhere", what, controller->description()));
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller, bool animated)
{
    requireMainThread("NavigationController::pushViewController");
    checkPushable(controller.get(), "pushViewController");
    if (std::find(m_controllers.begin(), m_controllers.end(), controller) != m_controllers.end())
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("NavigationController::pushViewController: {} is already on the stack", controller->description()));
    completeTransition();
    auto from = m_controllers.empty() ? nullptr : m_controllers.back();
    m_controllers.push_back(controller);
    controller->setParent(this);
    controller->setInterfaceOrientation(interfaceOrientation());
    transition(from, controller, animated, {});
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated)
{
    requireMainThread("NavigationController::popViewController");
    completeTransition();
    if (m_controllers.size() < 2)
        return nullptr;
    auto popped = m_controllers.back();
    m_controllers.pop_back();
    transition(popped, m_controllers.back(), animated, { popped });
    return popped;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(bool animated)
{
    if (m_controllers.empty())
        return {};
    return popToViewController(m_controllers.front().get(), animated);
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToViewController(const ViewController* controller,
    bool animated)
{
    requireMainThread("NavigationController::popToViewController");
    completeTransition();
    auto at = std::find_if(m_controllers.begin(), m_controllers.end(), [&](auto& c) { return c.get() == controller; });
    if (at == m_controllers.end())
        throw core::Exception(core::Exception::InvalidArgument,
            "NavigationController::popToViewController: the controller is not on the stack");
    std::vector<std::shared_ptr<ViewController>> popped(at + 1, m_controllers.end());
    if (popped.empty())
        return {};
    auto from = m_controllers.back();
    m_controllers.erase(at + 1, m_controllers.end());
    transition(from, m_controllers.back(), animated, popped);
    return popped;
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated)
{
    requireMainThread("NavigationController::setViewControllers");
    for (size_t i = 0; i < controllers.size(); ++i) {
        checkPushable(controllers[i].get(), "setViewControllers");
        if (std::find(controllers.begin(), controllers.begin() + long(i), controllers[i]) != controllers.begin() + long(i))
            throw core::Exception(core::Exception::InvalidArgument,
                fmt::format("NavigationController::setViewControllers: {} appears twice", controllers[i]->description()));
    }
    completeTransition();
    auto from = m_controllers.empty() ? nullptr : m_controllers.back();
    std::vector<std::shared_ptr<ViewController>> leaving;
    for (auto& old : m_controllers)
        if (std::find(controllers.begin(), controllers.end(), old) == controllers.end())
            leaving.push_back(old);
    m_controllers = std::move(controllers);
    for (auto& controller : m_controllers) {
        controller->setParent(this);
        controller->setInterfaceOrientation(interfaceOrientation());
    }
    auto to = m_controllers.empty() ? nullptr : m_controllers.back();
    if (from == to) {
        for (auto& old : leaving)
            old->setParent(nullptr);
        updateBars(animated);
        return;
    }
    transition(from, to, animated, leaving);
}

// The one place that moves between two top controllers: `leaving` lose
// their parent when the transition ends.
void NavigationController::transition(const std::shared_ptr<ViewController>& from,
    const std::shared_ptr<ViewController>& to, bool animated, std::vector<std::shared_ptr<ViewController>> leaving)
{
    auto keep = shared_from_this();
    bool shown = isOnScreen();
    animated = animated && shown;
    if (to && isViewLoaded()) {
        auto& toView = to->view();
        if (toView->superview() != view().get())
            view()->insertSubview(toView, 0);
        // The new top hears will-appear at the size it will show at, so it
        // can place its content (a row scrolled to the middle) by it.
        layoutContent();
    }
    if (shown && from)
        from->viewWillDisappear(animated);
    if (shown && to)
        to->viewWillAppear(animated);
    if (auto d = delegate(); d && to && shown)
        d->willShowViewController(*this, *to, animated);
    updateBars(animated);
    layoutContent();
    if (from != to)
        topViewControllerDidChange(animated);

    std::weak_ptr<core::Object> weak = weak_from_this();
    m_transitionFinish = [weak, from, to, shown, animated, leaving = std::move(leaving)] {
        auto self = std::static_pointer_cast<NavigationController>(weak.lock());
        if (!self)
            return;
        if (from && from != to && from->isViewLoaded() && from->view()->superview() == self->view().get()
            && from.get() != self->topViewController())
            from->view()->removeFromSuperview();
        for (auto& old : leaving)
            if (std::find(self->m_controllers.begin(), self->m_controllers.end(), old) == self->m_controllers.end())
                old->setParent(nullptr);
        if (shown && from)
            from->viewDidDisappear(animated);
        if (shown && to)
            to->viewDidAppear(animated);
        if (auto d = self->delegate(); d && to && shown)
            d->didShowViewController(*self, *to, animated);
    };
    if (!animated) {
        completeTransition();
        return;
    }
    m_transitionToken = std::make_shared<int>(0);
    std::weak_ptr<int> token = m_transitionToken;
    core::RunLoop::main().performAfter(sharedAs<NavigationController>(), TransitionDuration, [token](NavigationController& self) {
        if (!token.expired())
            self.completeTransition();
    });
}

void NavigationController::completeTransition()
{
    m_transitionToken.reset();
    if (auto finish = std::exchange(m_transitionFinish, nullptr)) {
        auto keep = shared_from_this();
        finish();
        if (auto* application = Application::shared())
            application->transitionDidEnd();
    }
}

ViewController* NavigationController::visibleViewController() const
{
    ViewController* top = topViewController();
    ViewController* visible = top;
    for (ViewController* c = top ? top->modalViewController() : nullptr; c; c = c->modalViewController())
        visible = c;
    for (ViewController* c = modalViewController(); c; c = c->modalViewController())
        visible = c;
    if (auto* navigation = dynamic_cast<NavigationController*>(visible); navigation && navigation != this)
        return navigation->topViewController();
    return visible;
}

void NavigationController::setNavigationBarHidden(bool hidden, bool animated)
{
    requireMainThread("NavigationController::setNavigationBarHidden");
    // An unanimated hide also cuts short a hide that is still sliding.
    bool changed = hidden != m_barHidden || (!animated && m_barSlide.hiding);
    m_barHidden = hidden;
    if (changed && isViewLoaded())
        slideBar(navigationBar(), hidden, animated, &NavigationController::m_barSlide);
    else
        layoutContent();
}

void NavigationController::setToolbarHidden(bool hidden, bool animated)
{
    requireMainThread("NavigationController::setToolbarHidden");
    // An unanimated hide also cuts short a hide that is still sliding.
    bool changed = hidden != m_toolbarHidden || (!animated && m_toolbarSlide.hiding);
    m_toolbarHidden = hidden;
    if (changed && isViewLoaded())
        slideBar(toolbar(), hidden, animated, &NavigationController::m_toolbarSlide);
    else
        layoutContent();
}

// Moves a bar to the state its hidden flag asks for, with the top view's new
// frame in the same animation. A hide keeps the bar shown until its slide
// ends; a later request (a show, or an unanimated change) makes that end do
// nothing, so a replaced hide never hides the bar.
void NavigationController::slideBar(View& bar, bool hidden, bool animated, BarSlide NavigationController::*slide)
{
    BarSlide& state = this->*slide;
    uint64_t generation = ++state.generation;
    if (!animated || !isOnScreen() || !ViewAnimation::areAnimationsEnabled()) {
        state.hiding = false;
        bar.layer().removeAnimation("position");
        bar.layer().removeAnimation("bounds");
        layoutContent();
        return;
    }
    state.hiding = hidden;
    if (!hidden && bar.isHidden())
        bar.setHidden(false); // from past its edge, where layout keeps a hidden bar
    std::weak_ptr<core::Object> weak = weak_from_this();
    ViewAnimation::animate(HideShowBarDuration, 0, ViewAnimation::BeginFromCurrentState | ViewAnimation::CurveEaseInOut,
        [this] { layoutContent(); },
        [weak, slide, generation](bool) {
            auto self = std::static_pointer_cast<NavigationController>(weak.lock());
            if (!self || (self.get()->*slide).generation != generation)
                return;
            (self.get()->*slide).hiding = false;
            self->layoutContent();
        });
}

void NavigationController::viewWillAppear(bool animated)
{
    if (auto* top = topViewController())
        top->viewWillAppear(animated);
}

void NavigationController::viewDidAppear(bool animated)
{
    if (auto* top = topViewController())
        top->viewDidAppear(animated);
}

void NavigationController::viewWillDisappear(bool animated)
{
    if (auto* top = topViewController())
        top->viewWillDisappear(animated);
}

void NavigationController::viewDidDisappear(bool animated)
{
    if (auto* top = topViewController())
        top->viewDidDisappear(animated);
}

bool NavigationController::shouldAutorotate(Orientation orientation)
{
    if (auto* top = topViewController())
        return top->shouldAutorotate(orientation);
    return ViewController::shouldAutorotate(orientation);
}

void NavigationController::willRotate(Orientation orientation, double duration)
{
    if (auto* top = topViewController())
        top->willRotate(orientation, duration);
}

void NavigationController::didRotate(Orientation fromOrientation)
{
    if (auto* top = topViewController())
        top->didRotate(fromOrientation);
}

std::vector<ViewController*> NavigationController::containedControllers()
{
    std::vector<ViewController*> all { this };
    for (auto& controller : m_controllers)
        for (ViewController* c : controller->containedControllers())
            all.push_back(c);
    return all;
}

bool NavigationController::shouldPopItem(NavigationBar&, NavigationItem& item)
{
    if (m_controllers.size() > 1 && &m_controllers.back()->navigationItem() == &item)
        popViewController(true);
    return false;
}

bool NavigationController::performKeyCommand(KeyCommand command)
{
    if (command == KeyCommand::Escape || command == KeyCommand::Back) {
        ViewController* top = topViewController();
        if (m_controllers.size() > 1 && !isTransitioning() && top && !top->navigationItem().hidesBackButton()
            && !top->navigationItem().leftBarButtonItem()) {
            navigationBar().backButtonTapped();
            return true;
        }
    }
    return ViewController::performKeyCommand(command);
}

} // namespace ui
