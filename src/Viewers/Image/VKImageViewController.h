#pragma once

// The viewer of pictures. It shows the file in a VKImageView, moves to the
// folder's previous or next picture by swipe or toolbar arrows (preloading
// the neighbour in the direction of travel), runs a timed slide show
// (optionally on a second screen), saves the picture to the photo album
// and, for a picture still in cloud storage, shows the download's progress
// over a transparent placeholder until it arrives.
//
// Every load goes through the shared image queue, whose pending work is
// dropped first so that only the newest request is served. The queue's
// worker reads the header, refuses a picture over the processing limit
// without decoding it, decodes the rest and hands the result to the main
// thread. A picture over twice the screen's pixels is never decoded whole:
// it shows as a bitmap read at the screen's size (the folder's preview),
// and zoomed in, the image view reads tiles of the visible part at the
// zoomed scale.

#include "App/Settings/VKSlideShowSettingsControllerDelegate.h"
#include "App/Viewers/VKViewController.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/BarButtonItem.h"
#include "Viewers/Image/VKImageViewDelegate.h"

#include "Viewers/Image/VKImageAlbumSave.h"
#include "Viewers/Image/VKImageNeighbours.h"
#include "Viewers/Image/VKImageViewerToolbar.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace gfx {
class Image;
}
class VKImageSlideShow;
class VKImageView;
struct VKThumbnailNews;

// The viewer's error domain (code 1).
inline constexpr const char* VKImageViewControllerErrorDomain = "VKImageViewController";

class VKImageViewController : public VKViewController, public VKImageViewDelegate {
public:
    // The direction of travel.
    static constexpr int DirectionBackward = 3;
    static constexpr int DirectionForward = 4;
    // Sheet buttons.
    static constexpr int SlideShowSettingsButtonTag = 1005;
    static constexpr int SaveToPhotosAlbumButtonTag = 1006;
    // Seconds: pushes by swipe and by arrow, the spinner's wait when moving,
    // the slide show's bars.
    static constexpr double SwipeTransitionDuration = 0.3;
    static constexpr double ArrowTransitionDuration = 0.25;
    static constexpr double MoveActivityIndicatorDelay = 2.0;
    static constexpr double SlideShowHideBarsDelay = 1.0;

    // Saves the shown file to the photo album and calls back once on the
    // main thread with the number of files that failed (0: saved). Without
    // one the viewer saves through VKSaveMediaToPhotosAlbumOperation.
    using AlbumSaver = VKImageAlbumSave::Saver;
    static void setAlbumSaver(AlbumSaver saver) { VKImageAlbumSave::setSaver(std::move(saver)); }
    static std::shared_ptr<VKImageViewController> imageViewControllerWithResource(
        const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController);
    VKImageViewController();
    ~VKImageViewController() override;

    void initWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController) override;

    VKImageView* imageView() const;
    // A large picture's bitmap, read at the screen's size; none while the
    // picture shows whole.
    const std::shared_ptr<gfx::Image>& preview() const { return m_preview; }
    // The picture, decoded only when it shows whole.
    const std::shared_ptr<gfx::Image>& fullImage() const { return m_image; }
    bool isSlideShowActiveForTesting() const;
    int updateDirection() const { return m_updateDirection; }
    // The slides left in this pass; none before a pass started.
    const std::optional<std::vector<std::shared_ptr<VKFileResource>>>& slideShowResourcesForTesting() const;
    const std::set<std::string>& preloadedResources() const { return m_neighbours.preloaded(); }
    ui::BarButtonItem* previousImageButtonItem() const { return m_toolbar.previousItem().get(); }
    ui::BarButtonItem* nextImageButtonItem() const { return m_toolbar.nextItem().get(); }
    ui::BarButtonItem* slideShowButtonItem() const { return m_toolbar.slideShowItem().get(); }
    ui::Window* tvoutWindow() const;
    ui::View* tvoutPlaceholderViewForTesting() const;
    bool isSavingToAlbum() const { return m_albumSave.isSaving(); }
    static std::shared_ptr<gfx::Image> transparentImagePlaceholder();

    // Loading. A negative delay shows no spinner; no transition reveals the
    // first picture and changes later ones without animation.
    void startImageLoadForResource(const std::shared_ptr<VKFileResource>& resource,
        std::optional<std::string> transition, double activityIndicatorDelay);
    void preloadNextPrevious();

    // Moving.
    void imageViewGoBackOrForward(const std::shared_ptr<core::Object>& sender);
    void updateImageControlButtons();
    std::shared_ptr<VKFileResource> getPreviousResource() const;
    std::shared_ptr<VKFileResource> getNextResource() const;
    // Whether the platform decodes the file's kind of picture.
    static bool canShowImage(const VKFileResource& resource) { return VKImageNeighbours::canShowImage(resource); }

    // The slide show.
    void toggleImageSlideShow(const std::shared_ptr<core::Object>& sender);
    double slideShowTimeout() const;
    void slideShowAdvanceSlide();
    void stopSlideShowAndUpdateButton(bool update);
    void showSlideShowSettings(const std::shared_ptr<core::Object>& sender);
    void dismissSlideShowSettings(const std::shared_ptr<core::Object>& sender);
    void copyImageToSavedPhotosAlbum();
    void saveMediaToPhotosAlbumDidEnd(int failureCount);

    // VKImageViewDelegate.
    void imageViewWillZoomToLevel(VKImageView& view, float zoom) override;
    void imageViewDidZoomToLevel(VKImageView& view, float zoom) override;
    void imageViewHandleSwipeGestureWithDelta(VKImageView& view, float delta) override;
    void imageViewLoadDidFinish(VKImageView& view) override;
    void imageViewLoadDidFail(VKImageView& view, const core::Error& error) override;

    // Base overrides.
    bool performKeyCommand(ui::KeyCommand command) override;
    void loadContentView() override;
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void addButtonsToActionSheet(VKActionSheet& sheet) override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;
    bool shouldSingleTapHideUI() const override;
    void setTitleFromResource() override;
    void showCloudDownloadProgressView() override;
    void hideCloudDownloadProgressView() override;
    void cloudFileFetchDidComplete(const core::Notification& notification) override;
    void resourceWillBeDeleted(const std::string& path) override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidUnload() override;
    void didReceiveMemoryWarning() override;

    // Notifications.
    void screenDidDisconnect(const core::Notification& notification);
    void didGeneratePreview(const VKThumbnailNews& news);
    void previewGenerationFailed(const VKThumbnailNews& news);
    void viewControllerDidShowUI(const core::Notification& notification);

private:
    // `shown` is the large picture's smaller bitmap, none for a picture
    // shown whole; `unopened` why the file could not be read.
    void loadImageForResource(const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<gfx::Image>& image,
        const std::shared_ptr<gfx::Image>& shown, std::optional<std::string> message, const core::Error& unopened);
    void failLoad(const std::string& message);
    void failLoad(const core::Error& error);
    void moveToResource(const std::shared_ptr<VKFileResource>& resource, int direction, double duration);
    void setFolderThumbnailsDisabled(bool disabled);
    bool isCurrentResource(const std::shared_ptr<VKFileResource>& resource) const;

    std::shared_ptr<gfx::Image> m_preview;
    std::shared_ptr<gfx::Image> m_image;
    VKImageViewerToolbar m_toolbar;
    int m_updateDirection = DirectionForward;
    std::unique_ptr<VKImageSlideShow> m_slideShow;
    VKImageNeighbours m_neighbours;
    VKImageAlbumSave m_albumSave;
    std::vector<core::Observation> m_imageObservations;
    core::Observation m_repeatsObservation;
};
