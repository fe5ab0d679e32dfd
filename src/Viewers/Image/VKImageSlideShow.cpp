#include "Viewers/Image/VKImageSlideShow.h"

#include "Viewers/Image/VKImageNeighbours.h"
#include "Viewers/Image/VKImageView.h"
#include "Viewers/Image/VKImageViewController.h"

#include "App/Settings/VKSlideShowSettingsController.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/VKFullScreenViewController.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Kit/ArrayAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <algorithm>

namespace {

core::UserDefaults& defaults()
{
    return *core::UserDefaults::standard();
}

} // namespace

VKImageSlideShow::VKImageSlideShow(VKImageViewController& viewer)
    : m_viewer(viewer)
{
}

VKImageSlideShow::~VKImageSlideShow()
{
    cancelAdvance();
    if (m_externalWindow)
        ui::setScreenOfWindow(*m_externalWindow, nullptr);
}

double VKImageSlideShow::timeout() const
{
    auto* view = m_viewer.imageView();
    return defaults().doubleForKey("VKSlideShowTimeout") + (view ? view->transitionDuration() : 0);
}

bool VKImageSlideShow::passesOverFailedSlide()
{
    return ++m_failedSlides <= VKImageNeighbours::showable(m_viewer.folderController().get()).size();
}

void VKImageSlideShow::scheduleAdvance(std::optional<double> delay)
{
    cancelAdvance();
    m_advanceTimer = core::RunLoop::main().schedule(m_viewer.sharedAs<VKImageViewController>(), delay.value_or(timeout()), false, [](VKImageViewController& self, core::Timer&) {
        self.slideShowAdvanceSlide();
    });
}

void VKImageSlideShow::cancelAdvance()
{
    if (m_advanceTimer)
        m_advanceTimer->invalidate();
    m_advanceTimer = nullptr;
}

void VKImageSlideShow::start()
{
    cancelAdvance();
    auto* view = m_viewer.imageView();
    auto screens = ui::Screen::screens();
    if (view && screens.size() >= 2 && defaults().boolForKey("VKSlideShowUseTVOut") && !m_externalWindow) {
        auto root = m_viewer.view();
        m_externalPlaceholderView = ui::View::create(root->bounds());
        m_externalPlaceholderView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        m_externalPlaceholderView->setBackgroundColor(view->backgroundColor());
        root->addSubview(m_externalPlaceholderView);
        auto screen = screens.back();
        m_externalWindow = ui::Window::create(screen->bounds());
        auto content = m_viewer.contentView();
        content->setFrame(m_externalWindow->bounds());
        content->setBackgroundColor(gfx::Color::white(0));
        m_externalWindow->addSubview(content);
        ui::setScreenOfWindow(*m_externalWindow, screen);
        m_externalWindow->makeKeyAndVisible();
    }
    m_active = true;
    m_failedSlides = 0;
    if (view) {
        view->setTransitionDuration(defaults().stringForKey("VKSlideShowTransitionType") == VKTransitionPush() ? 0.5 : 1.0);
        view->setTransitionSubtype(std::string(VKTransitionFromRight()));
    }
    scheduleAdvance();
    if (auto* application = ui::Application::shared())
        application->setIdleTimerDisabled(true);
    if (m_externalWindow)
        m_viewer.setUIHidden(false, true);
    else
        m_viewer.setUIHiddenAfterDelay(true, VKImageViewController::SlideShowHideBarsDelay);
    std::weak_ptr<VKImageViewController> weak = m_viewer.sharedAs<VKImageViewController>();
    m_showUIObservation = core::NotificationCenter::defaultCenter().observe(VKFullScreenViewControllerDidShowUINotification,
        m_viewer.shared_from_this(), [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->viewControllerDidShowUI(notification);
        });
    m_viewer.updateImageControlButtons();
}

void VKImageSlideShow::advance()
{
    m_advanceTimer = nullptr;
    if (m_viewer.contentIsLoading())
        return;
    bool shuffle = defaults().boolForKey("VKSlideShowShuffle");
    auto current = m_viewer.resource();
    auto folder = m_viewer.folderController();
    auto isCurrent = [&](const std::shared_ptr<VKFileResource>& slide) { return current && slide && slide->path() == current->path(); };
    if (!m_resources) {
        auto pass = VKImageNeighbours::showable(folder.get());
        if (shuffle) {
            std::erase_if(pass, isCurrent);
        } else {
            auto found = std::find_if(pass.begin(), pass.end(), isCurrent);
            pass.erase(pass.begin(), found == pass.end() ? pass.end() : found + 1);
        }
        m_resources = std::move(pass);
    }
    auto take = [&] { return shuffle ? popRandom(*m_resources) : popFront(*m_resources); };
    auto slide = take();
    if (!slide && defaults().boolForKey("VKSlideShowRepeats")) {
        m_resources = VKImageNeighbours::showable(folder.get());
        slide = take();
    }
    if (slide && *slide) {
        m_viewer.startImageLoadForResource(*slide, defaults().stringForKey("VKSlideShowTransitionType"),
            VKImageViewController::MoveActivityIndicatorDelay);
        return;
    }
    stop(true);
    m_viewer.updateImageControlButtons();
    m_viewer.setUIHidden(false, true);
}

void VKImageSlideShow::stop(bool updateButtons)
{
    if (m_active) {
        m_active = false;
        m_resources.reset();
        m_showUIObservation = {};
        cancelAdvance();
        if (auto* application = ui::Application::shared())
            application->setIdleTimerDisabled(false);
        if (updateButtons)
            m_viewer.updateImageControlButtons();
    }
    dismantleExternalWindow();
}

void VKImageSlideShow::showSettings()
{
    if (m_active) {
        stop(true);
        return;
    }
    m_viewer.setUIHidden(false, true);
    auto settings = VKSlideShowSettingsController::slideShowSettingsController();
    std::weak_ptr<VKImageViewController> weak = m_viewer.sharedAs<VKImageViewController>();
    settings->navigationItem().setRightBarButtonItem(barButtonSystemItem(ui::BarButtonItem::SystemItem::Done,
        m_viewer.shared_from_this(), "dismissSlideShowSettings", [weak](ui::BarButtonItem& item) {
            if (auto self = weak.lock())
                self->dismissSlideShowSettings(item.shared_from_this());
        }));
    auto navigation = VKNavigationController::create(settings);
    if (auto* application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default);
    m_viewer.presentModalViewController(navigation, true);
}

void VKImageSlideShow::dismantleExternalWindow()
{
    if (!m_externalWindow)
        return;
    auto window = std::move(m_externalWindow);
    m_externalWindow = nullptr;
    if (auto content = m_viewer.contentView(); content && m_viewer.isViewLoaded()) {
        content->setFrame(m_viewer.view()->bounds());
        m_viewer.view()->insertSubview(content, 0);
    }
    if (m_externalPlaceholderView)
        m_externalPlaceholderView->removeFromSuperview();
    m_externalPlaceholderView = nullptr;
    window->setHidden(true);
    ui::setScreenOfWindow(*window, nullptr);
}

void VKImageSlideShow::viewerDidShowUI()
{
    if (!m_externalWindow)
        stop(true);
}

void VKImageSlideShow::screenDidDisconnect(const core::Notification& notification)
{
    if (!m_externalWindow || !notification.object())
        return;
    auto screen = ui::screenOfWindow(*m_externalWindow);
    if (!screen || notification.object() == std::static_pointer_cast<core::Object>(screen))
        stop(true);
}
