#include "Viewers/Image/VKImageViewController.h"

#include "Viewers/Image/VKImageLayer.h"
#include "Viewers/Image/VKImageView.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/ImageScalingAdditions.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKImageOperationQueue.h"
#include "Kit/VKNotificationKeys.h"
#include "Kit/VKSelectorOperation.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/StoredImage.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>


namespace {

const std::string ImageMimePrefix = "image/";

std::string invalidImageMessage()
{
    return core::localized("The image appears to be invalid or is unsupported.");
}

std::shared_ptr<VKFileResource> resourceInNotice(const core::Notification& notification)
{
    const core::Value& info = notification.userInfo();
    if (!info.isDictionary())
        return nullptr;
    return info[VKThumbnailManagerResourceUserInfoKey].objectAs<VKFileResource>();
}

bool sameFile(const std::shared_ptr<VKFileResource>& a, const std::shared_ptr<VKFileResource>& b)
{
    return a && b && (a == b || a->path() == b->path());
}

// What the image queue's load operation holds of the viewer.
class LoadRequest : public core::Object {
public:
    std::weak_ptr<VKImageViewController> viewer;
    // Taken on the main thread: a cloud picture's path comes from the
    // mirror, which a worker's thread has no store to ask.
    std::string path;
    // The thumbnail manager and where it keeps this picture's preview and
    // thumbnail, also asked on the main thread; the files may not be there.
    std::shared_ptr<VKThumbnailManager> thumbnails;
    std::optional<std::string> previewPath;
    std::optional<std::string> thumbnailPath;
};

// Run on the image queue after what it was doing, once a viewer has gone:
// the pixels of the photos it showed (tens of megabytes) would otherwise stay
// with the process, as buffers kept for the next bitmaps and as free heap
// of the worker that decoded them.
class ReleasePicturesOperation : public VKOperation {
public:
    void run() override
    {
        gfx::BitmapContext::releaseSpareMemory();
        core::Device::releaseFreeHeapMemory();
    }
};

} // namespace

std::shared_ptr<VKImageViewController> VKImageViewController::imageViewControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKImageViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

VKImageViewController::VKImageViewController() = default;

VKImageViewController::~VKImageViewController()
{
    cancelSlideShowAdvance();
    if (m_titleTimer)
        m_titleTimer->invalidate();
    if (auto* view = imageView())
        view->setDelegate({});
    if (m_tvoutWindow)
        ui::setScreenOfWindow(*m_tvoutWindow, nullptr);
    // Once its views have let their pictures go too.
    core::RunLoop::main().performAfter(0, [] {
        VKImageOperationQueue::sharedQueue()->addOperation(std::make_shared<ReleasePicturesOperation>());
    });
}

void VKImageViewController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewController::initWithResource(resource, folderController);
    m_updateDirection = DirectionForward;
    m_preloadedResources.clear();
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
    handle(VKThumbnailManagerDidGeneratePreviewNotification, &VKImageViewController::didGeneratePreview);
    handle(VKThumbnailManagerPreviewGeneralFailedNotification, &VKImageViewController::previewGenerationFailed);
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
    view->setDelegate(std::static_pointer_cast<VKImageViewDelegate>(sharedAs<VKImageViewController>()));
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
        && !m_preloadedResources.contains(resource->UUID())) {
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
    // The queue's operation holds only a weak link to the viewer, so the
    // viewer never ends on the worker.
    auto request = std::make_shared<LoadRequest>();
    request->viewer = sharedAs<VKImageViewController>();
    request->path = resource->path();
    if (resource->isImageType() && !resource->UUID().empty()) {
        request->thumbnails = VKThumbnailManager::sharedManager();
        request->previewPath = request->thumbnails->previewCachePathForResource(*resource);
        request->thumbnailPath = request->thumbnails->thumbnailCachePathForResource(*resource);
    }
    VKImageOperationQueue::sharedQueue()->addOperation(VKSelectorOperation::create(request, "loadImageOperation:", resource,
        [](LoadRequest& load, const VKSelectorOperation::Argument& argument) {
            loadImageOperation(load.viewer, std::static_pointer_cast<VKFileResource>(argument), load.path,
                load.thumbnails, load.previewPath, load.thumbnailPath);
        }));
}

