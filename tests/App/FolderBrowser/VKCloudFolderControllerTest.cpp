// The cloud folder screen against the fake cloud service: refreshing on
// each appearance, the service's answers, the editing toolbar and menu, and
// the editing commands as cloud operations.

#include "CloudFolderTestCase.h"

#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKFolderNaming.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionButton.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Toolbar.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace test {
namespace {

class VKCloudFolderControllerTest : public CloudFolderTestCase {
protected:
    static constexpr const char* DocsListing = "/0/metadata/dropbox/Docs";

    bool spinning() const { return docs->isShowingCloudActivityIndicator(); }
    // Shows Docs again (its screen appears once more).
    void reappear()
    {
        browser->popViewController(false);
        runLoop();
        browser->pushViewController(docs, false);
        runLoop();
    }
    bool waitForOperationEnd()
    {
        bool ended = waitFor([] { return !VKBrowserOperation::isOperationInProgress(); });
        advance(0.2);
        return ended;
    }
};

TEST_F(VKCloudFolderControllerTest, ACloudFolderListsItsItemsWithFoldersReadingFolder)
{
    openDocs();
    EXPECT_EQ(rowNames(), (std::vector<std::string> { "a.txt", "b.pdf", "empty.txt", "Old", "Sub" }));
    auto& table = docs->tableView();
    for (int item = 0; item < table.numberOfRows(0); ++item) {
        driver.scrollToRow(table, { 0, item });
        auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow({ 0, item }));
        ASSERT_TRUE(cell);
        if (cell->resource()->isDirectory())
            EXPECT_EQ(cell->sizeLabel().text(), "Folder") << cell->resource()->name();
        else
            EXPECT_NE(cell->sizeLabel().text(), "Folder");
    }
    // A destroyed screen hears nothing and leaves nothing behind.
    std::weak_ptr<VKCloudFolderController> gone = docs;
    browser->popViewController(false);
    docs.reset();
    advance(1);
    EXPECT_TRUE(gone.expired());
    core::NotificationCenter::defaultCenter().post(VKCloudServiceMetadataLoadFailedNotification, dropbox(),
        { {}, dropbox()->localPath() + "/Docs", std::nullopt, false });
}

TEST_F(VKCloudFolderControllerTest, EachAppearanceAsksOnceWithTheSpinnerATenthOfASecondLater)
{
    openDocs();
    EXPECT_EQ(requestCount(DocsListing), 1u);
    EXPECT_FALSE(spinning());
    cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "stall": "docs"})");
    reappear();
    ASSERT_TRUE(waitFor([&] { return requestCount(DocsListing) == 2; }));
    // The second asks with the hash of the first answer.
    EXPECT_TRUE(requestsTo(DocsListing).back().parameter("hash").has_value());
    // No second request while one runs, however often the screen shows.
    reappear();
    docs->applicationDidBecomeActive();
    runLoop();
    EXPECT_EQ(requestCount(DocsListing), 2u);
    cloud->release("docs");
    ASSERT_TRUE(waitFor([&] { return !dropbox()->isUpdatingMetadataForResource(
                                  std::dynamic_pointer_cast<VKCloudFileResource>(docs->resource())); }));
    ASSERT_TRUE(waitFor([&] { return !spinning(); }));
    ASSERT_TRUE(docs->navigationItem().rightBarButtonItem()) << "the edit button is back";

    // The spinner's delay, on the clock.
    cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "stall": "again"})");
    docs->updateCloudMetadata();
    advance(0.09);
    EXPECT_FALSE(spinning());
    advance(0.02);
    EXPECT_TRUE(spinning());
    auto* indicator = dynamic_cast<ui::ActivityIndicator*>(docs->navigationItem().rightBarButtonItem()->customView().get());
    ASSERT_TRUE(indicator);
    EXPECT_EQ(indicator->activityIndicatorViewStyle(), ui::ActivityIndicator::Style::White);
    cloud->release("again");
    ASSERT_TRUE(waitFor([&] { return !spinning(); }));

    // Becoming active refreshes only the screen on top, and not while editing.
    const size_t before = requestCount(DocsListing);
    top->applicationDidBecomeActive();
    docs->setEditing(true, false);
    docs->applicationDidBecomeActive();
    advance(0.5);
    EXPECT_EQ(requestCount(DocsListing), before);
}

