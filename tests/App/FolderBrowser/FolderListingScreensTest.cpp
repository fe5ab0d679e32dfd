// The folder list as a person sees it, at phone and tablet size in both
// orientations with real text: 60 items beside the letter strip, a
// "Local Files" search under way, and a cloud folder's bar. The pictures go
// to build/screens/folder_browser/ ("listing-…"); two goldens guard the
// search on the phone and the list on the turned tablet (the rows are plain
// cells with the name until the folder screen's cells arrive).

#include "FolderListingTestCase.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderCountWatch.h"
#include "App/FolderBrowser/VKFolderEditing.h"
#include "App/FolderBrowser/VKFolderTableSide.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/FileModel/FakeCloudFileResource.h"
#include "Support/Command.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char* const listingWords[] = { "Apricot", "Bridge", "canyon", "Delta", "Échelle", "forest", "Garden", "harbor",
    "Island", "Jungle", "kettle", "Lantern", "Meadow", "Nectar", "orchard", "Pebble", "Quarry", "Report", "Summit",
    "Timber" };
const char* const extensions[] = { "pdf", "txt", "jpg" };

class FolderListingScreensTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        for (int i = 0; i < 60; ++i)
            makeDocument(fmt::format("Sixty/{} {}.{}", listingWords[i % 20], i / 20 + 1, extensions[i % 3]));
        makeDocument("Sixty/2024 Taxes/");
        // The rows show dates: fixed ones keep the pictures from following the clock.
        for (const auto& name : core::fs::contentsOfDirectory(documents("Sixty")).value_or(std::vector<std::string> {})) {
            struct timespec times[2] = { { 1552559400, 0 }, { 1552559400, 0 } };
            ::utimensat(AT_FDCWD, documents("Sixty/" + name).c_str(), times, 0);
        }
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
        runLoop();
    }
    void showOn(const test::DeviceScreen& device, const std::string& path)
    {
        test::useDeviceScreen(window(), device);
        show(path);
        advance(1);
    }
    // The field, the Cancel button and the scopes side by side, none over
    // another, and 44 points tall or more to touch.
    void expectTidyBar(VKFolderSearchBar& bar)
    {
        bar.layoutIfNeeded();
        gfx::Rect field = bar.textField().frame();
        EXPECT_GE(field.x(), 0);
        if (bar.showsCancelButton()) {
            EXPECT_LE(field.maxX(), bar.cancelButton().frame().minX());
            EXPECT_LE(bar.cancelButton().frame().maxX(), bar.bounds().width());
        }
        if (bar.showsScopeBar()) {
            EXPECT_GE(bar.scopeBar()->frame().minY(), field.maxY());
            EXPECT_LE(bar.scopeBar()->frame().maxY(), bar.bounds().height());
        }
        EXPECT_GE(bar.bounds().height(), 44);
    }
    // The strip stands right of the rows' text.
    void expectStripClearOfText()
    {
        auto* strip = controller->letterStrip().view();
        ASSERT_TRUE(strip);
        EXPECT_FALSE(strip->isHidden());
        auto& table = controller->tableView();
        for (auto* cell : table.visibleCells()) {
            gfx::Rect text = cell->textLabel().convertRect(cell->textLabel().bounds(), &table);
            float textEnd = text.x() + cell->textLabel().sizeThatFits({}).width;
            EXPECT_LE(textEnd, strip->frame().minX()) << cell->textLabel().text();
        }
    }
};

