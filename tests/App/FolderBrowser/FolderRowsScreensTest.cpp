// The folder list as a person sees it: subfolders, JPEG photos with their
// thumbnails from the real thumbnail manager, a PDF, a file of unknown kind
// with its extension over the generic icon, a file deleted behind the list
// and a name too long for the row; the same list while marking two rows,
// with a row's Delete after a swipe, in "Local Files" results with their
// folder lines, during an operation and for a guest. Rendered with real
// text at phone and tablet size in both orientations into
// build/screens/folder_browser/, checked for rows whose texts neither
// overlap nor leave the row, and guarded by three goldens.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

namespace {

// 14 March 2019, 10:30 UTC: the rows' dates do not follow the clock.
constexpr time_t FixedDate = 1552559400;

class FolderRowsScreensTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
        makeDocument("Work/Projects/plan.txt");
        makeDocument("Work/Projects/budget.txt");
        makeDocument("Work/Archive/");
        photo("Work/Beach.jpg", { 0.95f, 0.75f, 0.35f }, { 0.15f, 0.45f, 0.8f });
        photo("Work/Harbour.jpg", { 0.3f, 0.5f, 0.35f }, { 0.85f, 0.9f, 0.95f });
        std::ifstream fixture(sourcePath("tests/fixtures/pdf/groff.pdf"), std::ios::binary);
        std::string pdf((std::istreambuf_iterator<char>(fixture)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(pdf.empty());
        makeDocument("Work/Manual.pdf", pdf);
        makeDocument("Work/measurements.xyz", std::string(5000, 'm'));
        makeDocument("Work/Vanished.txt", "soon gone");
        makeDocument("Work/" + std::string(120, 'W') + " minutes.txt", "long");
        for (const auto& name : core::fs::contentsOfDirectory(documents("Work")).value_or(std::vector<std::string> {}))
            fix(documents("Work/" + name));
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
        runLoop();
    }
    void TearDown() override
    {
        VKAppDelegateHooks::setCurrent(delegate);
        VKBrowserOperation::resetOperationForTesting();
        FolderListingTestCase::TearDown();
    }
    // A JPEG of a sky over sand: two colours, top and bottom.
    struct RGB {
        float r, g, b;
    };
    void photo(const std::string& relative, RGB ground, RGB sky)
    {
        auto context = gfx::makeImageContext(gfx::Size { 400, 300 }, 1);
        context->setFillColor(sky.r, sky.g, sky.b, 1);
        context->fillRect(gfx::Rect(0, 0, 400, 180));
        context->setFillColor(ground.r, ground.g, ground.b, 1);
        context->fillRect(gfx::Rect(0, 180, 400, 120));
        makeDocument(relative, *context->makeImage()->jpegRepresentation(0.8f));
    }
    static void fix(const std::string& path)
    {
        struct timespec times[2] = { { FixedDate, 0 }, { FixedDate, 0 } };
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    // Shows the folder with its thumbnails made and "Vanished.txt" gone.
    void showWork(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(window(), device);
        fix(makeDocument("Work/Vanished.txt", "soon gone"));
        show(documents("Work"));
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
        }
        advance(1);
        auto thumbnails = VKThumbnailManager::sharedManager();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] {
            return thumbnails->thumbnailForResource(*resource(documents("Work/Beach.jpg")))
                && thumbnails->thumbnailForResource(*resource(documents("Work/Harbour.jpg")));
        }, 20));
        runLoop();
        ASSERT_TRUE(core::fs::removeItem(documents("Work/Vanished.txt")));
        scrollToTop();
    }
    void scrollToTop()
    {
        auto& table = controller->activeTableView();
        table.setContentOffset({ 0, 0 });
        table.reloadData();
        table.layoutIfNeeded();
        advance(0.5);
    }
    // Every shown row: its texts inside the row, apart from each other and
    // from the icon; check boxes and icons at their places.
    void expectTidyRows()
    {
        auto& table = controller->activeTableView();
        table.layoutIfNeeded();
        auto cells = table.visibleCells();
        ASSERT_FALSE(cells.empty());
        for (auto* visible : cells) {
            auto* cell = dynamic_cast<VKFileResourceCell*>(visible);
            ASSERT_TRUE(cell);
            cell->layoutIfNeeded();
            SCOPED_TRACE(cell->titleLabel().text());
            gfx::Rect content = cell->contentView().bounds();
            gfx::Rect icon = cell->iconView().frame();
            std::vector<gfx::Rect> texts { cell->titleLabel().frame(), cell->sizeLabel().frame() };
            if (!cell->modificationDateLabel().text().empty())
                texts.push_back(cell->modificationDateLabel().frame());
            if (cell->parentLabel())
                texts.push_back(cell->parentLabel()->frame());
            for (size_t i = 0; i < texts.size(); ++i) {
                EXPECT_GE(texts[i].minX(), icon.maxX()) << i;
                EXPECT_LE(texts[i].maxX(), content.maxX() + 0.5f) << i;
                EXPECT_GE(texts[i].minY(), 0) << i;
                EXPECT_LE(texts[i].maxY(), content.maxY() + 0.5f) << i;
                for (size_t j = i + 1; j < texts.size(); ++j)
                    EXPECT_FALSE(texts[i].intersects(texts[j])) << i << " " << j;
            }
            // The name keeps to its one line, a long one cut with an ellipsis.
            const auto& title = cell->titleLabel();
            auto lines = title.displayedLinesForTesting();
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_LE(ui::Fonts::sizeOfString(lines[0], title.displayedFont()).width, title.frame().width() + 0.5f);
            EXPECT_EQ(lines[0].ends_with("…"), title.text().starts_with("WWW"));
            if (auto* box = cell->markControl()) {
                EXPECT_LE(box->frame().maxX(), icon.minX());
                EXPECT_NEAR(box->frame().midY(), icon.midY(), 1);
            }
        }
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }
    int rowOf(const std::string& name)
    {
        auto all = names(*controller);
        return int(std::find(all.begin(), all.end(), name) - all.begin());
    }
    void markTwo()
    {
        driver.tapBarItem(*controller->navigationItem().rightBarButtonItem());
        advance(0.5);
        auto& table = controller->tableView();
        for (const char* name : { "Beach.jpg", "Projects" }) {
            table.scrollToRow({ 0, rowOf(name) }, ui::TableView::ScrollPosition::None, false);
            table.layoutIfNeeded();
            driver.tapRow(table, { 0, rowOf(name) });
        }
        table.setContentOffset({ 0, 0 });
        advance(0.5);
    }
};

