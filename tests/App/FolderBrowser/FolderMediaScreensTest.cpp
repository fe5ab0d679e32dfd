// The folder list's media screens as a person sees them: the image picker
// over the list (the album list, an album's grid of thumbnails, a movie's
// preview, the empty library), the toolbar while media is copied, the
// open-in menu and the album's failure alert. Pictures are generated into
// a Pictures folder that the picker reads as the program does. Rendered
// with real text at phone and tablet size in both orientations into
// build/screens/folder_browser/ (media-*.png); the grid on an upright phone
// and the album list on a tablet on its side are guarded by goldens.

#include "FolderListingTestCase.h"
#include "OperationTestSupport.h"

#include "App/FolderBrowser/VKFolderMedia.h"
#include "App/FolderBrowser/VKImagePicker.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/FolderPhotoLibrary.h"
#include "Platform/UI/ImagePickerAlbumController.h"
#include "Platform/UI/ImagePickerAlbumListController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerMoviePreviewController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/ImagePickerThumbnails.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace {

using BrowserOperation = VKBrowserOperation;
using Picker = ui::ImagePickerController;


class FolderMediaScreensTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        for (int i = 1; i <= 14; ++i)
            makeFile(fmt::format("Pictures/IMG_{:04}.jpg", i), picture(i, i % 3 == 0 ? 300 : 400, i % 3 == 0 ? 400 : 300));
        makeFile("Pictures/IMG_0015.mov", std::string(3 * 1024 * 1024 + 300 * 1024, 'm'));
        makeFile("Pictures/Birthday party in the garden with everyone.mp4", std::string(700 * 1024, 'm'));
        for (int i = 1; i <= 3; ++i)
            makeFile(fmt::format("Pictures/Holidays/2023/beach {}.jpg", i), picture(20 + i, 640, 480));
        makeFile("Pictures/Scans of the old family albums from the attic/page 1.png", picture(30, 200, 260));
        makeDocument("A/one.jpg", picture(40, 60, 40));
        makeDocument("A/clip.avi", "RIFF");
        useLibraryAt(home() + "/Pictures");
    }
    void TearDown() override
    {
        BrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        VKImageOperationQueue::resetSharedQueue();
        Picker::setLibrarySource(nullptr);
        Picker::setLibrary({});
        core::Thread::waitForAll(10);
        runLoop();
        ui::ImagePickerThumbnails::shared().clear();
        FolderListingTestCase::TearDown();
    }

    // A picture of its own colour with a light band, so that turned or
    // stretched thumbnails show.
    static std::string picture(int seed, int width, int height)
    {
        auto context = gfx::BitmapContext::create(width, height);
        float hue = float(seed % 7) / 7;
        context->setFillColor(gfx::Color(0.25f + 0.6f * hue, 0.8f - 0.5f * hue, 0.35f + 0.3f * float(seed % 3) / 3, 1));
        context->fillRect({ 0, 0, float(width), float(height) });
        context->setFillColor(gfx::Color::white(1, 0.6f));
        context->fillRect({ 0, float(height) * 0.6f, float(width), float(height) * 0.15f });
        auto image = context->makeImage();
        return seed == 30 ? *image->pngRepresentation() : *image->jpegRepresentation(0.9f);
    }
    static void useLibraryAt(const std::string& folder)
    {
        Picker::setLibrarySource([folder] { return ui::FolderPhotoLibrary::scan(folder); });
    }
    ui::testing::PhotoAlbumRecorder& album()
    {
        return dynamic_cast<ui::testing::PhotoAlbumRecorder&>(*ui::PhotoAlbum::backend());
    }

    void showFolder(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(window(), device);
        show(documents("A"));
        driver.rotate(orientation);
        advance(1);
    }
    // The picker over the list with its library read.
    std::shared_ptr<VKImagePicker> openPicker()
    {
        controller->commands().handleAction(VKFolderCommands::EditAction::ImportMedia, {});
        runLoop();
        advance(0.5);
        auto picker = controller->commands().media().imagePickerInUse();
        EXPECT_TRUE(picker);
        if (!picker)
            return nullptr;
        EXPECT_TRUE(core::RunLoop::main().runUntil(
            [&] { return !picker->imagePickerController()->isLoadingLibrary(); }, 10));
        runLoop();
        return picker;
    }
    void closePicker(const std::shared_ptr<VKImagePicker>& picker)
    {
        picker->done();
        advance(0.6);
        runLoop();
        ASSERT_TRUE(core::RunLoop::main().runUntil([] { return !BrowserOperation::isOperationInProgress(); }, 30));
        advance(0.5);
    }
    // Until every square on screen shows its picture.
    bool thumbnailsShown(ui::ImagePickerAlbumController& grid)
    {
        return core::RunLoop::main().runUntil([&] {
            grid.view()->layoutIfNeeded();
            for (auto* cell : grid.tableView().visibleCells())
                for (const auto& view : cell->contentView().subviews())
                    if (auto* square = dynamic_cast<ui::ImagePickerThumbnailView*>(view.get());
                        square && !square->isHidden() && !square->isMovie() && !square->hasThumbnail())
                        return false;
            return true;
        }, 20);
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }
};

