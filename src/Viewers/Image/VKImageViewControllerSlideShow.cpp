// The image viewer's toolbar and sheet, its slide show (also on a second
// screen), album saving and the cloud download's placeholder.

#include "Viewers/Image/VKImageViewController.h"

#include "Viewers/Image/VKImageView.h"

#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"
#include "App/Settings/VKSlideShowSettingsController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKNavigationController.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/ArrayAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

const std::string SlideShowMimePrefix = "image/";

core::UserDefaults& defaults()
{
    return *core::UserDefaults::standard();
}

VKImageViewController::AlbumSaver& albumSaver()
{
    static VKImageViewController::AlbumSaver saver;
    return saver;
}

// Hears the end of the album operation that saves the shown picture, the
// same operation the folder screen uses for marked files. The operation
// holds its delegate weakly, so this one keeps itself alive until the end.
class AlbumSaveDelegate final : public VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    static void save(const std::string& path, std::function<void(int)> done)
    {
        auto delegate = std::make_shared<AlbumSaveDelegate>();
        delegate->m_self = delegate;
        delegate->m_done = std::move(done);
        auto operation = VKSaveMediaToPhotosAlbumOperation::create({ path });
        operation->setDelegate(delegate);
        operation->start();
    }

    void saveMediaToPhotosAlbumOperationDidEnd(VKSaveMediaToPhotosAlbumOperation& operation,
        const std::optional<core::Error>&) override
    {
        auto done = std::move(m_done);
        int failures = int(operation.mediaPaths().size()) - operation.successCount();
        m_self.reset();
        if (done)
            done(failures);
    }

private:
    std::shared_ptr<AlbumSaveDelegate> m_self;
    std::function<void(int)> m_done;
};

} // namespace

void VKImageViewController::setAlbumSaver(AlbumSaver saver)
{
    albumSaver() = std::move(saver);
}

// ---- Toolbar and sheet -------------------------------------------------------

std::vector<std::shared_ptr<ui::BarButtonItem>> VKImageViewController::createToolbarItems()
{
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    auto self = shared_from_this();
    auto act = [weak](void (VKImageViewController::*method)(const std::shared_ptr<core::Object>&)) {
        return [weak, method](ui::BarButtonItem& item) {
            if (auto viewer = weak.lock())
                ((*viewer).*method)(item.shared_from_this());
        };
    };
    m_previousImageButtonItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowPreviousShadow.png"),
        ui::BarButtonItem::Style::Plain, self, "imageViewGoBackOrForward", act(&VKImageViewController::imageViewGoBackOrForward));
    m_nextImageButtonItem = barButtonItemWithImage(ui::Images::imageNamed("VKButtonBarArrowNextShadow.png"),
        ui::BarButtonItem::Style::Plain, self, "imageViewGoBackOrForward", act(&VKImageViewController::imageViewGoBackOrForward));
    m_slideShowButtonSystemItem = m_slideShowActive ? ui::BarButtonItem::SystemItem::Pause : ui::BarButtonItem::SystemItem::Play;
    m_slideShowButtonItem = barButtonSystemItem(m_slideShowButtonSystemItem, self, "toggleImageSlideShow",
        act(&VKImageViewController::toggleImageSlideShow));
    return {
        barButtonSystemItem(ui::BarButtonItem::SystemItem::Action, self, ShowDocumentActionSheetAction,
            act(&VKImageViewController::showDocumentActionSheet)),
        flexibleSpaceBarButtonItem(),
        m_previousImageButtonItem,
        flexibleSpaceBarButtonItem(),
        m_slideShowButtonItem,
        flexibleSpaceBarButtonItem(),
        m_nextImageButtonItem,
        flexibleSpaceBarButtonItem(),
        barButtonSystemItem(ui::BarButtonItem::SystemItem::Trash, self, DeleteItemAction, act(&VKImageViewController::deleteItem)),
    };
}

void VKImageViewController::addButtonsToActionSheet(VKActionSheet& sheet)
{
    sheet.addButtonWithTitle(core::localized("Slideshow Settings"), SlideShowSettingsButtonTag);
    sheet.addButtonWithTitle(core::localized("Save to Photos Album"), SaveToPhotosAlbumButtonTag);
    auto hooks = VKAppDelegateHooks::current();
    bool locked = hooks && hooks->isOrientationLocked();
    sheet.addButtonWithTitle(core::localized(locked ? "Unlock Orientation" : "Lock Orientation"), OrientationLockButtonTag);
    VKViewController::addButtonsToActionSheet(sheet);
}

void VKImageViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    switch (tag) {
    case SlideShowSettingsButtonTag:
        showSlideShowSettings(shared_from_this());
        break;
    case SaveToPhotosAlbumButtonTag:
        copyImageToSavedPhotosAlbum();
        break;
    default:
        VKViewController::actionSheetClickedButtonWithTag(sheet, tag);
        break;
    }
}

bool VKImageViewController::shouldSingleTapHideUI() const
{
    return !m_tvoutWindow && VKViewController::shouldSingleTapHideUI();
}

void VKImageViewController::setTitleFromResource()
{
    if (m_savingToAlbum)
        return;
    VKViewController::setTitleFromResource();
}

// ---- Slide show ---------------------------------------------------------------

double VKImageViewController::slideShowTimeout() const
{
    auto* view = imageView();
    return defaults().doubleForKey("VKSlideShowTimeout") + (view ? view->transitionDuration() : 0);
}

size_t VKImageViewController::slideShowPassLength() const
{
    auto folder = folderController();
    if (!folder)
        return 0;
    auto images = folder->getAllViewableResourcesWithType(SlideShowMimePrefix);
    return size_t(std::count_if(images.begin(), images.end(), [](const auto& image) { return image && canShowImage(*image); }));
}

void VKImageViewController::scheduleSlideShowAdvance(std::optional<double> delay)
{
    cancelSlideShowAdvance();
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    m_advanceTimer = core::RunLoop::main().schedule(delay.value_or(slideShowTimeout()), false, [weak](core::Timer&) {
        if (auto self = weak.lock())
            self->slideShowAdvanceSlide();
    });
}

void VKImageViewController::cancelSlideShowAdvance()
{
    if (m_advanceTimer)
        m_advanceTimer->invalidate();
    m_advanceTimer = nullptr;
}

void VKImageViewController::toggleImageSlideShow(const std::shared_ptr<core::Object>&)
{
    if (m_slideShowActive) {
        stopSlideShowAndUpdateButton(true);
        return;
    }
    cancelSlideShowAdvance();
    auto* view = imageView();
    auto screens = ui::Screen::screens();
    if (view && screens.size() >= 2 && defaults().boolForKey("VKSlideShowUseTVOut") && !m_tvoutWindow) {
        auto root = this->view();
        m_tvoutPlaceholderView = ui::View::create(root->bounds());
        m_tvoutPlaceholderView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        m_tvoutPlaceholderView->setBackgroundColor(view->backgroundColor());
        root->addSubview(m_tvoutPlaceholderView);
        auto screen = screens.back();
        m_tvoutWindow = ui::Window::create(screen->bounds());
        auto content = contentView();
        content->setFrame(m_tvoutWindow->bounds());
        content->setBackgroundColor(gfx::Color::white(0));
        m_tvoutWindow->addSubview(content);
        ui::setScreenOfWindow(*m_tvoutWindow, screen);
        m_tvoutWindow->makeKeyAndVisible();
    }
    m_slideShowActive = true;
    m_failedSlides = 0;
    m_updateDirection = DirectionForward;
    if (view) {
        view->setTransitionDuration(defaults().stringForKey("VKSlideShowTransitionType") == VKTransitionPush() ? 0.5 : 1.0);
        view->setTransitionSubtype(std::string(VKTransitionFromRight()));
    }
    scheduleSlideShowAdvance();
    if (auto* application = ui::Application::shared())
        application->setIdleTimerDisabled(true);
    if (m_tvoutWindow)
        setUIHidden(false, true);
    else
        setUIHiddenAfterDelay(true, SlideShowHideBarsDelay);
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    m_showUIObservation = core::NotificationCenter::defaultCenter().observe(VKFullScreenViewControllerDidShowUINotification,
        shared_from_this(), [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->viewControllerDidShowUI(notification);
        });
    updateImageControlButtons();
}