void VKImageViewController::loadImageOperation(const std::weak_ptr<VKImageViewController>& viewer,
    const std::shared_ptr<VKFileResource>& resource, const std::string& path,
    const std::shared_ptr<VKThumbnailManager>& thumbnails, const std::optional<std::string>& previewPath,
    const std::optional<std::string>& thumbnailPath)
{
    // The header tells the size: a picture over the limit is refused before
    // any pixel is decoded, and the main thread never decodes.
    auto image = gfx::Image::imageWithContentsOfFile(path);
    std::shared_ptr<gfx::Image> shown;
    bool made = false;
    std::optional<std::string> message;
    if (image && !vkCanProcessImage(*image)) {
        message = fmt::format(fmt::runtime(core::localized(
                                  "The image ({:.0f}x{:.0f}) is too large to display on this device.\nThe size limit for display is {}.")),
            image->size().width, image->size().height, vkMaximumPixelCountAsString());
        image = nullptr;
    } else if (image && VKThumbnailManager::imageRequiresPreview(image.get())) {
        // A large picture is never decoded whole: it is read at the size it
        // shows at on this screen in either orientation, which is the
        // folder's preview too (the cached one when it is that picture),
        // and zooming in reads tiles of it.
        gfx::Size screen = gfx::Screen::main().pixelSize();
        gfx::Size size = image->size();
        gfx::Size target = vkSizeConstrainedTo(
            size, std::min(std::max(size.width, size.height), std::max(screen.width, screen.height)));
        if (previewPath && image->imageOrientation() == gfx::ImageOrientation::Up && core::fs::exists(*previewPath)) {
            shown = gfx::Image::imageWithContentsOfFile(*previewPath);
            if (shown && (shown->size().width < 0.95f * target.width || !shown->decode()))
                shown = nullptr;
        }
        if (!shown) {
            bool turned = image->size().width != float(image->pixelWidth()) / image->scale();
            int width = int(turned ? target.height : target.width), height = int(turned ? target.width : target.height);
            shown = gfx::imageOfStoredRegion(*image, { 0, 0, float(image->pixelWidth()), float(image->pixelHeight()) },
                std::max(width, 1), std::max(height, 1));
            made = shown != nullptr;
        }
        if (!shown) {
            message = invalidImageMessage();
            image = nullptr;
        }
    } else if (!image || !image->decode()) {
        message = invalidImageMessage();
        image = nullptr;
    }
    core::RunLoop::main().post([viewer, resource, image, shown, message] {
        if (auto self = viewer.lock())
            self->loadImageForResource(resource, image, shown, message);
    });
    // Written once the picture is on its way to the screen.
    if (made && thumbnails && previewPath)
        thumbnails->storePreviewsForPath(path, nullptr, shown, thumbnailPath, previewPath);
}