TEST_F(FolderMediaScreensTest, GoldensOfTheGridOnAPhoneAndTheAlbumListOnATablet)
{
    showFolder(test::phoneScreen, ui::Orientation::Portrait);
    auto picker = openPicker();
    ASSERT_TRUE(picker);
    driver.openPickerAlbum("Pictures");
    auto grid = picker->imagePickerController()->albumController();
    ASSERT_TRUE(grid);
    ASSERT_TRUE(thumbnailsShown(*grid));
    advance(0.5);
    auto image = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(image);
    EXPECT_TRUE(test::matchesGolden(*image, sourcePath(""), "folder-media-grid-phone-portrait"));
    closePicker(picker);

    showFolder(test::tabletScreen, ui::Orientation::LandscapeLeft);
    picker = openPicker();
    ASSERT_TRUE(picker);
    // The albums' pictures arrive from the worker.
    ui::ImagePickerThumbnails::shared().clear();
    picker->imagePickerController()->albumListController()->libraryDidChange();
    // One picture for each album that starts with a picture, each handed
    // to its row on the main loop.
    size_t posters = 0;
    for (const auto& album : ui::ImagePickerController::library())
        posters += !album.media.empty() && album.media.front().mediaType != ui::ImagePickerController::movieType;
    ASSERT_GE(posters, 2u);
    ASSERT_TRUE(core::RunLoop::main().runUntil(
        [&] { return ui::ImagePickerThumbnails::shared().keptCountForTesting() >= posters; }, 20));
    // Rows made now take the kept pictures at once, however late the
    // worker's hand-over to the earlier rows would come.
    picker->imagePickerController()->albumListController()->tableView().reloadData();
    runLoop();
    advance(0.5);
    image = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(image);
    EXPECT_TRUE(test::matchesGolden(*image, sourcePath(""), "folder-media-albums-tablet-landscape"));
    closePicker(picker);
}

