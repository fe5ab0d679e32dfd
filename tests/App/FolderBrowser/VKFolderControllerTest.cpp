// The folder list's model on a shown screen: rows, orders, the strip's
// labels and jumps, the summary, the browser's edits, and the changes it
// follows (WebDAV clients, the browser, the quota tree, the settings and
// downloads), end to end through the real server with curl.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "App/Viewers/VKViewController.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "WebDAV/WebDAVResponse.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Support/ChildProcess.h"
#include "Support/FakeFolderBrowserServices.h"
#include "Support/UIScreens.h"
#include "Support/FileModel/RecordingDownloadHooks.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

namespace {

using test::FakeDownload;
using Strings = std::vector<std::string>;

class VKFolderControllerTest : public test::FolderListingTestCase {
protected:
    // Names of the rows shown by the table itself.
    Strings tableNames()
    {
        Strings shown;
        auto& table = controller->tableView();
        for (int row = 0; row < table.numberOfRows(0); ++row)
            shown.push_back(controller->resourceAtIndexPath({ 0, row })->name());
        return shown;
    }
};

TEST_F(VKFolderControllerTest, RowsAreTheChildrenAndDownloadsWithoutHiddenNames)
{
    auto downloads = test::RecordingDownloadHooks::install();
    makeDocument("Letters/b.txt");
    makeDocument("Letters/a.txt");
    makeDocument("Letters/.profile");
    makeDocument("Letters/Sub/");
    downloads->addDownload(documents("Letters"), FakeDownload::create(documents("Letters/movie.mp4")));
    show(documents("Letters"));

    EXPECT_EQ(controller->title(), "Letters");
    EXPECT_EQ(names(*controller), (Strings { "a.txt", "b.txt", "movie.mp4", "Sub" }));
    EXPECT_EQ(tableNames(), names(*controller));
    EXPECT_TRUE(controller->resourceAtIndexPath({ 0, 2 })->isDownloadResource());
    EXPECT_EQ(controller->resourceAtIndexPath({ 0, 4 }), nullptr);
    EXPECT_EQ(controller->resourceAtIndexPath({ 1, 0 }), nullptr);
    EXPECT_EQ(controller->indexPathOfResource(*resource(documents("Letters/b.txt"))), (ui::IndexPath { 0, 1 }));
    EXPECT_EQ(controller->indexPathOfResource(*resource(documents("Letters/.profile"))), std::nullopt);
    EXPECT_EQ(controller->tableView().numberOfSections(), controller->tableSectionForResources() + 1);

    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    runLoop();
    EXPECT_EQ(names(*controller), (Strings { ".profile", "a.txt", "b.txt", "movie.mp4", "Sub" }));
    EXPECT_EQ(tableNames(), names(*controller));

    // The roots answer their translated names; a folder deleted while shown
    // lists nothing and says that it cannot be read.
    EXPECT_EQ(VKFolderController::create(resource(documents()))->title(), "Documents");
    VKDownloadHooks::setCurrent(nullptr);
    ASSERT_TRUE(core::fs::removeItem(documents("Letters")));
    postBrowserUpdate(documents("Letters"));
    EXPECT_TRUE(names(*controller).empty());
    EXPECT_EQ(controller->folderInfo(), "Cannot Be Read");
}

TEST_F(VKFolderControllerTest, SortOrdersWithTheirTies)
{
    for (auto name : { "file 2", "File 10", "file 1", "b.pdf", "c.pdf", "a.txt", "Report.pdf", "report.pdf" })
        makeDocument(fmt::format("Sorted/{}", name));
    makeDocument("Sorted/zeta/");
    makeDocument("Sorted/Essay.pages/index.xml");
    show(documents("Sorted"));

    EXPECT_EQ(names(*controller), (Strings { "a.txt", "b.pdf", "c.pdf", "Essay.pages", "file 1", "file 2", "File 10",
                                      "report.pdf", "Report.pdf", "zeta" }));
    // Equal under collation but for case: always the same order.
    for (int i = 0; i < 3; ++i) {
        controller->listing().rebuild(true);
        EXPECT_EQ(names(*controller)[7], "report.pdf");
    }
    setSortOrder(1);
    EXPECT_EQ(names(*controller).front(), "zeta");
    EXPECT_EQ(names(*controller)[4], "Essay.pages") << "packages count as files";
    setSortOrder(2);
    EXPECT_EQ(names(*controller), (Strings { "zeta", "file 1", "file 2", "File 10", "Essay.pages", "b.pdf", "c.pdf",
                                      "report.pdf", "Report.pdf", "a.txt" }));

    // Size, largest first; equal sizes by name.
    ASSERT_TRUE(core::fs::writeFileAtomically(documents("Sorted/c.pdf"), std::string(9000, 'c')));
    ASSERT_TRUE(core::fs::writeFileAtomically(documents("Sorted/file 2"), std::string(8000, 'f')));
    setSortOrder(3);
    controller->listing().rebuild(true);
    auto bySize = names(*controller);
    EXPECT_EQ(Strings(bySize.begin(), bySize.begin() + 2), (Strings { "c.pdf", "file 2" }));

    // Modification date, newest first.
    core::fs::setModificationTime(documents("Sorted/a.txt"), int64_t(4'000'000'000) * 1'000'000'000);
    setSortOrder(4);
    controller->listing().rebuild(true);
    EXPECT_EQ(names(*controller).front(), "a.txt");

    // Unknown orders are logged and read as 0, however they are written.
    for (core::Value order : { core::Value(7), core::Value(-1), core::Value(int64_t(1) << 40) }) {
        core::UserDefaults::standard()->set("VKFileSortOrder", order);
        runLoop();
        EXPECT_EQ(names(*controller).front(), "a.txt");
        EXPECT_EQ(controller->listing().sorting().order(), 0);
    }
    EXPECT_TRUE(logContains("Warning, unknown VKFileSortOrder: 7"));
    EXPECT_TRUE(logContains("Warning, unknown VKFileSortOrder: -1"));
    EXPECT_TRUE(logContains("Warning, unknown VKFileSortOrder: 1099511627776"));
    core::UserDefaults::standard()->set("VKFileSortOrder", core::Value("2"));
    runLoop();
    EXPECT_EQ(controller->listing().sorting().order(), 2);
}

TEST_F(VKFolderControllerTest, InterfaceLanguageChosenInTheSettingsPicksTheStrip)
{
    core::UserDefaults::standard()->set("AppleLanguages", core::Value(core::Value::Array { core::Value("ru") }));
    core::setCurrentLanguage("");
    makeDocument("Cyrillic/Юг.txt");
    show(documents("Cyrillic"));
    ASSERT_TRUE(controller->letterStrip().view());
    EXPECT_EQ(controller->letterStrip().view()->labelSections().size(), 3u);
    EXPECT_EQ(controller->letterStrip().view()->labelSections()[2].front(), "А");
    core::setCurrentLanguage("en");
}

TEST_F(VKFolderControllerTest, JumpsToLetters)
{
    for (int i = 0; i < 12; ++i) {
        makeDocument(fmt::format("Jump/P{:02}.txt", i));
        makeDocument(fmt::format("Jump/r{:02}.pdf", i));
    }
    show(documents("Jump"));
    auto& table = controller->tableView();
    float header = table.tableHeaderView()->frame().height();
    float lowest = table.contentSize().height - table.frame().height();

    controller->letterStrip().jump(controller->tableView(), "Q");
    EXPECT_EQ(table.contentOffset().y, header + 11 * 68) << "the last P row";
    controller->letterStrip().jump(controller->tableView(), "#");
    EXPECT_EQ(table.contentOffset().y, 0);
    controller->letterStrip().jump(controller->tableView(), "P");
    EXPECT_EQ(table.contentOffset().y, header);
    // The last letter, limited to what the table can scroll.
    controller->letterStrip().jump(controller->tableView(), "Z");
    EXPECT_EQ(table.contentOffset().y, std::min(header + 12 * 68, lowest));
    controller->letterStrip().jump(controller->tableView(), "A");
    EXPECT_EQ(table.contentOffset().y, 0) << "the row before the first";

    // By kind, the extension's letter; folders take no part.
    makeDocument("Jump/Aside/");
    postBrowserUpdate(documents("Jump"));
    setSortOrder(2);
    controller->letterStrip().jump(controller->tableView(), "P");
    EXPECT_EQ(table.contentOffset().y, header + 68) << "the first .pdf, after the folder";
    controller->letterStrip().jump(controller->tableView(), "T");
    EXPECT_EQ(table.contentOffset().y, std::min(header + 13 * 68, lowest + 68));
}

TEST_F(VKFolderControllerTest, StripShowsInNameAndKindOrdersAtTheRightEdge)
{
    makeDocument("Strip/a.txt");
    show(documents("Strip"));
    auto* strip = controller->letterStrip().view();
    ASSERT_TRUE(strip);
    auto& table = controller->tableView();
    EXPECT_FALSE(strip->isHidden());
    EXPECT_EQ(strip->superview(), &table);
    EXPECT_EQ(strip->frame().x(), table.bounds().width() - 28 - 2);
    EXPECT_EQ(strip->frame().y(), table.bounds().y() + 2);
    EXPECT_EQ(strip->frame().height(), table.bounds().height() - 4);
    setSortOrder(3);
    EXPECT_TRUE(strip->isHidden());
    setSortOrder(2);
    EXPECT_FALSE(strip->isHidden());
    controller->setEditing(true, false);
    controller->setIndexViewHidden(true, false);
    controller->setIndexViewHidden(false, false);
    EXPECT_TRUE(strip->isHidden()) << "hidden while editing";
    controller->setEditing(false, false);
    controller->setIndexViewHidden(false, false);
    EXPECT_FALSE(strip->isHidden());

    // An empty folder: a white list with no strip over it (the window's grey
    // must not show through); rows back, the strip is back.
    EXPECT_EQ(table.backgroundColor(), ui::StandardColors::white());
    ASSERT_TRUE(core::fs::removeItem(documents("Strip/a.txt")));
    controller->listing().folderDidChange(false);
    EXPECT_TRUE(strip->isHidden());
    makeDocument("Strip/b.txt");
    controller->listing().folderDidChange(false);
    EXPECT_FALSE(strip->isHidden());
}

TEST_F(VKFolderControllerTest, Summaries)
{
    makeDocument("Sum/a.txt", std::string(2048, 'a'));
    makeDocument("Sum/b.txt", std::string(2048, 'b'));
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents("Sum"));
    show(documents("Sum"));
    EXPECT_EQ(controller->folderInfo(), "2 Items, 4 KB");
    // The toolbar's label shows it.
    controller->barItems().folderInfoItem();
    controller->updateFolderInfo();
    ASSERT_TRUE(controller->folderInfoLabel());
    EXPECT_EQ(controller->folderInfoLabel()->info(), "2 Items, 4 KB");
}

TEST_F(VKFolderControllerTest, ModelEditsUpdateRowsAndTableAtOnceOrWaitForTheCaller)
{
    makeDocument("Edit/b.txt");
    makeDocument("Edit/d.txt");
    show(documents("Edit"));
    size_t reads = controller->listing().directoryReadCount();

    auto c = resource(makeDocument("Edit/c.txt"));
    controller->listing().add(c);
    EXPECT_EQ(tableNames(), (Strings { "b.txt", "c.txt", "d.txt" }));
    auto a = resource(makeDocument("Edit/a.txt"));
    controller->listing().replace(c, a);
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "b.txt", "d.txt" }));
    controller->listing().remove(resource(documents("Edit/b.txt")));
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "d.txt" }));
    EXPECT_EQ(controller->listing().directoryReadCount(), reads) << "edits never read the folder";

    controller->listing().beginUpdates();
    controller->listing().add(resource(makeDocument("Edit/e.txt")));
    controller->listing().remove(a);
    EXPECT_EQ(controller->tableView().numberOfRows(0), 2) << "the table is the caller's";
    controller->listing().endUpdates();
    controller->updateModelAndView();
    EXPECT_EQ(tableNames(), (Strings { "d.txt", "e.txt" }));
    EXPECT_EQ(controller->listing().directoryReadCount(), reads);
}

