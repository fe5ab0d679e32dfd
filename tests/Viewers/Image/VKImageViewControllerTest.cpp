#include "ImageTestSupport.h"
#include "ImageViewerTestCase.h"

#include "Viewers/Image/VKImageLayer.h"
#include "Viewers/Image/VKImageTileLayer.h"
#include "Viewers/Image/VKImageView.h"

#include "App/Settings/VKSlideShowSettingsController.h"
#include "Shell/DeviceMemoryAdditions.h"
#include "FileModel/VKThumbnailManager.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Shell/ImageScalingAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/StoredImage.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/Window.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "Platform/UI/Renderer.h"
#include "Support/GoldenImage.h"
#include "Support/NotificationRecorder.h"
#include "Support/SVGBombs.h"

#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace test {
namespace {

class VKImageViewControllerTest : public ImageViewerTestCase {
protected:
    // Four pictures, the viewer on the first.
    void openFolderOfFour()
    {
        for (const char* name : { "a.jpg", "b.jpg", "c.jpg", "d.jpg" })
            addPicture(name);
        open(host->files[0]);
    }
    void swipe(float dx)
    {
        driver.drag({ 160, 240 }, { 160 + dx, 240 }, 5, 0.1);
        waitForLoad();
    }
    core::UserDefaults& defaults() { return *core::UserDefaults::standard(); }
};

TEST_F(VKImageViewControllerTest, FirstPictureIsRevealedAndTheBarsHideLater)
{
    openFolderOfFour();
    ASSERT_TRUE(imageView().image());
    EXPECT_EQ(imageView().transitionType(), "reveal");
    EXPECT_TRUE(viewer->contentDidLoad());
    EXPECT_FALSE(viewer->previousImageButtonItem()->isEnabled());
    EXPECT_TRUE(viewer->nextImageButtonItem()->isEnabled());
    EXPECT_TRUE(viewer->slideShowButtonItem()->isEnabled());
    EXPECT_FALSE(viewer->isUIHidden());
    advance(5.9);
    EXPECT_FALSE(viewer->isUIHidden());
    advance(0.2);
    EXPECT_TRUE(viewer->isUIHidden());
}

TEST_F(VKImageViewControllerTest, AViewThatOutlivesItsViewerTellsItNothing)
{
    open(addPicture("kept.jpg"));
    auto view = imageView().sharedAs<VKImageView>();
    navigation->popViewController(false);
    runLoop();
    std::weak_ptr<VKImageViewController> gone = std::exchange(viewer, nullptr);
    runLoop();
    ASSERT_TRUE(gone.expired());
    EXPECT_FALSE(view->delegate());
    view->loadImage(nullptr);
}

TEST_F(VKImageViewControllerTest, UndecodableAndOversizedFilesAlertWithoutDecoding)
{
    auto broken = addFile("broken.jpg", "\xFF\xD8\xFF\xE0 not really a picture");
    open(broken);
    EXPECT_EQ(driver.alert()->title(), "Warning");
    EXPECT_EQ(driver.alert()->message(), "The image appears to be invalid or is unsupported.");
    EXPECT_EQ(driver.alert()->buttonTitle(0), "OK");
    EXPECT_FALSE(viewer->contentIsLoading());
    driver.pressAlertButton("OK");
    navigation->popViewController(false);
    runLoop();

    // A header that claims 100,000 by 100,000 pixels: past any machine's limit.
    std::string header("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\x01\x86\xA0\0\x01\x86\xA0\x08\x02\0\0\0\0\0\0\0", 33);
    auto huge = addFile("huge.png", header);
    uint64_t decodes = gfx::imageDecodeCountForTesting();
    open(huge);
    EXPECT_EQ(driver.alert()->message(), "The image (100000x100000) is too large to display on this device.\nThe size limit for display is "
            + vkMaximumPixelCountAsString() + ".");
    EXPECT_EQ(gfx::imageDecodeCountForTesting(), decodes) << "refused on its header";
    driver.pressAlertButton("OK");
}

TEST_F(VKImageViewControllerTest, AFileThatCannotBeReadSaysWhy)
{
    // A file the user may not read, a FIFO, a link to a picture out of the home.
    auto locked = addPicture("locked.jpg");
    core::FileTestHooks::setOpenFileHook([&](const std::string& opened) { return opened == locked->path() ? EACCES : 0; });
    ASSERT_EQ(mkfifo(pathInHome("Pictures/pipe.jpg").c_str(), 0600), 0);
    const std::string outside = sourcePath("tests/fixtures/ui/screen.png");
    ASSERT_EQ(symlink(outside.c_str(), pathInHome("Pictures/outside.png").c_str()), 0);
    const std::pair<std::shared_ptr<VKFileResource>, const char*> cases[] = {
        { locked, "Unable to display \"locked.jpg\": permission denied" },
        { VKFileResource::resourceWithPath(pathInHome("Pictures/pipe.jpg")), "Unable to display \"pipe.jpg\": it is not a regular file" },
        { VKFileResource::resourceWithPath(pathInHome("Pictures/outside.png")),
            "Unable to display \"outside.png\": it is a link that leads out of Tandry's home" },
    };
    for (const auto& [resource, message] : cases) {
        open(resource);
        ASSERT_FALSE(driver.shownChoices().empty()) << message;
        EXPECT_EQ(driver.alert()->message(), message);
        EXPECT_FALSE(viewer->contentIsLoading());
        driver.pressAlertButton("OK");
        navigation->popViewController(false);
        runLoop();
    }
}

TEST_F(VKImageViewControllerTest, SwipesAndArrowsMoveAndTheLastPictureBounces)
{
    openFolderOfFour();
    swipe(-100);
    EXPECT_EQ(shownName(), "b.jpg");
    EXPECT_EQ(imageView().transitionType(), "push");
    EXPECT_EQ(imageView().transitionSubtype(), "fromRight");
    EXPECT_DOUBLE_EQ(imageView().transitionDuration(), VKImageViewController::SwipeTransitionDuration);
    EXPECT_EQ(viewer->updateDirection(), VKImageViewController::DirectionForward);
    advance(1);
    swipe(100);
    EXPECT_EQ(shownName(), "a.jpg");
    EXPECT_EQ(imageView().transitionSubtype(), "fromLeft");
    EXPECT_EQ(viewer->updateDirection(), VKImageViewController::DirectionBackward);
    advance(1);

    viewer->setUIHidden(false, false);
    driver.tapBarItem(*viewer->nextImageButtonItem());
    waitForLoad();
    EXPECT_EQ(shownName(), "b.jpg");
    EXPECT_DOUBLE_EQ(imageView().transitionDuration(), VKImageViewController::ArrowTransitionDuration);
    ASSERT_TRUE(imageView().oldLayer()) << "the old picture leaves with the push";
    EXPECT_TRUE(imageView().oldLayer()->contents());
    EXPECT_TRUE(imageView().oldLayer()->animationForKey(VKImageView::TransitionKey));
    EXPECT_EQ(imageView().oldLayer()->superlayer(), &imageView().layer());
    for (const char* name : { "c.jpg", "d.jpg" }) {
        advance(1);
        viewer->setUIHidden(false, false);
        driver.tapBarItem(*viewer->nextImageButtonItem());
        waitForLoad();
        EXPECT_EQ(shownName(), name);
    }
    // The keyboard's Left and Right are the toolbar's arrows.
    for (auto [command, name] : { std::pair { ui::KeyCommand::Left, "c.jpg" }, { ui::KeyCommand::Right, "d.jpg" } }) {
        advance(1);
        EXPECT_TRUE(driver.key(command));
        waitForLoad();
        EXPECT_EQ(shownName(), name);
    }
    EXPECT_FALSE(viewer->nextImageButtonItem()->isEnabled());
    EXPECT_FALSE(viewer->slideShowButtonItem()->isEnabled());
    defaults().set("VKSlideShowRepeats", core::Value(true));
    EXPECT_TRUE(viewer->slideShowButtonItem()->isEnabled()) << "the setting is observed";
    defaults().set("VKSlideShowRepeats", core::Value(false));

    advance(1);
    auto finger = driver.touchDown({ { 200, 240 } });
    driver.wait(0.05);
    driver.touchMove({ { finger[0], { 149, 240 } } });
    driver.touchUp(finger);
    runLoop();
    EXPECT_EQ(shownName(), "d.jpg");
    auto bounce = imageView().imageLayer()->animationForKey(VKImageView::BounceKey);
    ASSERT_TRUE(bounce);
    EXPECT_FLOAT_EQ(std::get<gfx::Point>(bounce->to).x - std::get<gfx::Point>(bounce->from).x, -51);
}

TEST_F(VKImageViewControllerTest, SlideShowRunsOnItsTimerAndEndsAfterTheLastPicture)
{
    openFolderOfFour();
    swipe(-100); // on b
    advance(1);
    viewer->setUIHidden(false, false);
    driver.tapBarItem(*viewer->slideShowButtonItem());
    EXPECT_TRUE(viewer->isSlideShowActiveForTesting());
    EXPECT_TRUE(application().isIdleTimerDisabled());
    EXPECT_EQ(viewer->slideShowButtonItem()->systemItem(), ui::BarButtonItem::SystemItem::Pause);
    advance(1.01);
    EXPECT_TRUE(viewer->isUIHidden());
    // 3 s and the fade's 1 s.
    advance(2.98);
    EXPECT_EQ(shownName(), "b.jpg");
    advance(0.02);
    waitForLoad();
    EXPECT_EQ(shownName(), "c.jpg") << "starts after the shown picture";
    EXPECT_EQ(imageView().transitionType(), "fade");
    advance(4.0);
    waitForLoad();
    EXPECT_EQ(shownName(), "d.jpg");
    advance(4.0);
    runLoop();
    EXPECT_FALSE(viewer->isSlideShowActiveForTesting());
    EXPECT_FALSE(viewer->isUIHidden());
    EXPECT_FALSE(application().isIdleTimerDisabled());
    EXPECT_EQ(viewer->slideShowButtonItem()->systemItem(), ui::BarButtonItem::SystemItem::Play);
}

// A kind the decoders do not read (an icon) is no neighbour; a picture that
// fails to decode is passed over by the show, without an alert.
TEST_F(VKImageViewControllerTest, TheShowAndTheArrowsPassOverWhatCannotBeShown)
{
    addPicture("a.jpg");
    addFile("b.ico", std::string("\0\0\1\0\1\0", 6));
    addFile("c.jpg", "not a picture");
    addPicture("d.jpg");
    open(host->files[0]);
    EXPECT_EQ(viewer->getNextResource()->name(), "c.jpg");
    viewer->setUIHidden(false, false);
    driver.tapBarItem(*viewer->slideShowButtonItem());
    advance(4.0);
    waitForLoad();
    runLoop();
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_TRUE(viewer->isSlideShowActiveForTesting());
    waitForLoad();
    EXPECT_EQ(shownName(), "d.jpg");
    EXPECT_EQ(viewer->getPreviousResource()->name(), "c.jpg");
}

// A drawing is a picture among the others: drawn at the screen's size (not
// at its own 4096 × 4096), fitted, and reached by the arrows; one
// that cannot be drawn, or draws too many copies of itself, gets the alert.
TEST_F(VKImageViewControllerTest, DrawingsOpenFittedAmongThePicturesAndBrokenOnesAlert)
{
    auto drawing = addFile("a.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='4096' height='4096'><rect width='2048' "
                                    "height='4096' fill='red'/><rect x='2048' width='2048' height='4096' fill='blue'/></svg>");
    addPicture("b.jpg");
    open(drawing);
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_EQ(imageView().nativeSize(), (gfx::Size { 4096, 4096 }));
    EXPECT_FLOAT_EQ(imageView().zoom(), imageView().getZoomToFit());
    EXPECT_LT(imageView().zoom(), 1.0f);
    ASSERT_TRUE(viewer->preview());
    EXPECT_EQ(viewer->preview()->size(), (gfx::Size { 960, 960 })) << "the screen's long side";
    advance(1);
    auto picture = ui::Renderer::renderImage(imageView());
    gfx::Rect frame = imageView().imageLayer()->frame();
    gfx::Pixel left = straightPixel(*picture, int(frame.minX() + 0.25f * frame.width()), int(frame.midY()));
    gfx::Pixel right = straightPixel(*picture, int(frame.minX() + 0.75f * frame.width()), int(frame.midY()));
    EXPECT_GT(left.red, 200);
    EXPECT_LT(left.blue, 50);
    EXPECT_GT(right.blue, 200);
    EXPECT_LT(right.red, 50);
    for (auto [command, name] : { std::pair { ui::KeyCommand::Right, "b.jpg" }, { ui::KeyCommand::Left, "a.svg" } }) {
        advance(1);
        EXPECT_TRUE(driver.key(command));
        waitForLoad();
        EXPECT_EQ(shownName(), name);
    }
    navigation->popViewController(false);
    runLoop();

    for (auto [name, bytes] : { std::pair<const char*, std::string> { "cut.svg", "<svg xmlns='http://www.w3.org/2000/svg' <rect" },
             { "nested.svg", nestedUsesSVG() } }) {
        SCOPED_TRACE(name);
        open(addFile(name, bytes));
        ASSERT_FALSE(driver.shownChoices().empty());
        EXPECT_EQ(driver.alert()->message(), "The image appears to be invalid or is unsupported.");
        driver.pressAlertButton("OK");
        navigation->popViewController(false);
        runLoop();
    }
}

TEST_F(VKImageViewControllerTest, RepeatingPushShowWrapsToTheFirstAndATapStopsIt)
{
    defaults().set("VKSlideShowRepeats", core::Value(true));
    defaults().set("VKSlideShowTransitionType", core::Value("push"));
    openFolderOfFour();
    for (int i = 0; i < 3; ++i) {
        advance(1);
        viewer->setUIHidden(false, false);
        driver.tapBarItem(*viewer->nextImageButtonItem());
        waitForLoad();
    }
    EXPECT_EQ(shownName(), "d.jpg");
    driver.tapBarItem(*viewer->slideShowButtonItem());
    EXPECT_DOUBLE_EQ(imageView().transitionDuration(), 0.5);
    EXPECT_DOUBLE_EQ(viewer->slideShowTimeout(), 3.5);
    advance(3.5);
    waitForLoad();
    EXPECT_EQ(shownName(), "a.jpg") << "a new pass holds every picture";
    EXPECT_TRUE(viewer->isSlideShowActiveForTesting());

    advance(2);
    EXPECT_TRUE(viewer->isUIHidden());
    driver.tap(gfx::Point { 160, 240 });
    advance(0.5);
    EXPECT_FALSE(viewer->isUIHidden());
    EXPECT_FALSE(viewer->isSlideShowActiveForTesting()) << "bars the person asked for stop the show";
}

TEST_F(VKImageViewControllerTest, SheetOffersTheShowSettingsAlbumAndOrientationLock)
{
    openFolderOfFour();
    viewer->showDocumentActionSheet(nullptr);
    auto sheet = driver.actionSheet();
    ASSERT_GE(sheet->numberOfButtons(), 4);
    EXPECT_EQ(sheet->buttonTitle(0), "Slideshow Settings");
    EXPECT_EQ(sheet->buttonTitle(1), "Save to Photos Album");
    EXPECT_EQ(sheet->buttonTitle(2), "Lock Orientation");
    EXPECT_EQ(sheet->buttonTitle(3), "Email File");
    driver.pressSheetButton("Slideshow Settings");
    advance(1);
    // Presented from the outermost controller, the browser's stack.
    auto* modal = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(modal);
    auto* settings = dynamic_cast<VKSlideShowSettingsController*>(modal->topViewController());
    ASSERT_TRUE(settings);
    auto done = settings->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->systemItem(), ui::BarButtonItem::SystemItem::Done);
    driver.tapBarItem(*done);
    advance(1);
    EXPECT_EQ(navigation->modalViewController(), nullptr);
}