TEST_F(FolderListingScreensTest, ListSearchAndCloudBarWithRealText)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    std::string directory = sourcePath("build/screens/folder_browser");
    for (auto& device : { test::phoneScreen, test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            std::string suffix = fmt::format("{}-{}", device.name,
                orientation == ui::Orientation::Portrait ? "portrait" : "landscape");
            auto shoot = [&](const std::string& name) {
                test::saveScreen(driver, directory, "listing-" + name + "-" + suffix, device.scale);
            };
            showOn(device, documents("Sixty"));
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
                advance(1);
            }
            EXPECT_EQ(controller->listing().count(), 61u);
            controller->tableView().setContentOffset({ 0, 44 });
            advance(1);
            expectStripClearOfText();
            shoot("list");

            controller->beginSearch();
            runLoop();
            driver.tapSegment(*controller->searchBar()->scopeBar(), 1);
            driver.type("re");
            advance(0.5);
            expectTidyBar(*controller->searchBar());
            EXPECT_TRUE(controller->letterStrip().view()->isHidden());
            shoot("search-local-files");
            driver.tap(controller->searchBar()->cancelButton());
            advance(1);

            showOn(device, documents());
            auto cloud = VKFolderController::folderControllerWithResource(
                test::FakeCloudFileResource::create(documents("Sixty"), "/Sixty"), delegate);
            navigation->pushViewController(cloud, false);
            advance(1);
            expectTidyBar(*cloud->searchBar());
            shoot("cloud-folder");
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

TEST_F(FolderListingScreensTest, AFolderThatCannotBeReadSaysSoAndIsReadAgain)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    const std::string locked = documents("Sixty/2024 Taxes");
    makeDocument("Sixty/2024 Taxes/return.pdf");
    int refusal = EACCES;
    core::FileTestHooks::setListFolderHook([&](const std::string& path) { return path == locked ? refusal : 0; });
    auto rowText = [&](const std::string& name) {
        auto& table = controller->tableView();
        table.layoutIfNeeded();
        auto row = controller->listing().indexOf(documents("Sixty/" + name));
        auto* cell = row ? dynamic_cast<VKFileResourceCell*>(table.cellForRow({ 0, int(*row) })) : nullptr;
        return cell ? cell->sizeLabel().text() : "<no row>";
    };
    std::shared_ptr<VKFolderController> screen;
    for (auto& device : { test::phoneScreen, test::tabletScreen }) {
        showOn(device, documents("Sixty"));
        // Its row in the folder above: not "0 items".
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] {
            runLoop();
            return VKFolderCountWatch::countsInFlightForTesting() == 0 && rowText("2024 Taxes") == "Cannot be read";
        }, 5)) << rowText("2024 Taxes");
        screen = push(locked);
        advance(1);
        EXPECT_EQ(screen->listing().count(), 0u);
        EXPECT_EQ(screen->folderInfo(), "Cannot Be Read");
        ASSERT_TRUE(screen->unreadableNote());
        EXPECT_EQ(screen->unreadableNote()->text(), "This folder cannot be read\nPermission denied");
        EXPECT_EQ(screen->tableView().tableFooterView().get(), screen->unreadableNote());
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), "listing-unreadable-" + device.name,
            device.scale);
    }

    // Shown again, it is read again: the reason of the moment; changed,
    // its rows.
    refusal = EMFILE;
    push(documents());
    advance(1);
    navigation->popViewController(false);
    advance(1);
    ASSERT_TRUE(screen->unreadableNote());
    EXPECT_EQ(screen->unreadableNote()->text(), "This folder cannot be read\nToo many open files");
    refusal = 0;
    screen->listing().folderDidChange(false);
    EXPECT_EQ(names(*screen), (std::vector<std::string> { "return.pdf" }));
    EXPECT_EQ(screen->folderInfo(), "1 Item, 0 KB");
    EXPECT_FALSE(screen->unreadableNote());
    EXPECT_FALSE(screen->tableView().tableFooterView());

    // A read that fails after rows were listed does not keep them as if
    // nothing happened, nor call the folder empty.
    refusal = EMFILE;
    screen->listing().folderDidChange(false);
    EXPECT_EQ(screen->listing().count(), 0u);
    EXPECT_EQ(screen->folderInfo(), "Cannot Be Read");
    ASSERT_TRUE(screen->unreadableNote());
}