TEST_F(VKCloudFolderControllerTest, AnswersRebuildTheRowsOrShowSyncFailedForTenSeconds)
{
    openDocs();
    cloudFile("/Docs/new.txt", "new");
    reappear();
    ASSERT_TRUE(waitFor([&] { return row("new.txt") != nullptr; })) << "a file added on the service shows";

    cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "status": 503})");
    reappear();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return docs->folderInfoLabel()->info() == "Sync Failed"; }, 20));
    EXPECT_FALSE(spinning());
    EXPECT_TRUE(docs->navigationItem().rightBarButtonItem());
    advance(9.9);
    EXPECT_EQ(docs->folderInfoLabel()->info(), "Sync Failed");
    advance(0.2);
    EXPECT_EQ(docs->folderInfoLabel()->info(), docs->folderInfo());
    EXPECT_NE(docs->folderInfo(), "Sync Failed");
}

TEST_F(VKCloudFolderControllerTest, AccessDeniedUnlinksWarnsAndReturnsToTheRoot)
{
    openDocs();
    cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "status": 401})");
    reappear();
    ASSERT_TRUE(waitFor([&] { return !driver.shownChoices().empty(); }));
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "Dropbox Access Denied");
    EXPECT_EQ(titles(*alert), (std::vector<std::string> { "OK" }));
    driver.pressAlertButton("OK");
    advance(1);
    EXPECT_FALSE(dropbox()->isLinked());
    // What the program does when a service unlinks (the screens' mirror
    // paths are gone by then).
    delegate->popCloudServiceControllersIfNecessary();
    advance(1);
    ASSERT_EQ(browser->viewControllers().size(), 1u);
    EXPECT_EQ(browser->viewControllers().front(), root);
}

TEST_F(VKCloudFolderControllerTest, TheEditingToolbarHasSyncAndMoreAndNoDownload)
{
    openDocs();
    docs->setEditing(true, false);
    runLoop();
    const auto& items = docs->editingToolbarItems();
    ASSERT_EQ(items.size(), 11u);
    std::vector<std::string> actions;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i % 2 == 0) {
            EXPECT_TRUE(items[i]->isFlexibleSpace()) << i;
            continue;
        }
        auto* button = dynamic_cast<VKActionButton*>(items[i]->customView().get());
        ASSERT_TRUE(button);
        actions.push_back(button->title());
    }
    EXPECT_EQ(actions, (std::vector<std::string> { "Delete", "Move", "Copy", "Sync", "More" }));
    auto enabled = [&](size_t index) { return items[index]->isEnabled(); };
    EXPECT_FALSE(enabled(1));
    EXPECT_FALSE(enabled(3));
    EXPECT_FALSE(enabled(5));
    EXPECT_TRUE(enabled(7)) << "Sync with nothing marked";
    EXPECT_TRUE(enabled(9));
    EXPECT_FALSE(docs->findBarButtonItemWithAction(VKFolderCommands::DownloadMarkedItemsAction));
    mark("b.pdf");
    EXPECT_TRUE(enabled(1));
    EXPECT_TRUE(enabled(3));
    EXPECT_TRUE(enabled(5));
    EXPECT_FALSE(enabled(7));
    EXPECT_TRUE(enabled(9));
    // Made once.
    docs->setEditing(false, false);
    docs->setEditing(true, false);
    EXPECT_EQ(docs->editingToolbarItems()[7], items[7]);
}