TEST_F(VKImageViewControllerTest, AlbumSaveKeepsItsTitleAndIgnoresASecondRequest)
{
    openFolderOfFour();
    std::vector<std::function<void(int)>> pending;
    std::vector<std::string> saved;
    VKImageViewController::setAlbumSaver([&](const std::string& path, std::function<void(int)> done) {
        saved.push_back(path);
        pending.push_back(std::move(done));
    });
    viewer->copyImageToSavedPhotosAlbum();
    EXPECT_EQ(viewer->title(), "Saving to Photos...");
    viewer->copyImageToSavedPhotosAlbum();
    viewer->setTitleFromResource();
    EXPECT_EQ(viewer->title(), "Saving to Photos...");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0], host->files[0]->path());
    pending[0](0);
    EXPECT_EQ(viewer->title(), "Save Succeeded");
    advance(2.01);
    EXPECT_EQ(viewer->title(), "a");

    viewer->copyImageToSavedPhotosAlbum();
    pending[1](1);
    EXPECT_EQ(driver.alert()->title(), "Warning");
    EXPECT_EQ(driver.alert()->message(), "Failed to save 1 photos");
    EXPECT_EQ(driver.alert()->buttonTitle(0), "Cancel");
    driver.pressAlertButton("Cancel");
}

TEST_F(VKImageViewControllerTest, WithoutASaverThePictureGoesToTheAlbumThroughTheSaveOperation)
{
    openFolderOfFour();
    auto& album = dynamic_cast<ui::testing::PhotoAlbumRecorder&>(*ui::PhotoAlbum::backend());
    size_t before = album.saves().size();
    viewer->copyImageToSavedPhotosAlbum();
    EXPECT_EQ(viewer->title(), "Saving to Photos...");
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return album.pendingCount() == 1; }, 30));
    EXPECT_EQ(album.saves().size(), before + 1);
    EXPECT_TRUE(album.saves().back().image);
    album.complete();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return viewer->title() == "Save Succeeded"; }, 30));

    // A refused save ends in the alert, and the title comes back.
    advance(2.01);
    viewer->copyImageToSavedPhotosAlbum();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return album.pendingCount() == 1; }, 30));
    album.complete(core::Error::posix(ENOSPC));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return viewer->title() != "Saving to Photos..."; }, 30));
    EXPECT_EQ(viewer->title(), "a");
    EXPECT_EQ(driver.alert()->message(), "Failed to save 1 photos");
    driver.pressAlertButton("Cancel");
}