TEST_F(FolderListingScreensTest, AFolderGoneFromOutsideClosesBackToOneThatExists)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    makeDocument("Sixty/2024 Taxes/Receipts/march.pdf");
    makeDocument("Sixty/2024 Taxes/return.pdf");
    makeDocument("Sixty/Notes/read.txt", "kept");
    makeDocument("Sixty/Drafts/");
    auto tapRowNamed = [&](const std::string& name) {
        auto* top = dynamic_cast<VKFolderController*>(navigation->topViewController());
        ASSERT_TRUE(top);
        auto row = top->listing().indexOf(top->folderPath() + "/" + name);
        ASSERT_TRUE(row) << name;
        driver.scrollToRow(top->tableView(), { 0, int(*row) });
        driver.tapRow(top->tableView(), { 0, int(*row) });
        advance(1);
    };
    auto shell = [](const std::string& line) { EXPECT_EQ(test::runCommand({ "sh", "-c", line }).status, 0) << line; };
    // The watch's news come on the loop in real time; the pop runs on the
    // test's clock.
    auto closedBackTo = [&](ui::ViewController* screen) {
        return core::RunLoop::main().runUntil([&] {
            advance(0.5);
            return navigation->topViewController() == screen && !navigation->isTransitioning();
        }, 5);
    };

    // Two levels down with a row marked, the folder above both is removed
    // as a shell's rm -rf does: back to the folder that holds it, which no
    // longer lists it, and nothing else is touched.
    showOn(test::phoneScreen, documents("Sixty"));
    tapRowNamed("2024 Taxes");
    tapRowNamed("Receipts");
    auto receipts = std::dynamic_pointer_cast<VKFolderController>(navigation->viewControllers().back());
    ASSERT_TRUE(receipts);
    receipts->setEditing(true, false);
    receipts->tableSide().didMarkCell(receipts->tableView(), { 0, 0 });
    ASSERT_EQ(receipts->editing().markedResources().size(), 1u);
    shell("rm -rf '" + documents("Sixty/2024 Taxes") + "'");
    ASSERT_TRUE(closedBackTo(controller.get())) << navigation->topViewController()->description();
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    EXPECT_FALSE(receipts->isEditing());
    EXPECT_FALSE(controller->listing().indexOf(documents("Sixty/2024 Taxes")));
    EXPECT_EQ(controller->listing().count(), 62u);
    test::saveScreen(driver, sourcePath("build/screens/folder_browser"), "listing-folder-gone-phone", test::phoneScreen.scale);

    // A viewer open from a folder renamed from a shell closes with it; the
    // folder shows under its new name, its file whole.
    showOn(test::tabletScreen, documents("Sixty"));
    tapRowNamed("Notes");
    tapRowNamed("read.txt");
    ASSERT_EQ(navigation->viewControllers().size(), 3u);
    shell("mv '" + documents("Sixty/Notes") + "' '" + documents("Sixty/Old Notes") + "'");
    ASSERT_TRUE(closedBackTo(controller.get())) << navigation->topViewController()->description();
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] {
        advance(1);
        return controller->listing().indexOf(documents("Sixty/Old Notes")).has_value();
    }, 5));
    EXPECT_TRUE(core::fs::exists(documents("Sixty/Old Notes/read.txt")));
    test::saveScreen(driver, sourcePath("build/screens/folder_browser"), "listing-folder-gone-tablet",
        test::tabletScreen.scale);

    // A folder moved away and made again where it was stays, and is
    // followed anew: a file made in it then shows.
    tapRowNamed("Drafts");
    auto drafts = navigation->viewControllers().back();
    shell("mv '" + documents("Sixty/Drafts") + "' '" + documents("Sixty/Drafts 1") + "' && mkdir '"
        + documents("Sixty/Drafts") + "'");
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] {
        advance(0.5);
        return static_cast<VKFolderController&>(*drafts).listing().isWatchingFolder();
    }, 5));
    makeDocument("Sixty/Drafts/new.txt");
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] {
        advance(0.5);
        return names(static_cast<VKFolderController&>(*drafts)) == std::vector<std::string> { "new.txt" };
    }, 5));
    EXPECT_EQ(navigation->topViewController(), drafts.get());
}

TEST_F(FolderListingScreensTest, Goldens)
{
    showOn(test::phoneScreen, documents("Sixty"));
    controller->beginSearch();
    runLoop();
    driver.tapSegment(*controller->searchBar()->scopeBar(), 1);
    driver.type("re");
    advance(0.5);
    auto search = ui::Renderer::renderImage(*window().rootViewController()->view());
    ASSERT_TRUE(search);
    EXPECT_TRUE(test::matchesGolden(*search, sourcePath(""), "folder-listing-search-phone"));
    driver.tap(controller->searchBar()->cancelButton());
    advance(1);

    showOn(test::tabletScreen, documents("Sixty"));
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    controller->tableView().setContentOffset({ 0, 44 });
    advance(1);
    auto list = ui::Renderer::renderImage(*window().rootViewController()->view());
    ASSERT_TRUE(list);
    EXPECT_TRUE(test::matchesGolden(*list, sourcePath(""), "folder-listing-list-tablet-landscape"));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

} // namespace