TEST_F(VKFolderControllerTest, WebDAVBurstsCollapseBrowserChangesShowAtOnce)
{
    makeDocument("Live/a.txt");
    show(documents("Live"));
    size_t reads = controller->listing().directoryReadCount();

    for (int i = 0; i < 5; ++i) {
        makeDocument(fmt::format("Live/upload{}.txt", i));
        postWebDAVUpdate(documents("Live/"));
        advance(0.1);
    }
    EXPECT_EQ(controller->listing().directoryReadCount(), reads);
    advance(0.29);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads);
    advance(0.02);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    EXPECT_EQ(tableNames().size(), 6u);
    advance(1);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);

    // The browser's own change shows at once; the one this screen posted
    // is its own doing.
    makeDocument("Live/b.txt");
    postBrowserUpdate(documents("Live"), controller);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    postBrowserUpdate(documents("Live"));
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 2);
    EXPECT_EQ(tableNames().size(), 7u);

    // A child's change reloads the table only; a notice without a path is
    // ignored.
    postBrowserUpdate(documents("Live/b.txt"));
    core::NotificationCenter::defaultCenter().post(WebDAVCollectionDidUpdateNotification, nullptr, {});
    advance(1);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 2);
    makeDocument("Live/c.txt");
    postBrowserUpdate(documents("Live"));
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 3);
    EXPECT_EQ(tableNames().size(), 8u);
}

