#include "Viewers/Image/VKImageViewController.h"

#include "Viewers/Image/VKImageDownloadOverlay.h"
#include "Viewers/Image/VKImageLayer.h"
#include "Viewers/Image/VKImageLoader.h"
#include "Viewers/Image/VKImageSlideShow.h"
#include "Viewers/Image/VKImageView.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Screen.h"


namespace {

bool sameFile(const std::shared_ptr<VKFileResource>& a, const std::shared_ptr<VKFileResource>& b)
{
    return a && b && (a == b || a->path() == b->path());
}

} // namespace

std::shared_ptr<VKImageViewController> VKImageViewController::imageViewControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKImageViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

VKImageViewController::VKImageViewController()
    : m_slideShow(std::make_unique<VKImageSlideShow>(*this))
{
}

VKImageViewController::~VKImageViewController()
{
    if (auto* view = imageView())
        view->setDelegate({});
}

void VKImageViewController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewController::initWithResource(resource, folderController);
    m_updateDirection = DirectionForward;
    m_neighbours.clear();
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    m_repeatsObservation = core::UserDefaults::standard()->observe("VKSlideShowRepeats", [weak](const core::Value&) {
        if (auto self = weak.lock())
            self->updateImageControlButtons();
    });
    auto& center = core::NotificationCenter::defaultCenter();
    auto handle = [&](std::string_view name, void (VKImageViewController::*handler)(const core::Notification&)) {
        m_imageObservations.push_back(center.observe(name, nullptr, [weak, handler](const core::Notification& notification) {
            if (auto self = weak.lock())
                ((*self).*handler)(notification);
        }));
    };
    handle(ui::Screen::didDisconnectNotification, &VKImageViewController::screenDidDisconnect);
    auto handlePreview = [&](core::NoticeName<VKThumbnailNews> name, void (VKImageViewController::*handler)(const VKThumbnailNews&)) {
        m_imageObservations.push_back(center.observe(name, nullptr, [weak, handler](const VKThumbnailNews& news) {
            if (auto self = weak.lock())
                ((*self).*handler)(news);
        }));
    };
    handlePreview(VKThumbnailManagerDidGeneratePreviewNotification, &VKImageViewController::didGeneratePreview);
    handlePreview(VKThumbnailManagerPreviewGeneralFailedNotification, &VKImageViewController::previewGenerationFailed);
}

VKImageView* VKImageViewController::imageView() const
{
    return dynamic_cast<VKImageView*>(contentView().get());
}

std::shared_ptr<gfx::Image> VKImageViewController::transparentImagePlaceholder()
{
    static const std::shared_ptr<gfx::Image> placeholder = ui::Images::imageNamed("VKTransparentImagePlaceholder.png");
    return placeholder;
}

bool VKImageViewController::isCurrentResource(const std::shared_ptr<VKFileResource>& resource) const
{
    return resource && resource == this->resource();
}

// ---- Loading ----------------------------------------------------------------

void VKImageViewController::loadContentView()
{
    // Photos are decoded on the image queue's worker into blocks of
    // megabytes, which that thread's heap would otherwise keep.
    core::Device::limitRetainedHeap();
    auto view = VKImageView::create(this->view()->bounds());
    view->setDelegate(this);
    view->setZoomToFitOnLoad(true);
    setContentView(view);
    startImageLoadForResource(resource(), std::nullopt, 0);
}