TEST_F(FolderRowsScreensTest, GoldensOfTheListAndMarking)
{
    showWork(test::phoneScreen, ui::Orientation::Portrait);
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-rows-phone-portrait"));
    markTwo();
    picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-rows-editing-phone-portrait"));

    showWork(test::tabletScreen, ui::Orientation::LandscapeLeft);
    picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-rows-tablet-landscape"));
}

TEST_F(FolderRowsScreensTest, ListMarkingAndSwipeAtPhoneAndTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            bool upright = orientation == ui::Orientation::Portrait;
            std::string suffix = fmt::format("{}-{}", device->name, upright ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);
            showWork(*device, orientation);
            expectTidyRows();
            shoot("rows-list-" + suffix);

            markTwo();
            EXPECT_EQ(controller->editing().markedResources().size(), 2u);
            expectTidyRows();
            shoot("rows-editing-" + suffix);
            driver.tapBarItem(*controller->navigationItem().rightBarButtonItem());
            advance(0.5);

            auto& table = controller->tableView();
            table.scrollToRow({ 0, rowOf("Manual.pdf") }, ui::TableView::ScrollPosition::None, false);
            table.layoutIfNeeded();
            driver.swipeRow(table, { 0, rowOf("Manual.pdf") });
            advance(0.5);
            auto* cell = table.cellForRow({ 0, rowOf("Manual.pdf") });
            ASSERT_TRUE(cell && cell->showingDeleteConfirmation());
            EXPECT_GE(cell->deleteConfirmationButton()->frame().height(), 30);
            expectTidyRows();
            shoot("rows-swipe-" + suffix);
            cell->hideDeleteConfirmation();
            controller->setEditing(false, false);

            if (!upright) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

TEST_F(FolderRowsScreensTest, SearchResultsOperationAndGuestAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    makeDocument("Letters/Work plan.txt");
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
    runLoop();
    showWork(test::phoneScreen, ui::Orientation::Portrait);

    controller->beginSearch();
    runLoop();
    controller->searchBar()->setSelectedScopeButtonIndex(1);
    driver.type("plan");
    advance(0.5);
    auto& results = controller->activeTableView();
    results.layoutIfNeeded();
    ASSERT_EQ(results.numberOfRows(0), 2);
    std::vector<std::string> parents;
    for (auto* visible : results.visibleCells())
        if (auto* cell = dynamic_cast<VKFileResourceCell*>(visible); cell && cell->parentLabel())
            parents.push_back(cell->parentLabel()->text());
    std::sort(parents.begin(), parents.end());
    EXPECT_EQ(parents, (std::vector<std::string> { "Documents/Letters", "Documents/Work/Projects" }));
    expectTidyRows();
    shoot("rows-search-local-files-phone-portrait");
    controller->searchDisplayController()->setActive(false);
    advance(1);

    VKBrowserOperation::startOperationWithLabel("Copying 2 Items", false);
    VKBrowserOperation::setOperationProgress(0.6f);
    advance(0.5);
    shoot("rows-operation-phone-portrait");
    VKBrowserOperation::endOperation();
    advance(0.5);

    delegate->setGuestModeForTesting(true);
    show(documents("Work"));
    advance(1);
    EXPECT_EQ(controller->toolbarItems().size(), 5u);
    shoot("rows-guest-phone-portrait");
}

} // namespace