void VKImageViewController::loadImageForResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<gfx::Image>& image, const std::shared_ptr<gfx::Image>& shown, std::optional<std::string> message)
{
    auto* view = imageView();
    if (!view || !isCurrentResource(resource))
        return;
    m_preview = nullptr;
    m_image = nullptr;
    if (message) {
        failLoad(*message);
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
    // A slide show keeps the last picture while it passes over this one.
    if (auto* view = imageView(); view && !m_slideShowActive)
        view->clearImage();
    imageViewLoadDidFail(*imageView(), core::Error(VKImageViewControllerErrorDomain, 1, message));
}

bool VKImageViewController::doesZoomExceedDisplayablePixelCount(float zoom) const
{
    auto* view = imageView();
    if (!view)
        return false;
    gfx::Rect crop = view->imageCropRectForZoom(zoom);
    return double(crop.width()) * double(crop.height()) > vkMaximumDisplayablePixelCount();
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
    m_failedSlides = 0;
    if (!contentView()) {
        stopSlideShowAndUpdateButton(false);
        return;
    }
    setToolbarItemsEnabled(true);
    updateImageControlButtons();
    setUIHiddenAfterDelay(true, 2 * VKUIHideDelay);
    preloadNextPrevious();
    if (m_slideShowActive)
        scheduleSlideShowAdvance();
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
    if (m_slideShowActive && ++m_failedSlides <= slideShowPassLength()) {
        scheduleSlideShowAdvance(0);
        return;
    }
    if (m_slideShowActive) {
        stopSlideShowAndUpdateButton(true);
        setToolbarItemsEnabled(true);
        setUIHidden(false, true);
    } else {
        setToolbarItemsEnabled(true);
    }
    preloadNextPrevious();
    if (!error.localizedDescription().empty())
        showAlertViewWithTitle(core::localized("Warning"), error.localizedDescription(), core::localized("OK"));
    else
        showUnableToDisplayAlertView();
}

// ---- Previews ------------------------------------------------------------------

void VKImageViewController::didGeneratePreview(const core::Notification& notification)
{
    auto resource = resourceInNotice(notification);
    if (!resource)
        return;
    m_preloadedResources.insert(resource->UUID());
    auto* view = imageView();
    if (!view || !m_image || m_preview || !sameFile(resource, this->resource()))
        return;
    auto preview = VKThumbnailManager::sharedManager()->previewForResource(*resource);
    if (!preview) {
        previewGenerationFailed(notification);
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

void VKImageViewController::previewGenerationFailed(const core::Notification& notification)
{
    auto resource = resourceInNotice(notification);
    auto* view = imageView();
    if (!resource || !view || !m_image || m_preview || !sameFile(resource, this->resource()))
        return;
    core::log("previewGenerationFailed: {}", resource->path());
    // Loading nothing into an empty view would count as the picture already
    // shown and leave the spinner turning: report the failure here.
    if (!view->image()) {
        m_image = nullptr;
        failLoad(invalidImageMessage());
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

bool VKImageViewController::canShowImage(const VKFileResource& resource)
{
    return gfx::Image::canDecodeMIMEType(resource.mimeType());
}

// The neighbours are the pictures this viewer can show: the others (an SVG
// drawing) are passed over.
std::shared_ptr<VKFileResource> VKImageViewController::getPreviousResource() const
{
    auto folder = folderController();
    auto neighbour = resource();
    while (folder && neighbour) {
        neighbour = folder->getPreviousViewableResourceRelativeToResource(neighbour, ImageMimePrefix);
        if (neighbour && canShowImage(*neighbour))
            return neighbour;
    }
    return nullptr;
}

std::shared_ptr<VKFileResource> VKImageViewController::getNextResource() const
{
    auto folder = folderController();
    auto neighbour = resource();
    while (folder && neighbour) {
        neighbour = folder->getNextViewableResourceRelativeToResource(neighbour, ImageMimePrefix);
        if (neighbour && canShowImage(*neighbour))
            return neighbour;
    }
    return nullptr;
}

void VKImageViewController::imageViewGoBackOrForward(const std::shared_ptr<core::Object>& sender)
{
    if (contentIsLoading())
        return;
    setUIHidden(false, false);
    bool previous = sender && sender == m_previousImageButtonItem;
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
        auto& item = command == ui::KeyCommand::Left ? m_previousImageButtonItem : m_nextImageButtonItem;
        if (item && item->isEnabled()) {
            imageViewGoBackOrForward(item);
            return true;
        }
    }
    return VKViewController::performKeyCommand(command);
}

void VKImageViewController::updateImageControlButtons()
{
    auto wanted = m_slideShowActive ? ui::BarButtonItem::SystemItem::Pause : ui::BarButtonItem::SystemItem::Play;
    if (!m_slideShowButtonItem || m_slideShowButtonSystemItem != wanted) {
        setToolbarItems(createToolbarItems());
        if (auto trash = findBarButtonItemWithAction(DeleteItemAction))
            trash->setEnabled(true);
    }
    bool hasNext = getNextResource() != nullptr;
    if (m_previousImageButtonItem)
        m_previousImageButtonItem->setEnabled(getPreviousResource() != nullptr);
    if (m_nextImageButtonItem)
        m_nextImageButtonItem->setEnabled(hasNext);
    if (m_slideShowButtonItem)
        m_slideShowButtonItem->setEnabled(hasNext || core::UserDefaults::standard()->boolForKey("VKSlideShowRepeats"));
}

void VKImageViewController::preloadNextPrevious()
{
    if (vkIsLowMemoryDevice() && !m_slideShowActive)
        return;
    auto neighbour = m_updateDirection == DirectionForward ? getNextResource() : getPreviousResource();
    if (!neighbour || m_preloadedResources.contains(neighbour->UUID()))
        return;
    VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
    if (neighbour->isCloudResource() && !neighbour->isUpload()) {
        auto manager = VKCloudServicesManager::sharedManager();
        auto service = manager ? manager->cloudServiceForResource(*neighbour) : nullptr;
        if (auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(neighbour); service && cloud)
            service->fetchResource(cloud, nullptr);
        return;
    }
    auto thumbnails = VKThumbnailManager::sharedManager();
    if (!thumbnails->previewForResource(*neighbour))
        thumbnails->generateThumbnailAndScreenPreviewForResource(neighbour);
}

void VKImageViewController::resourceWillBeDeleted(const core::Notification& notification)
{
    const core::Value& info = notification.userInfo();
    auto current = resource();
    if (!info.isDictionary() || !info[VKNotificationPathKey].isString() || !current
        || info[VKNotificationPathKey].string() != current->path())
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

// ---- Life cycle ------------------------------------------------------------------

void VKImageViewController::viewDidLoad()
{
    VKViewController::viewDidLoad();
    if (auto* placeholder = placeholderView()) {
        placeholder->setBackgroundColor(gfx::Color::white(0));
        if (auto* label = placeholder->label())
            label->setBackgroundColor(gfx::Color::white(0, 0));
    }
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