TEST_F(VKFolderControllerTest, OtherProgramsChangesShowAndBurstsCostOneRead)
{
    makeDocument("Outside/a.txt");
    makeDocument("Outside/keep.txt");
    show(documents("Outside"));
    size_t reads = controller->listing().directoryReadCount();

    makeDocument("Outside/b.txt");
    advance(0.39);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads);
    advance(0.02);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "b.txt", "keep.txt" }));

    // Ten thousand files come and go while a.txt is marked and renamed.
    markNames({ "a.txt", "keep.txt" });
    for (int i = 0; i < 10000; ++i)
        makeDocument(fmt::format("Outside/n{:05}.txt", i));
    ASSERT_TRUE(core::fs::moveItem(documents("Outside/a.txt"), documents("Outside/z.txt")));
    advance(1);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 2);
    EXPECT_EQ(controller->listing().count(), 10003u);
    for (int i = 0; i < 10000; ++i)
        ASSERT_TRUE(core::fs::removeItem(documents(fmt::format("Outside/n{:05}.txt", i))));
    advance(1);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 3);
    EXPECT_EQ(tableNames(), (Strings { "b.txt", "keep.txt", "z.txt" }));
    auto marked = controller->editing().markedResources();
    ASSERT_EQ(marked.size(), 1u) << "no mark on a row that went";
    EXPECT_EQ(marked.front()->name(), "keep.txt");
    controller->setEditing(false, false);

    // A steady stream shows within a second; the browser's own read takes
    // the news it saw, so nothing is read twice.
    for (int i = 0; i < 10; ++i) {
        makeDocument(fmt::format("Outside/s{}.txt", i));
        advance(0.2);
    }
    EXPECT_GE(controller->listing().directoryReadCount(), reads + 4);
    advance(1);
    reads = controller->listing().directoryReadCount();
    makeDocument("Outside/c.txt");
    postBrowserUpdate(documents("Outside"));
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    advance(1);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
}