TEST_F(FolderMediaScreensTest, MediaScreensAtPhoneAndTabletSizeInBothOrientations)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            bool upright = orientation == ui::Orientation::Portrait;
            std::string suffix = fmt::format("{}-{}", device->name, upright ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);

            // The album list, then the grid, a pick, a movie's preview.
            showFolder(*device, orientation);
            auto picker = openPicker();
            ASSERT_TRUE(picker);
            auto list = picker->imagePickerController()->albumListController();
            ASSERT_TRUE(list);
            EXPECT_EQ(driver.cellTexts(list->tableView()),
                (std::vector<std::string> { "Pictures", "Holidays > 2023",
                    "Scans of the old family albums from the attic" }));
            // Two albums start with a picture; "Pictures" with a movie.
            EXPECT_TRUE(core::RunLoop::main().runUntil(
                [] { return ui::ImagePickerThumbnails::shared().keptCountForTesting() >= 2; }, 20));
            advance(0.5);
            shoot("media-picker-albums-" + suffix);

            driver.openPickerAlbum("Pictures");
            auto grid = picker->imagePickerController()->albumController();
            ASSERT_TRUE(grid);
            ASSERT_TRUE(thumbnailsShown(*grid));
            shoot("media-picker-grid-" + suffix);
            driver.pickMedia(0);
            EXPECT_EQ(grid->navigationItem().prompt(), "1 Item Imported");
            ASSERT_TRUE(thumbnailsShown(*grid));
            shoot("media-picker-picked-" + suffix);

            grid->scrollToMedia(15, false);
            runLoop();
            grid->view()->layoutIfNeeded();
            auto* movie = grid->thumbnailView(15);
            ASSERT_TRUE(movie);
            EXPECT_TRUE(movie->isMovie());
            driver.tap(*movie);
            advance(0.5);
            auto preview = picker->imagePickerController()->moviePreviewController();
            ASSERT_TRUE(preview);
            EXPECT_EQ(preview->sizeLabel()->text(), "3.3 MB");
            // The preview keeps Choose where the other screens have Done.
            EXPECT_EQ(preview->navigationItem().rightBarButtonItem(), preview->chooseItem());
            shoot("media-picker-movie-" + suffix);
            driver.tapBarItem(*preview->chooseItem());
            advance(0.6);
            EXPECT_EQ(picker->imagePickerController()->topViewController(), grid.get());
            EXPECT_EQ(grid->navigationItem().prompt(), "2 Items Imported");
            closePicker(picker);

            // An empty library.
            useLibraryAt(home() + "/NoSuchFolder");
            picker = openPicker();
            ASSERT_TRUE(picker);
            list = picker->imagePickerController()->albumListController();
            EXPECT_TRUE(list->showsEmptyNoticeForTesting());
            EXPECT_FALSE(list->showsSpinnerForTesting());
            shoot("media-picker-empty-" + suffix);
            picker->done();
            advance(0.6);
            useLibraryAt(home() + "/Pictures");

            // The toolbar while media is copied.
            auto run = BrowserOperation::startOperationWithLabel("Copying Media", true);
            runLoop();
            advance(0.5);
            shoot("media-copying-media-" + suffix);
            BrowserOperation::endOperation(run);
            advance(0.5);
            run = BrowserOperation::startOperationWithLabel("Copying 2 Items", false);
            BrowserOperation::setOperationProgress(0.5f, run);
            runLoop();
            advance(0.5);
            shoot("media-copying-items-" + suffix);
            BrowserOperation::endOperation(run);
            advance(0.5);

            // Open in, from the More item.
            driver.setOpenInApplications({ "Image Viewer" });
            markNames({ "one.jpg" });
            controller->commands().showEditActionMenu(controller->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
            advance(0.5);
            driver.pressSheetButton("Open In...");
            advance(0.5);
            driver.openInMenu();
            shoot("media-open-in-" + suffix);
            driver.openInMenu()->dismissMenu(false);
            driver.setOpenInApplications({});
            controller->unmarkAllItems();
            advance(0.5);

            // An album that refuses a movie.
            markNames({ "one.jpg", "clip.avi" });
            size_t saved = album().saves().size();
            controller->commands().handleAction(VKFolderCommands::EditAction::SaveToPhotosAlbum, {});
            ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return album().saves().size() == saved + 1; }, 30));
            album().complete();
            ASSERT_TRUE(core::RunLoop::main().runUntil([] { return !BrowserOperation::isOperationInProgress(); }, 30));
            advance(0.5);
            runLoop();
            EXPECT_EQ(driver.alert()->title(), "Unsupported Media");
            shoot("media-unsupported-" + suffix);
            driver.pressAlertButton(0);
            controller->unmarkAllItems();
            advance(0.5);
        }
    }
}

} // namespace