TEST_F(VKImageViewControllerTest, DeletingTheShownPictureMovesToItsNeighbour)
{
    openFolderOfFour();
    auto post = [&](const std::shared_ptr<VKFileResource>& file) {
        core::NotificationCenter::defaultCenter().post(VKFolderControllerWillDeleteResourceNotification, nullptr,
            { file->path() });
    };
    // The folder screen tells before the file goes, so it is still listed.
    post(host->files[0]);
    waitForLoad();
    EXPECT_EQ(shownName(), "b.jpg") << "the next one, in the direction of travel";
    // A notice without a path changes nothing.
    core::NotificationCenter::defaultCenter().post(VKFolderControllerWillDeleteResourceNotification, nullptr, {});
    EXPECT_EQ(shownName(), "b.jpg");

    host->files = { host->files[1] };
    post(host->files[0]);
    EXPECT_EQ(viewer->resource(), nullptr) << "the only picture leaves nothing to show";
}

TEST_F(VKImageViewControllerTest, ALargePictureIsReadAtTheScreensSizeAndNeverWhole)
{
    // Over twice the phone screen's pixels at scale 2.
    auto big = addPicture("big.jpg", 1600, 1200);
    auto thumbnails = VKThumbnailManager::sharedManager();
    auto previewPath = thumbnails->previewCachePathForResource(*big);
    ASSERT_TRUE(previewPath);
    NoticeRecorder thumbnailsMade(VKThumbnailManagerDidGenerateThumbnailNotification);
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        uint64_t decodes = gfx::imageDecodeCountForTesting();
        open(big);
        ASSERT_TRUE(viewer->preview());
        EXPECT_EQ(imageView().image(), viewer->preview());
        EXPECT_EQ(viewer->preview()->size(), (gfx::Size { 960, 720 })) << "the screen's long side";
        EXPECT_EQ(imageView().nativeSize(), (gfx::Size { 1600, 1200 }));
        EXPECT_EQ(imageView().imageLayer()->detailSource(), viewer->fullImage());
        // The second opening shows the preview the first one wrote.
        EXPECT_EQ(gfx::imageDecodeCountForTesting() - decodes, opening == 0 ? 0u : 1u) << "never the whole picture";
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return thumbnailsMade.received.size() == 1; }, 20));
        EXPECT_TRUE(core::fs::exists(*previewPath));
        navigation->popViewController(false);
        runLoop();
    }
}