void VKImageViewController::startImageLoadForResource(const std::shared_ptr<VKFileResource>& resource,
    std::optional<std::string> transition, double activityIndicatorDelay)
{
    setResource(resource);
    m_preview = nullptr;
    m_image = nullptr;
    auto* view = imageView();
    if (view) {
        if (transition)
            view->setTransitionType(transition);
        else if (view->image())
            view->setTransitionType(std::nullopt);
        else
            view->setTransitionType(std::string(VKTransitionReveal()));
    }
    VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
    if (!resource)
        return;

    if (resource->isCloudResource() && resource->size() != resource->localSize()
        && !m_neighbours.isPreloaded(resource->UUID())) {
        setContentLoading(false);
        auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(resource);
        auto manager = VKCloudServicesManager::sharedManager();
        auto service = manager ? manager->cloudServiceForResource(*resource) : nullptr;
        if (service && service->isFetchingItemAtPath(resource->cloudPath()))
            showCloudDownloadProgressView();
        else if (service && cloud)
            service->fetchResource(cloud, nullptr);
        if (view)
            view->loadImage(transparentImagePlaceholder());
        return;
    }

    setContentLoading(true);
    if (activityIndicatorDelay >= 0)
        startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::White, activityIndicatorDelay);
    setToolbarItemsEnabled(false);
    hideCloudDownloadProgressView();
    // The load holds only a weak link to the viewer, so the viewer never
    // ends on the worker.
    std::weak_ptr<VKImageViewController> weak = sharedAs<VKImageViewController>();
    VKImageLoader::load(resource,
        [weak, resource](const auto& image, const auto& shown, std::optional<std::string> message, const auto& unopened) {
            if (auto self = weak.lock())
                self->loadImageForResource(resource, image, shown, std::move(message), unopened);
        });
}

void VKImageViewController::loadImageForResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<gfx::Image>& image, const std::shared_ptr<gfx::Image>& shown, std::optional<std::string> message,
    const core::Error& unopened)
{
    auto* view = imageView();
    if (!view || !isCurrentResource(resource))
        return;
    m_preview = nullptr;
    m_image = nullptr;
    if (unopened || message) {
        failLoad(unopened ? unopened : core::Error(VKImageViewControllerErrorDomain, 1, *message));
        return;
    }
    m_image = image;
    m_preview = shown;
    if (!shown) {
        view->loadImage(image);
        return;
    }
    view->loadImage(shown, image->size());
    view->setDetailSource(image);
}

void VKImageViewController::failLoad(const std::string& message)
{
    failLoad(core::Error(VKImageViewControllerErrorDomain, 1, message));
}

void VKImageViewController::failLoad(const core::Error& error)
{
    // A slide show keeps the last picture while it passes over this one.
    if (auto* view = imageView(); view && !m_slideShow->isActive())
        view->clearImage();
    imageViewLoadDidFail(*imageView(), error);
}

// ---- The image view's delegate -------------------------------------------------

// The picture's own layer reads the detail a zoom needs.
void VKImageViewController::imageViewWillZoomToLevel(VKImageView&, float) { }

void VKImageViewController::imageViewDidZoomToLevel(VKImageView&, float) { }

void VKImageViewController::imageViewHandleSwipeGestureWithDelta(VKImageView& view, float delta)
{
    if (contentIsLoading())
        return;
    bool next = delta <= 0;
    auto neighbour = next ? getNextResource() : getPreviousResource();
    if (!neighbour) {
        view.bounceImageLayerBy(delta);
        return;
    }
    moveToResource(neighbour, next ? DirectionForward : DirectionBackward, SwipeTransitionDuration);
}

void VKImageViewController::moveToResource(const std::shared_ptr<VKFileResource>& resource, int direction, double duration)
{
    m_updateDirection = direction;
    if (auto* view = imageView()) {
        view->setTransitionSubtype(
            std::string(direction == DirectionForward ? VKTransitionFromRight() : VKTransitionFromLeft()));
        view->setTransitionDuration(duration);
    }
    startImageLoadForResource(resource, std::string(VKTransitionPush()), MoveActivityIndicatorDelay);
}

void VKImageViewController::imageViewLoadDidFinish(VKImageView& view)
{
    if (view.image() && view.image() == transparentImagePlaceholder())
        return;
    setContentLoading(false);
    setContentDidLoad(true);
    stopActivityIndicator();
    m_slideShow->slideDidLoad();
    if (!contentView()) {
        stopSlideShowAndUpdateButton(false);
        return;
    }
    setToolbarItemsEnabled(true);
    updateImageControlButtons();
    setUIHiddenAfterDelay(true, 2 * VKUIHideDelay);
    preloadNextPrevious();
    if (m_slideShow->isActive())
        m_slideShow->scheduleAdvance();
}