void VKImageViewController::slideShowAdvanceSlide()
{
    m_advanceTimer = nullptr;
    if (contentIsLoading())
        return;
    bool shuffle = defaults().boolForKey("VKSlideShowShuffle");
    auto current = resource();
    auto folder = folderController();
    auto allImages = [&] {
        std::vector<std::shared_ptr<VKFileResource>> images;
        if (folder)
            images = folder->getAllViewableResourcesWithType(SlideShowMimePrefix);
        std::erase_if(images, [](const auto& image) { return !image || !canShowImage(*image); });
        return images;
    };
    auto isCurrent = [&](const std::shared_ptr<VKFileResource>& slide) { return current && slide && slide->path() == current->path(); };
    if (!m_slideShowResources) {
        auto pass = allImages();
        if (shuffle) {
            std::erase_if(pass, isCurrent);
        } else {
            auto found = std::find_if(pass.begin(), pass.end(), isCurrent);
            pass.erase(pass.begin(), found == pass.end() ? pass.end() : found + 1);
        }
        m_slideShowResources = std::move(pass);
    }
    auto take = [&] { return shuffle ? popRandom(*m_slideShowResources) : popFront(*m_slideShowResources); };
    auto slide = take();
    if (!slide && defaults().boolForKey("VKSlideShowRepeats")) {
        m_slideShowResources = allImages();
        slide = take();
    }
    if (slide && *slide) {
        startImageLoadForResource(*slide, defaults().stringForKey("VKSlideShowTransitionType"), MoveActivityIndicatorDelay);
        return;
    }
    stopSlideShowAndUpdateButton(true);
    updateImageControlButtons();
    setUIHidden(false, true);
}

void VKImageViewController::stopSlideShowAndUpdateButton(bool update)
{
    if (m_slideShowActive) {
        m_slideShowActive = false;
        m_slideShowResources.reset();
        m_showUIObservation = {};
        cancelSlideShowAdvance();
        if (auto* application = ui::Application::shared())
            application->setIdleTimerDisabled(false);
        if (update)
            updateImageControlButtons();
    }
    dismantleExternalWindow();
}

void VKImageViewController::dismantleExternalWindow()
{
    if (!m_tvoutWindow)
        return;
    auto window = std::move(m_tvoutWindow);
    m_tvoutWindow = nullptr;
    if (auto content = contentView(); content && isViewLoaded()) {
        content->setFrame(view()->bounds());
        view()->insertSubview(content, 0);
    }
    if (m_tvoutPlaceholderView)
        m_tvoutPlaceholderView->removeFromSuperview();
    m_tvoutPlaceholderView = nullptr;
    window->setHidden(true);
    ui::setScreenOfWindow(*window, nullptr);
}

void VKImageViewController::viewControllerDidShowUI(const core::Notification&)
{
    if (!m_tvoutWindow)
        stopSlideShowAndUpdateButton(true);
}

void VKImageViewController::screenDidDisconnect(const core::Notification& notification)
{
    if (!m_tvoutWindow || !notification.object())
        return;
    auto screen = ui::screenOfWindow(*m_tvoutWindow);
    if (!screen || notification.object() == std::static_pointer_cast<core::Object>(screen))
        stopSlideShowAndUpdateButton(true);
}

// ---- Settings ----------------------------------------------------------------

void VKImageViewController::showSlideShowSettings(const std::shared_ptr<core::Object>&)
{
    if (m_slideShowActive) {
        stopSlideShowAndUpdateButton(true);
        return;
    }
    setUIHidden(false, true);
    auto settings = VKSlideShowSettingsController::slideShowSettingsController();
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    settings->navigationItem().setRightBarButtonItem(barButtonSystemItem(ui::BarButtonItem::SystemItem::Done,
        shared_from_this(), "dismissSlideShowSettings", [weak](ui::BarButtonItem& item) {
            if (auto self = weak.lock())
                self->dismissSlideShowSettings(item.shared_from_this());
        }));
    auto navigation = VKNavigationController::create(settings);
    if (auto* application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default);
    presentModalViewController(navigation, true);
}

void VKImageViewController::dismissSlideShowSettings(const std::shared_ptr<core::Object>&)
{
    dismissModalViewController(true);
}

// ---- Album ---------------------------------------------------------------------

void VKImageViewController::copyImageToSavedPhotosAlbum()
{
    auto current = resource();
    if (m_savingToAlbum || !current)
        return;
    m_savingToAlbum = true;
    setTitle(core::localized("Saving to Photos..."));
    // The viewer stays alive until the save ends.
    auto self = sharedAs<VKImageViewController>();
    auto done = [self](int failureCount) { self->saveMediaToPhotosAlbumDidEnd(failureCount); };
    if (auto& saver = albumSaver())
        saver(current->path(), done);
    else
        AlbumSaveDelegate::save(current->path(), done);
}