TEST_F(VKImageViewControllerTest, ZoomedInALargePictureDrawsTilesOfTheVisiblePart)
{
    auto big = addPicture("big.jpg", 3200, 2400);
    open(big);
    auto* layer = imageView().imageLayer();
    ASSERT_TRUE(layer && layer->tileLayer());
    EXPECT_TRUE(layer->tileLayer()->isHidden()) << "the bitmap holds all a fitted picture shows";

    uint64_t decodes = gfx::imageDecodeCountForTesting();
    imageView().setZoom(0.5f, false);
    ASSERT_FALSE(layer->tileLayer()->isHidden());
    ui::TiledLayer::renderAllVisibleTilesSynchronously();
    auto tiles = layer->tileLayer()->visibleTiles();
    ASSERT_FALSE(tiles.empty());
    // 0.5 at the screen's scale 2 is the picture's own pixels: the view's
    // 640 × 960 pixels (less than the bars) meet at most 3 × 3 tiles of 512.
    for (auto& [level, column, row] : tiles)
        EXPECT_EQ(level, 0);
    EXPECT_LE(tiles.size(), 9u);
    EXPECT_LE(layer->tileLayer()->cachedPixelsForTesting(), tiles.size() * 512 * 512);
    EXPECT_LE(layer->tileLayer()->bandsReadForTesting(), 3u) << "one read per row of tiles";
    EXPECT_EQ(gfx::imageDecodeCountForTesting(), decodes) << "still never whole";

    imageView().setZoom(imageView().getZoomToFit(), false);
    EXPECT_TRUE(layer->tileLayer()->isHidden());
}