TEST_F(VKFolderControllerTest, AChangeIsReadOnceWhicheverSourceTellsFirst)
{
    makeDocument("Once/a.txt");
    show(documents("Once"));
    size_t reads = controller->listing().directoryReadCount();

    // The watcher heard it first (a long copy, say): the app's and the
    // server's news at its end are no second change.
    makeDocument("Once/b.txt");
    advance(0.5);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    postBrowserUpdate(documents("Once"));
    postWebDAVUpdate(documents("Once"));
    advance(1);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    // News that came with nothing changed on disk read nothing either.
    postBrowserUpdate(documents("Once"));
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "b.txt" }));
}

TEST_F(VKFolderControllerTest, HiddenScreensWaitUntilShown)
{
    makeDocument("Outer/Inner/x.txt");
    makeDocument("Outer/b.txt");
    show(documents("Outer"));
    auto inner = push(documents("Outer/Inner"));
    size_t reads = controller->listing().directoryReadCount();

    makeDocument("Outer/a.txt");
    postBrowserUpdate(documents("Outer"));
    setSortOrder(2);
    core::UserDefaults::standard()->set("VKShowHiddenFiles", core::Value(true));
    runLoop();
    EXPECT_EQ(controller->listing().directoryReadCount(), reads) << "not shown: nothing read";
    EXPECT_EQ(inner->listing().directoryReadCount(), 2u) << "the shown one rebuilt for the hidden files";

    navigation->popViewController(false);
    runLoop();
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
    EXPECT_EQ(tableNames(), (Strings { "Inner", "a.txt", "b.txt" }));
}