void VKImageViewController::imageViewLoadDidFail(VKImageView&, const core::Error& error)
{
    core::log("Warning, imageViewLoadDidFail: {}", error.localizedDescription());
    setContentLoading(false);
    stopActivityIndicator();
    if (!contentView()) {
        stopSlideShowAndUpdateButton(false);
        return;
    }
    // The slide show passes over a picture it cannot show, until every one
    // of a pass has failed.
    if (m_slideShow->isActive() && m_slideShow->passesOverFailedSlide()) {
        m_slideShow->scheduleAdvance(0);
        return;
    }
    if (m_slideShow->isActive()) {
        stopSlideShowAndUpdateButton(true);
        setToolbarItemsEnabled(true);
        setUIHidden(false, true);
    } else {
        setToolbarItemsEnabled(true);
    }
    preloadNextPrevious();
    // A file that could not be read says why; a picture that could not be
    // shown says what was wrong with it.
    const bool unreadable = error.domain() != VKImageViewErrorDomain && error.domain() != VKImageViewControllerErrorDomain;
    if (unreadable || error.localizedDescription().empty())
        showUnableToDisplayAlertView(error);
    else
        showAlertViewWithTitle(core::localized("Warning"), error.localizedDescription(), core::localized("OK"));
}

// ---- Previews ------------------------------------------------------------------

void VKImageViewController::didGeneratePreview(const VKThumbnailNews& news)
{
    const auto& resource = news.resource;
    if (!resource)
        return;
    m_neighbours.markPreloaded(resource->UUID());
    auto* view = imageView();
    if (!view || !m_image || m_preview || !sameFile(resource, this->resource()))
        return;
    auto preview = VKThumbnailManager::sharedManager()->previewForResource(*resource);
    if (!preview) {
        previewGenerationFailed(news);
        return;
    }
    m_preview = preview;
    if (view->image() == preview)
        return;
    // A memory warning asked for it: it replaces the full picture in place,
    // which zooming in reads in tiles again.
    if (view->image() == m_image)
        view->setImage(preview);
    else
        view->loadImage(preview, m_image->size());
    view->setDetailSource(m_image);
}

void VKImageViewController::previewGenerationFailed(const VKThumbnailNews& news)
{
    const auto& resource = news.resource;
    auto* view = imageView();
    if (!resource || !view || !m_image || m_preview || !sameFile(resource, this->resource()))
        return;
    core::log("previewGenerationFailed: {}", resource->path());
    // Loading nothing into an empty view would count as the picture already
    // shown and leave the spinner turning: report the failure here.
    if (!view->image()) {
        m_image = nullptr;
        failLoad(VKImageLoader::invalidImageMessage());
        return;
    }
    view->loadImage(nullptr);
}

void VKImageViewController::didReceiveMemoryWarning()
{
    VKViewController::didReceiveMemoryWarning();
    if (!m_preview && m_image && VKThumbnailManager::imageRequiresPreview(m_image.get()) && resource())
        VKThumbnailManager::sharedManager()->generateThumbnailAndScreenPreviewForResource(resource());
}

// ---- Moving between pictures -------------------------------------------------

std::shared_ptr<VKFileResource> VKImageViewController::getPreviousResource() const
{
    return VKImageNeighbours::previous(folderController().get(), resource());
}

std::shared_ptr<VKFileResource> VKImageViewController::getNextResource() const
{
    return VKImageNeighbours::next(folderController().get(), resource());
}

void VKImageViewController::imageViewGoBackOrForward(const std::shared_ptr<core::Object>& sender)
{
    if (contentIsLoading())
        return;
    setUIHidden(false, false);
    bool previous = sender && sender == m_toolbar.previousItem();
    auto neighbour = previous ? getPreviousResource() : getNextResource();
    if (!neighbour) {
        updateImageControlButtons();
        return;
    }
    moveToResource(neighbour, previous ? DirectionBackward : DirectionForward, ArrowTransitionDuration);
}