TEST_F(VKCloudFolderControllerTest, TheMoreMenuOffersRenameForOneRenamableItemOnly)
{
    openDocs();
    docs->setEditing(true, false);
    runLoop();
    docs->commands().showEditActionMenu(docs->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::EditActionMenu));
    EXPECT_EQ(titles(*sheet), (std::vector<std::string> { "Import Media", "Select All", "Cancel" }));
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);
    driver.pressSheetButton("Select All");
    advance(0.5);
    EXPECT_EQ(docs->editing().markedIndexPathsForTesting(0).size(), 5u);

    docs->unmarkAllItems();
    mark("b.pdf");
    docs->commands().showEditActionMenu(docs->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
    sheet = driver.actionSheet();
    EXPECT_EQ(sheet->title(), "b.pdf");
    EXPECT_EQ(titles(*sheet), (std::vector<std::string> { "Import Media", "Rename", "Select None", "Cancel" }));
    driver.pressSheetButton("Cancel");
    advance(0.5);

    // An upload offers delete only: no rename.
    auto upload = node("b.pdf");
    upload->setUploadState(VKNetworkStatePaused);
    ASSERT_TRUE(VKCloudFileStore::sharedStore()->saveContext());
    docs->commands().showEditActionMenu(docs->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
    sheet = driver.actionSheet();
    EXPECT_EQ(sheet->title(), "");
    EXPECT_EQ(titles(*sheet), (std::vector<std::string> { "Import Media", "Select None", "Cancel" }));
    driver.pressSheetButton("Cancel");
    advance(0.5);
}

TEST_F(VKCloudFolderControllerTest, RenameDeleteAndNewFolderRunAsCloudOperations)
{
    openDocs();
    const size_t before = cloud->requests().size();
    mark("b.pdf");
    docs->commands().naming().renameResource(row("b.pdf"), "c.pdf", true);
    EXPECT_TRUE(VKBrowserOperation::isOperationInProgress());
    EXPECT_FALSE(docs->isEditing());
    ASSERT_TRUE(waitForOperationEnd());
    auto moves = requestsTo("/0/fileops/move");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves.front().parameter("from_path"), "/Docs/b.pdf");
    EXPECT_EQ(moves.front().parameter("to_path"), "/Docs/c.pdf");
    EXPECT_TRUE(row("c.pdf"));
    EXPECT_FALSE(row("b.pdf"));

    mark("c.pdf");
    mark("empty.txt");
    docs->commands().handleAction(VKFolderCommands::EditAction::DeleteNoConfirmation, core::Value());
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Deleting 2 Items");
    ASSERT_TRUE(waitForOperationEnd());
    EXPECT_EQ(requestsTo("/0/fileops/delete").size(), 2u);
    EXPECT_EQ(rowNames(), (std::vector<std::string> { "a.txt", "Old", "Sub" }));
    EXPECT_FALSE(std::filesystem::exists(cloud->localPath("/Docs/empty.txt")));

    docs->commands().naming().tryCreatingNewFolder("Fresh");
    ASSERT_TRUE(waitForOperationEnd());
    auto creates = requestsTo("/0/fileops/create_folder");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates.front().parameter("path"), "/Docs/Fresh");
    EXPECT_TRUE(row("Fresh"));
    EXPECT_TRUE(std::filesystem::is_directory(cloud->localPath("/Docs/Fresh")));
    EXPECT_EQ(cloud->requests().size() - before, 4u + requestsTo(DocsListing).size() - 1);
}

TEST_F(VKCloudFolderControllerTest, ARenamedItemShowsOnceAtItsNewPlace)
{
    openDocs();
    auto shown = [&] {
        std::vector<std::string> names;
        auto& table = docs->tableView();
        for (int item = 0; item < table.numberOfRows(0); ++item) {
            driver.scrollToRow(table, { 0, item });
            auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow({ 0, item }));
            names.push_back(cell ? cell->resource()->name() : "");
        }
        return names;
    };
    for (auto [from, to] : { std::pair { "a.txt", "m.txt" }, std::pair { "m.txt", "0.txt" } }) {
        docs->commands().naming().renameResource(row(from), to, true);
        ASSERT_TRUE(waitForOperationEnd());
        const auto names = rowNames();
        EXPECT_EQ(shown(), names) << to;
        EXPECT_EQ(std::count(names.begin(), names.end(), std::string(to)), 1) << to;
    }
}

TEST_F(VKCloudFolderControllerTest, ASwipeDeleteRemovesLocallyThenOnTheService)
{
    openDocs();
    EXPECT_EQ(docs->moveResourceToTrash(row("b.pdf")), VKViewerFolderHost::TrashMoved);
    ASSERT_TRUE(waitFor([&] { return requestsTo("/0/fileops/delete").size() == 1; }));
    EXPECT_EQ(requestsTo("/0/fileops/delete").front().parameter("path"), "/Docs/b.pdf");
    EXPECT_FALSE(row("b.pdf"));
    ASSERT_TRUE(waitFor([&] { return !std::filesystem::exists(cloud->localPath("/Docs/b.pdf")); }));
}

} // namespace
} // namespace test