TEST_F(VKImageViewControllerTest, ALargePictureThatCannotBeReadIsReported)
{
    auto bytes = quarteredImage({ 1600, 1200 })->pngRepresentation();
    ASSERT_TRUE(bytes);
    open(addFile("cut.png", bytes->substr(0, bytes->size() / 2)));
    EXPECT_FALSE(viewer->contentIsLoading());
    EXPECT_TRUE(!viewer->activityIndicator() || !viewer->activityIndicator()->isAnimating());
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "The image appears to be invalid or is unsupported.");
    EXPECT_TRUE(viewer->findBarButtonItemWithAction(VKViewController::DeleteItemAction)->isEnabled());
    driver.pressAlertButton("OK");
}

TEST_F(VKImageViewControllerTest, ShowOnASecondScreenReturnsWhenItGoes)
{
    defaults().set("VKSlideShowUseTVOut", core::Value(true));
    openFolderOfFour();
    auto screen = driver.connectScreen({ 0, 0, 640, 480 }, 1);
    viewer->setUIHidden(false, false);
    driver.tapBarItem(*viewer->slideShowButtonItem());
    auto* external = viewer->tvoutWindow();
    ASSERT_TRUE(external);
    EXPECT_EQ(ui::screenOfWindow(*external), screen);
    EXPECT_EQ(imageView().window(), external);
    EXPECT_EQ(imageView().bounds().size, (gfx::Size { 640, 480 }));
    ASSERT_TRUE(viewer->tvoutPlaceholderViewForTesting());
    EXPECT_EQ(viewer->tvoutPlaceholderViewForTesting()->superview(), viewer->view().get());
    EXPECT_FALSE(viewer->shouldSingleTapHideUI());
    advance(1.5);
    EXPECT_FALSE(viewer->isUIHidden()) << "the bars stay while the show is elsewhere";
    // The main screen's touches never reach the external window.
    auto mainWindows = ui::Window::windowsFrontToBack();
    EXPECT_EQ(mainWindows.end(),
        std::find_if(mainWindows.begin(), mainWindows.end(), [&](auto& window) { return window.get() == external; }));

    driver.disconnectScreen(screen);
    runLoop();
    EXPECT_FALSE(viewer->isSlideShowActiveForTesting());
    EXPECT_EQ(viewer->tvoutWindow(), nullptr);
    EXPECT_EQ(imageView().superview(), viewer->view().get());
    EXPECT_EQ(imageView().bounds().size, viewer->view()->bounds().size);
}

} // namespace
} // namespace test
