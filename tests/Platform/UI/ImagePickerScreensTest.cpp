// The image picker's own screens: the album list waiting for the library's
// scan and saying when it is empty, the grid's geometry upright and turned,
// a movie's preview delivering only on Choose, and the thumbnail store's
// bounds.

#include "Platform/UI/ImagePickerAlbumController.h"
#include "Platform/UI/ImagePickerAlbumListController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerMoviePreviewController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/ImagePickerThumbnails.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Picker = ui::ImagePickerController;

struct Picks : ui::ImagePickerControllerDelegate {
    std::vector<std::string> types;
    std::vector<std::string> urls;
    void didFinishPicking(ui::ImagePickerController&, const core::Value& info) override
    {
        types.push_back(info[Picker::mediaTypeKey].string());
        if (info[Picker::mediaURLKey].isString())
            urls.push_back(info[Picker::mediaURLKey].string());
    }
};

class ImagePickerScreensTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        if (picker) {
            root->dismissModalViewController(false);
            runLoop();
        }
        picker.reset();
        window().setRootViewController(nullptr);
        root.reset();
        Picker::setLibrarySource(nullptr);
        Picker::setLibrary({});
        core::Thread::waitForAll(10);
        runLoop();
        ui::ImagePickerThumbnails::shared().clear();
        UITestCase::TearDown();
    }
    static std::shared_ptr<gfx::Image> picture(int width = 8, int height = 6)
    {
        auto context = gfx::BitmapContext::create(width, height);
        context->setFillColor(gfx::Color(0.2f, 0.5f, 0.8f, 1));
        context->fillRect({ 0, 0, float(width), float(height) });
        return context->makeImage();
    }
    void present()
    {
        root = ui::ViewController::create();
        window().setRootViewController(root);
        picker = Picker::create();
        picker->setMediaTypes({ Picker::imageType, Picker::movieType });
        picker->setDelegate(picks);
        root->presentModalViewController(picker, false);
        runLoop();
    }
    std::shared_ptr<ui::ViewController> root;
    std::shared_ptr<Picker> picker;
    std::shared_ptr<Picks> picks = std::make_shared<Picks>();
};

TEST_F(ImagePickerScreensTest, TheListWaitsForTheScanThenListsTheAlbumsOrSaysThereAreNone)
{
    std::atomic<bool> release { false };
    Picker::setLibrarySource([&] {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::vector<Picker::Album> { { "Pictures", { { Picker::imageType, picture(), std::nullopt, {} } } },
            { "Trips", { { Picker::imageType, picture(), std::nullopt, {} } } } };
    });
    present();
    auto list = picker->albumListController();
    ASSERT_TRUE(list);
    EXPECT_TRUE(picker->isLoadingLibrary());
    EXPECT_TRUE(list->showsSpinnerForTesting());
    EXPECT_FALSE(list->showsEmptyNoticeForTesting());
    EXPECT_EQ(list->tableView().numberOfRows(0), 0);
    EXPECT_THROW(driver.openPickerAlbum("Trips"), core::Exception);

    release = true;
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !picker->isLoadingLibrary(); }, 10));
    runLoop();
    EXPECT_FALSE(list->showsSpinnerForTesting());
    EXPECT_FALSE(list->showsEmptyNoticeForTesting());
    EXPECT_EQ(driver.cellTexts(list->tableView()), (std::vector<std::string> { "Pictures", "Trips" }));
    driver.openPickerAlbum("Trips");
    EXPECT_EQ(picker->topViewController()->title(), "Trips");
    root->dismissModalViewController(false);
    runLoop();

    // Nothing found: the notice, no spinner.
    Picker::setLibrarySource([] { return std::vector<Picker::Album> {}; });
    present();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !picker->isLoadingLibrary(); }, 10));
    runLoop();
    EXPECT_TRUE(picker->albumListController()->showsEmptyNoticeForTesting());
    EXPECT_FALSE(picker->albumListController()->showsSpinnerForTesting());
}