TEST_F(VKFolderControllerTest, QuotaAndExtensionSettingsFollow)
{
    makeDocument("Quota/a.txt", "12");
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents("Quota"));
    show(documents("Quota"));
    size_t reads = controller->listing().directoryReadCount();
    ASSERT_TRUE(core::fs::writeFileAtomically(documents("Quota/a.txt"), std::string(4096, 'q')));
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents("Quota"));
    runLoop();
    EXPECT_EQ(controller->folderInfo(), "1 Item, 4 KB");
    EXPECT_EQ(controller->listing().directoryReadCount(), reads);

    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(false));
    runLoop();
    EXPECT_EQ(controller->listing().directoryReadCount(), reads);
}

TEST_F(VKFolderControllerTest, TheServicesHandedInGoToTheScreensAndViewersItOpens)
{
    makeDocument("Letters/Sub/");
    makeDocument("Letters/a.pdf");
    auto browser = std::make_shared<test::FakeFolderBrowserServices>();
    browser->orientationLocked = true;
    controller = VKFolderController::folderControllerWithResource(resource(documents("Letters")), browser);
    navigation = VKNavigationController::create(controller);
    browser->navigation = navigation.get();
    window().setRootViewController(navigation);
    runLoop();
    EXPECT_FALSE(browser->orientationLocked) << "a folder screen turns with the device";
    for (const char* action : { VKFolderControllerBase::ShowServerInfoAction, VKFolderControllerBase::ShowSettingsAction })
        driver.tap(*controller->findBarButtonItemWithAction(action)->customView());
    ASSERT_TRUE(controller->navigationItem().leftBarButtonItem());
    driver.tap(*controller->navigationItem().leftBarButtonItem()->customView());
    EXPECT_EQ(browser->shown, (Strings { "server info", "settings", "help" }));

    controller->openResource(resource(documents("Letters/Sub")));
    advance(1);
    auto sub = std::dynamic_pointer_cast<VKFolderController>(navigation->viewControllers().back());
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->services(), browser);
    sub->openResource(resource(documents("Letters/a.pdf")));
    advance(1);
    auto viewer = std::dynamic_pointer_cast<VKViewController>(navigation->viewControllers().back());
    ASSERT_TRUE(viewer);
    viewer->toggleOrientationLock(nullptr);
    EXPECT_TRUE(browser->orientationLocked);
}

TEST_F(VKFolderControllerTest, SettingsChangedBehindTheTabletsSettingsSheetShowWhenItCloses)
{
    test::useDeviceScreen(window(), test::tabletScreen);
    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(true));
    makeDocument("Set/b.txt", "333");
    makeDocument("Set/a.txt", "1");
    show(documents("Set"));
    auto cellTitle = [&](int row) {
        return dynamic_cast<VKFileResourceCell&>(*controller->tableView().cellForRow({ 0, row })).titleLabel().text();
    };
    EXPECT_EQ(cellTitle(0), "a.txt");

    auto sheet = ui::ViewController::create();
    sheet->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    navigation->presentModalViewController(sheet, false);
    runLoop();
    setSortOrder(3);
    core::UserDefaults::standard()->set("VKDisplayFileExtensions", core::Value(false));
    runLoop();
    navigation->dismissModalViewController(false);
    runLoop();
    controller->tableView().layoutIfNeeded();
    EXPECT_EQ(tableNames(), (Strings { "b.txt", "a.txt" }));
    EXPECT_EQ(cellTitle(0), "b");
}