void VKImageViewController::saveMediaToPhotosAlbumDidEnd(int failureCount)
{
    m_savingToAlbum = false;
    if (failureCount > 0) {
        showAlertViewWithTitle(core::localized("Warning"),
            fmt::format(fmt::runtime(core::localized("Failed to save {} photos")), failureCount), core::localized("Cancel"));
        setTitleFromResource();
        return;
    }
    setTitle(core::localized("Save Succeeded"));
    if (m_titleTimer)
        m_titleTimer->invalidate();
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    m_titleTimer = core::RunLoop::main().schedule(2.0, false, [weak](core::Timer&) {
        if (auto self = weak.lock())
            self->setTitleFromResource();
    });
}

// ---- Cloud pictures ---------------------------------------------------------------

void VKImageViewController::showCloudDownloadProgressView()
{
    VKViewController::showCloudDownloadProgressView();
    auto* placeholder = placeholderView();
    if (!placeholder)
        return;
    placeholder->setLabelHidden(false);
    placeholder->setProgressViewHidden(false);
    auto* label = placeholder->label();
    auto* progress = placeholder->progressView();
    label->setBackgroundColor(gfx::Color::white(0, 0));
    label->setTextColor(gfx::Color::white(1));
    label->setShadowColor(gfx::Color::white(0.67f));
    if (!contentView()) {
        setToolbarItemsEnabled(false);
        return;
    }
    label->setText(resource() ? resource()->name() : std::string());
    placeholder->setCancelButtonHidden(true);
    placeholder->layoutIfNeeded();
    // Over the picture: the transparent placeholder shows through.
    if (contentView()->superview() == placeholder) {
        placeholder->bringSubviewToFront(label);
        placeholder->bringSubviewToFront(progress);
    }
    setToolbarItemsEnabled(true);
    if (auto trash = findBarButtonItemWithAction(DeleteItemAction))
        trash->setEnabled(false);
    if (auto action = findBarButtonItemWithAction(ShowDocumentActionSheetAction))
        action->setEnabled(false);
    auto* view = imageView();
    if (m_slideShowActive || !view || !view->transitionType())
        return;
    float width = placeholder->bounds().width() * (m_updateDirection == DirectionForward ? 1 : -1);
    gfx::Point labelCentre = label->center();
    gfx::Point progressCentre = progress->center();
    label->setCenter({ labelCentre.x + width, labelCentre.y });
    progress->setCenter({ progressCentre.x + width, progressCentre.y });
    ui::ViewAnimation::begin();
    ui::ViewAnimation::setDuration(view->transitionDuration());
    label->setCenter(labelCentre);
    progress->setCenter(progressCentre);
    ui::ViewAnimation::commit();
}

void VKImageViewController::hideCloudDownloadProgressView()
{
    VKViewController::hideCloudDownloadProgressView();
    if (auto* placeholder = placeholderView()) {
        placeholder->setLabelHidden(true);
        placeholder->setProgressViewHidden(true);
    }
}

void VKImageViewController::cloudFileFetchDidComplete(const core::Notification& notification)
{
    if (!contentView()) {
        VKViewController::cloudFileFetchDidComplete(notification);
        return;
    }
    auto service = std::dynamic_pointer_cast<VKCloudService>(notification.object());
    const core::Value& info = notification.userInfo();
    if (!service || !info.isDictionary() || !info[VKCloudServiceCloudPathKey].isString())
        return;
    std::shared_ptr<VKFileResource> fetched = service->resourceForCloudPath(info[VKCloudServiceCloudPathKey].string());
    if (!fetched)
        return;
    m_preloadedResources.insert(fetched->UUID());
    const core::Value& valid = info[VKCloudServiceCacheValidKey];
    if (!(valid.isBool() && valid.toBool()))
        VKThumbnailManager::sharedManager()->removeCacheForResource(*fetched);
    auto current = resource();
    if (current && current->path() == fetched->path())
        startImageLoadForResource(current, std::string(VKTransitionFade()), 0.5);
    else
        VKThumbnailManager::sharedManager()->generateThumbnailAndScreenPreviewForResource(fetched);
}