TEST_F(ImagePickerScreensTest, TheGridPacksSquaresFourGapsApartAndFollowsTheTurn)
{
    std::vector<Picker::Media> media;
    for (int i = 0; i < 9; ++i)
        media.push_back({ Picker::imageType, picture(), std::nullopt, {} });
    media.push_back({ Picker::movieType, nullptr, core::URL::fileURL(makeFile("Pictures/clip.mov", "m")),
        home() + "/Pictures/clip.mov", 5 * 1024 * 1024 });
    Picker::setLibrary({ { "Pictures", media } });
    present();
    driver.openPickerAlbum("Pictures");
    auto grid = picker->albumController();
    ASSERT_TRUE(grid);
    ASSERT_EQ(grid->columns(), 4u);
    EXPECT_EQ(grid->tableView().numberOfRows(0), 3);
    grid->view()->layoutIfNeeded();
    auto* first = grid->thumbnailView(0);
    auto* second = grid->thumbnailView(1);
    auto* below = grid->thumbnailView(4);
    ASSERT_TRUE(first && second && below);
    gfx::Rect a = first->convertRect(first->bounds(), nullptr), b = second->convertRect(second->bounds(), nullptr),
              c = below->convertRect(below->bounds(), nullptr);
    EXPECT_EQ(a.width(), 75);
    EXPECT_EQ(a.height(), 75);
    EXPECT_EQ(a.minX(), 4);
    EXPECT_EQ(b.minX() - a.maxX(), 4);
    EXPECT_EQ(c.minY() - a.maxY(), 4);
    EXPECT_EQ(c.minX(), a.minX());

    // Thumbnails arrive from the worker; the movie keeps its glyph.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return grid->thumbnailView(8)->hasThumbnail(); }, 10));
    EXPECT_TRUE(grid->thumbnailView(9)->isMovie());
    EXPECT_FALSE(grid->thumbnailView(9)->hasThumbnail());

    // On its side a phone fits six a row.
    driver.rotate(ui::Orientation::LandscapeLeft);
    advance(1);
    EXPECT_EQ(grid->columns(), 6u);
    EXPECT_EQ(grid->tableView().numberOfRows(0), 2);
    grid->view()->layoutIfNeeded();
    ASSERT_TRUE(grid->thumbnailView(5));
    EXPECT_EQ(grid->thumbnailView(5)->frame().maxX() + 4 <= grid->tableView().bounds().width(), true);
    driver.rotate(ui::Orientation::Portrait);
    advance(1);

    // A movie's square shows its preview; only Choose delivers it.
    driver.tap(*grid->thumbnailView(9));
    advance(0.5);
    auto preview = picker->moviePreviewController();
    ASSERT_TRUE(preview);
    EXPECT_TRUE(picks->types.empty());
    EXPECT_EQ(preview->nameLabel()->text(), "clip.mov");
    EXPECT_EQ(preview->sizeLabel()->text(), "5.0 MB");
    driver.tapBarItem(*preview->chooseItem());
    EXPECT_EQ(picks->types, (std::vector<std::string> { Picker::movieType }));
    ASSERT_EQ(picks->urls.size(), 1u);
    EXPECT_EQ(picks->urls[0], core::URL::fileURL(home() + "/Pictures/clip.mov").absoluteString());

    // A picture's square delivers at once.
    picker->popToViewController(grid.get(), false);
    runLoop();
    driver.pickMedia(2);
    EXPECT_EQ(picks->types.back(), Picker::imageType);
    EXPECT_EQ(picks->types.size(), 2u);
}

TEST_F(ImagePickerScreensTest, ThumbnailsAreSquareAtCellSizeAndAtMostThreeHundredAreKept)
{
    // A large photo's thumbnail is the cell's pixels, its middle square.
    auto context = gfx::BitmapContext::create(1600, 1200);
    context->setFillColor(gfx::Color(1, 0, 0, 1));
    context->fillRect({ 0, 0, 1600, 1200 });
    std::string path = makeFile("big.jpg", *context->makeImage()->jpegRepresentation(0.8f));
    Picker::Media photo { Picker::imageType, nullptr, std::nullopt, path };
    auto thumbnail = ui::ImagePickerThumbnails::make(photo, 75, 2);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->pixelWidth(), 150);
    EXPECT_EQ(thumbnail->pixelHeight(), 150);
    EXPECT_EQ(thumbnail->size().width, 75);
    // Neither a file that is no picture nor a movie gets one.
    Picker::Media junk { Picker::imageType, nullptr, std::nullopt, makeFile("junk.jpg", "not a picture") };
    EXPECT_FALSE(ui::ImagePickerThumbnails::make(junk, 75, 2));
    auto& store = ui::ImagePickerThumbnails::shared();
    auto wanted = std::make_shared<std::atomic<bool>>(true);
    Picker::Media movie { Picker::movieType, nullptr, core::URL::fileURL(path), path };
    EXPECT_FALSE(store.thumbnail(movie, 75, 1, wanted, [] { }));

    std::vector<Picker::Media> media;
    for (int i = 0; i < 310; ++i)
        media.push_back({ Picker::imageType, picture(), std::nullopt, {} });
    for (const auto& item : media) {
        bool ready = false;
        EXPECT_FALSE(store.thumbnail(item, 75, 1, wanted, [&] { ready = true; }));
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return ready; }, 10));
    }
    EXPECT_EQ(store.keptCountForTesting(), ui::ImagePickerThumbnails::MaximumKept);
    EXPECT_EQ(store.keptBytesForTesting(), ui::ImagePickerThumbnails::MaximumKept * 75 * 75 * 4);
    // The oldest went, the newest stay.
    EXPECT_TRUE(store.thumbnail(media.back(), 75, 1, wanted, nullptr));
    EXPECT_FALSE(store.thumbnail(media.front(), 75, 1, nullptr, nullptr));

    // A request nobody wants any more is never made.
    core::Thread::waitForAll(10);
    runLoop();
    size_t made = store.madeCountForTesting();
    auto gone = std::make_shared<std::atomic<bool>>(false);
    bool ready = false;
    store.thumbnail({ Picker::imageType, picture(), std::nullopt, {} }, 75, 1, gone, [&] { ready = true; });
    core::Thread::waitForAll(10);
    runLoop();
    EXPECT_FALSE(ready);
    EXPECT_EQ(store.madeCountForTesting(), made);
}

} // namespace
