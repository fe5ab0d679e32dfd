#include "Shell/VKFullScreenDetailViewController.h"

#include "Shell/VKFullScreenViewController.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <utility>

std::shared_ptr<VKFullScreenDetailViewController> VKFullScreenDetailViewController::initWithWindow(
    const std::shared_ptr<ui::Window>& window)
{
    std::shared_ptr<VKFullScreenDetailViewController> detail(new VKFullScreenDetailViewController(window));
    if (window)
        window->addSubview(detail->view());
    auto* application = ui::Application::shared();
    detail->updateGeometryForOrientation(application ? application->statusBarOrientation() : ui::Orientation::Portrait);

    auto* self = detail.get();
    auto& center = core::NotificationCenter::defaultCenter();
    detail->m_observations += center.observe(VKFullScreenViewControllerDidHideUINotification, nullptr,
        [self](const core::Notification& notification) {
            self->didReceiveUINotification(notification, true);
        });
    detail->m_observations += center.observe(VKFullScreenViewControllerDidShowUINotification, nullptr,
        [self](const core::Notification& notification) {
            self->didReceiveUINotification(notification, false);
        });
    detail->m_observations += center.observe(ui::Application::willChangeStatusBarOrientationNotification, nullptr,
        [self](const ui::Application::OrientationChange& change) {
            self->statusBarOrientationWillChange(change.orientation);
        });
    return detail;
}

VKFullScreenDetailViewController::VKFullScreenDetailViewController(std::weak_ptr<ui::Window> window)
    : m_window(std::move(window))
{
}

VKFullScreenDetailViewController::~VKFullScreenDetailViewController()
{
    m_observations.clear();
    if (isViewLoaded())
        view()->removeFromSuperview();
}

void VKFullScreenDetailViewController::loadView()
{
    auto view = ui::View::create(ui::Screen::main()->bounds());
    view->setBackgroundColor(ui::StandardColors::clear());
    view->setOpaque(false);
    view->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_toolbar = ui::Toolbar::create({ 0, 0, view->bounds().width(), 0 });
    m_toolbar->setBarStyle(ui::NavigationBar::Style::Black);
    m_toolbar->setTranslucent(true);
    m_toolbar->setAutoresizingMask(ui::View::FlexibleWidth);
    m_toolbar->sizeToFit();
    gfx::Rect frame = m_toolbar->frame();
    frame.origin.y = ui::Application::currentStatusBarHeight(); // below the status bar
    m_toolbar->setFrame(frame);
    m_toolbar->setItems(toolbarItems());
    view->addSubview(m_toolbar);
    setView(view);
}

void VKFullScreenDetailViewController::viewDidUnload()
{
    m_toolbar.reset();
}

ui::Toolbar& VKFullScreenDetailViewController::toolbar()
{
    view();
    return *m_toolbar;
}

void VKFullScreenDetailViewController::setToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items,
    bool animated)
{
    ui::ViewController::setToolbarItems(std::move(items), animated);
    if (m_toolbar)
        m_toolbar->setItems(toolbarItems(), animated);
}

void VKFullScreenDetailViewController::didReceiveUINotification(const core::Notification& notification, bool hidden)
{
    if (m_content && notification.object() == m_content)
        setUIHidden(hidden, true);
}

void VKFullScreenDetailViewController::setUIHidden(bool hidden, bool animated)
{
    if (auto* application = ui::Application::shared())
        application->setStatusBarHidden(hidden,
            animated ? ui::Application::StatusBarAnimation::Fade : ui::Application::StatusBarAnimation::None);
    auto& bar = toolbar();
    float alpha = hidden ? 0 : 1;
    if (animated)
        ui::ViewAnimation::animate(ui::ViewAnimation::DefaultDuration, [&bar, alpha] { bar.setAlpha(alpha); });
    else
        bar.setAlpha(alpha);
}

void VKFullScreenDetailViewController::statusBarOrientationWillChange(ui::Orientation orientation)
{
    if (ui::isInterfaceOrientation(orientation))
        updateGeometryForOrientation(orientation);
}

void VKFullScreenDetailViewController::updateGeometryForOrientation(ui::Orientation orientation)
{
    auto window = m_window.lock();
    if (!ui::isInterfaceOrientation(orientation) || !window)
        return;
    gfx::Rect bounds = window->bounds();
    if (ui::isLandscape(orientation) && bounds.width() < bounds.height())
        std::swap(bounds.size.width, bounds.size.height);
    auto& own = view();
    own->setBounds({ 0, 0, bounds.width(), bounds.height() });
    own->setCenter({ window->bounds().midX(), window->bounds().midY() });
    own->setTransform(gfx::AffineTransform::rotation(ui::rotationAngle(orientation)));
}

void VKFullScreenDetailViewController::setContentViewController(
    const std::shared_ptr<VKFullScreenViewController>& controller, bool animated)
{
    if (controller == m_content)
        return;
    auto old = std::exchange(m_content, controller);
    if (old && old->isViewLoaded())
        old->view()->removeFromSuperview();
    if (!controller)
        return;
    auto& own = view();
    auto content = controller->view();
    gfx::Rect start = content->frame();
    if (auto* superview = content->superview())
        start = superview->convertRect(start, own.get());
    own->insertSubview(content, 0);
    content->setFrame(start);
    gfx::Rect bounds = own->bounds();
    if (animated)
        ui::ViewAnimation::animate(ContentMoveDuration, [&content, bounds] { content->setFrame(bounds); });
    else
        content->setFrame(bounds);
}

void VKFullScreenDetailViewController::moveContentViewToView(const std::shared_ptr<ui::View>& target,
    const gfx::Rect& frame, bool animated)
{
    if (!m_content || !target)
        return;
    auto content = m_content->view();
    if (!animated) {
        content->setFrame(frame);
        target->addSubview(content);
        return;
    }
    ui::View* from = content->superview() ? content->superview() : view().get();
    gfx::Rect there = from->convertRectFrom(frame, target.get());
    std::weak_ptr<ui::View> weakContent = content;
    std::weak_ptr<ui::View> weakTarget = target;
    ui::ViewAnimation::animate(ContentMoveDuration, [&content, there] { content->setFrame(there); },
        [weakContent, weakTarget, frame](bool) {
            auto content = weakContent.lock();
            auto target = weakTarget.lock();
            if (!content || !target)
                return;
            content->setFrame(frame);
            target->insertSubview(content, 0);
        });
}