// Left and Right that the picture does not scroll by are the toolbar's
// arrows.
bool VKImageViewController::performKeyCommand(ui::KeyCommand command)
{
    if (command == ui::KeyCommand::Left || command == ui::KeyCommand::Right) {
        auto& item = command == ui::KeyCommand::Left ? m_toolbar.previousItem() : m_toolbar.nextItem();
        if (item && item->isEnabled()) {
            imageViewGoBackOrForward(item);
            return true;
        }
    }
    return VKViewController::performKeyCommand(command);
}

void VKImageViewController::updateImageControlButtons()
{
    if (!m_toolbar.showsSlideShowState(m_slideShow->isActive())) {
        setToolbarItems(createToolbarItems());
        if (auto trash = findBarButtonItemWithAction(DeleteItemAction))
            trash->setEnabled(true);
    }
    bool hasNext = getNextResource() != nullptr;
    m_toolbar.setEnabled(getPreviousResource() != nullptr, hasNext,
        hasNext || core::UserDefaults::standard()->boolForKey("VKSlideShowRepeats"));
}

void VKImageViewController::preloadNextPrevious()
{
    if (vkIsLowMemoryDevice() && !m_slideShow->isActive())
        return;
    m_neighbours.preload(m_updateDirection == DirectionForward ? getNextResource() : getPreviousResource());
}

void VKImageViewController::resourceWillBeDeleted(const std::string& path)
{
    auto current = resource();
    if (!current || path != current->path())
        return;
    auto forward = getNextResource();
    auto backward = getPreviousResource();
    auto neighbour = m_updateDirection == DirectionForward ? (forward ? forward : backward) : (backward ? backward : forward);
    if (!neighbour) {
        setResource(nullptr);
        return;
    }
    startImageLoadForResource(neighbour, std::nullopt, MoveActivityIndicatorDelay);
}

bool VKImageViewController::isSlideShowActiveForTesting() const
{
    return m_slideShow->isActive();
}

const std::optional<std::vector<std::shared_ptr<VKFileResource>>>& VKImageViewController::slideShowResourcesForTesting() const
{
    return m_slideShow->resources();
}

ui::Window* VKImageViewController::tvoutWindow() const
{
    return m_slideShow->externalWindow();
}

ui::View* VKImageViewController::tvoutPlaceholderViewForTesting() const
{
    return m_slideShow->externalPlaceholderView();
}

// ---- Toolbar and sheet -----------------------------------------------------------

std::vector<std::shared_ptr<ui::BarButtonItem>> VKImageViewController::createToolbarItems()
{
    return m_toolbar.makeItems(sharedAs<VKImageViewController>(), m_slideShow->isActive());
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
    return !tvoutWindow() && VKViewController::shouldSingleTapHideUI();
}

void VKImageViewController::setTitleFromResource()
{
    if (m_albumSave.isSaving())
        return;
    VKViewController::setTitleFromResource();
}

// ---- Slide show ---------------------------------------------------------------

double VKImageViewController::slideShowTimeout() const
{
    return m_slideShow->timeout();
}

void VKImageViewController::toggleImageSlideShow(const std::shared_ptr<core::Object>&)
{
    if (m_slideShow->isActive()) {
        m_slideShow->stop(true);
        return;
    }
    m_updateDirection = DirectionForward;
    m_slideShow->start();
}

void VKImageViewController::slideShowAdvanceSlide()
{
    m_slideShow->advance();
}

void VKImageViewController::stopSlideShowAndUpdateButton(bool update)
{
    m_slideShow->stop(update);
}

void VKImageViewController::viewControllerDidShowUI(const core::Notification&)
{
    m_slideShow->viewerDidShowUI();
}

void VKImageViewController::screenDidDisconnect(const core::Notification& notification)
{
    m_slideShow->screenDidDisconnect(notification);
}