TEST_F(VKFolderControllerTest, DownloadsIntoTheFolder)
{
    auto downloads = test::RecordingDownloadHooks::install();
    makeDocument("Web/a.txt");
    makeDocument("Other/");
    show(documents("Web"));
    auto& center = core::NotificationCenter::defaultCenter();

    auto download = FakeDownload::create(documents("Web/b.zip"));
    downloads->addDownload(documents("Web"), download);
    center.post(VKDownloadManagerDownloadDidStartNotification, download);
    center.post(VKDownloadManagerDownloadDidStartNotification, download);
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "b.zip" }));
    center.post(VKDownloadManagerDownloadDidStartNotification, FakeDownload::create(documents("Other/c.zip")));
    EXPECT_EQ(tableNames().size(), 2u);

    // Failure: the row stays, reloaded.
    center.post(VKDownloadManagerDownloadDidFailNotification, download,
        core::Value(core::Value::Dictionary { { "error", core::Value("timed out") } }));
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "b.zip" }));

    // Finished: the file's own resource in the download's place.
    makeDocument("Web/b.zip");
    center.post(VKDownloadManagerDownloadDidFinishNotification, download);
    ASSERT_EQ(tableNames(), (Strings { "a.txt", "b.zip" }));
    EXPECT_FALSE(controller->resourceAtIndexPath({ 0, 1 })->isDownloadResource());

    // Deleted while another screen shows: listed afresh.
    auto pending = FakeDownload::create(documents("Web/d.iso"));
    downloads->addDownload(documents("Web"), pending);
    push(documents("Other"));
    size_t reads = controller->listing().directoryReadCount();
    center.post(VKDownloadFileResourceDidDeleteDownloadNotification, pending);
    EXPECT_EQ(controller->listing().directoryReadCount(), reads + 1);
}

TEST_F(VKFolderControllerTest, ClientsChangesThroughTheServerWithCurl)
{
    makeDocument("Shared/a.txt");
    show(documents("Shared"));
    std::string url = fmt::format("http://127.0.0.1:{}/Documents/Shared/", server->port());
    std::string body = makeFile("upload.txt", "from a client");

    auto curl = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), { "curl", "-s", "-o", "/dev/null", "-w", "%{http_code}" });
        test::ChildProcess client(std::move(arguments));
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !client.isRunning(); }, 30)) << client.errors();
        return client.output();
    };
    size_t reads = controller->listing().directoryReadCount();
    EXPECT_EQ(curl({ "-T", body, url + "b.txt" }), "201");
    EXPECT_EQ(controller->listing().directoryReadCount(), reads) << "not before 0.4 s";
    advance(0.4);
    EXPECT_EQ(tableNames(), (Strings { "a.txt", "b.txt" }));

    EXPECT_EQ(curl({ "-X", "DELETE", url + "a.txt" }), "204");
    advance(0.4);
    EXPECT_EQ(tableNames(), (Strings { "b.txt" }));
}

} // namespace

namespace {

// The bars' symbols say their names where the pointer rests; a titled item
// shows its name already.
TEST_F(VKFolderControllerTest, BarSymbolsNameThemselvesUnderThePointer)
{
    makeDocument("Docs/a.txt");
    show(documents("Docs"));
    advance(1);
    auto nameUnder = [&](const std::shared_ptr<ui::BarButtonItem>& item) {
        auto view = item ? item->view() : nullptr;
        if (!view || !view->window())
            return std::string("(not shown)");
        gfx::Rect bounds = view->bounds();
        driver.hover(view->convertPoint({ bounds.midX(), bounds.midY() }, nullptr));
        return ui::Application::shared()->pointer().hoveredToolTip();
    };
    EXPECT_EQ(nameUnder(controller->navigationItem().rightBarButtonItem()), "Edit");
    Strings names;
    for (const auto& item : controller->toolbarItems())
        if (auto name = nameUnder(item); !name.empty() && name != "(not shown)")
            names.push_back(name);
    EXPECT_NE(std::find(names.begin(), names.end(), "Search"), names.end()) << fmt::format("{}", fmt::join(names, ","));
    EXPECT_NE(std::find(names.begin(), names.end(), "Downloads"), names.end());
    controller->setEditing(true, false);
    advance(1);
    EXPECT_EQ(nameUnder(controller->navigationItem().rightBarButtonItem()), "") << "Done says so";
    driver.hover(std::nullopt);
}

} // namespace