// ---- Settings ----------------------------------------------------------------

void VKImageViewController::showSlideShowSettings(const std::shared_ptr<core::Object>&)
{
    m_slideShow->showSettings();
}

void VKImageViewController::dismissSlideShowSettings(const std::shared_ptr<core::Object>&)
{
    dismissModalViewController(true);
}

// ---- Album ---------------------------------------------------------------------

void VKImageViewController::copyImageToSavedPhotosAlbum()
{
    m_albumSave.save(sharedAs<VKImageViewController>());
}

void VKImageViewController::saveMediaToPhotosAlbumDidEnd(int failureCount)
{
    m_albumSave.didEnd(*this, failureCount);
}

// ---- Cloud pictures ---------------------------------------------------------------

void VKImageViewController::showCloudDownloadProgressView()
{
    VKViewController::showCloudDownloadProgressView();
    auto* placeholder = placeholderView();
    if (!placeholder)
        return;
    VKImageDownloadOverlay::show(*placeholder);
    if (!contentView()) {
        setToolbarItemsEnabled(false);
        return;
    }
    VKImageDownloadOverlay::placeOver(*placeholder, *contentView(), resource() ? resource()->name() : std::string());
    setToolbarItemsEnabled(true);
    if (auto trash = findBarButtonItemWithAction(DeleteItemAction))
        trash->setEnabled(false);
    if (auto action = findBarButtonItemWithAction(ShowDocumentActionSheetAction))
        action->setEnabled(false);
    auto* view = imageView();
    if (m_slideShow->isActive() || !view || !view->transitionType())
        return;
    VKImageDownloadOverlay::slideIn(*placeholder, m_updateDirection == DirectionForward, view->transitionDuration());
}

void VKImageViewController::hideCloudDownloadProgressView()
{
    VKViewController::hideCloudDownloadProgressView();
    if (auto* placeholder = placeholderView())
        VKImageDownloadOverlay::hide(*placeholder);
}

void VKImageViewController::cloudFileFetchDidComplete(const core::Notification& notification)
{
    if (!contentView()) {
        VKViewController::cloudFileFetchDidComplete(notification);
        return;
    }
    auto service = std::dynamic_pointer_cast<VKCloudService>(notification.object());
    const VKCloudServiceNews& news = cloudServiceNews(notification);
    if (!service || news.cloudPath.empty())
        return;
    std::shared_ptr<VKFileResource> fetched = service->resourceForCloudPath(news.cloudPath);
    if (!fetched)
        return;
    m_neighbours.markPreloaded(fetched->UUID());
    if (!news.cacheValid)
        VKThumbnailManager::sharedManager()->removeCacheForResource(*fetched);
    auto current = resource();
    if (current && current->path() == fetched->path())
        startImageLoadForResource(current, std::string(VKTransitionFade()), 0.5);
    else
        VKThumbnailManager::sharedManager()->generateThumbnailAndScreenPreviewForResource(fetched);
}

// ---- Life cycle ------------------------------------------------------------------

void VKImageViewController::viewDidLoad()
{
    VKViewController::viewDidLoad();
    if (auto* placeholder = placeholderView())
        VKImageDownloadOverlay::prepare(*placeholder);
}

void VKImageViewController::setFolderThumbnailsDisabled(bool disabled)
{
    if (auto folder = std::dynamic_pointer_cast<VKFolderController>(folderController()))
        folder->setThumbnailCreationDisabled(disabled);
}

void VKImageViewController::viewWillAppear(bool animated)
{
    VKViewController::viewWillAppear(animated);
    updateImageControlButtons();
    setFolderThumbnailsDisabled(true);
}

void VKImageViewController::viewWillDisappear(bool animated)
{
    VKViewController::viewWillDisappear(animated);
    setFolderThumbnailsDisabled(false);
}

void VKImageViewController::viewDidUnload()
{
    stopSlideShowAndUpdateButton(false);
    if (auto* view = imageView())
        view->setDelegate({});
    VKViewController::viewDidUnload();
}
