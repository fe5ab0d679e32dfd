// Moving and copying from a cloud folder (inside the service, and out to a
// local folder), and the mirror's saves reaching the table row by row while
// an operation runs.

#include "CloudFolderTestCase.h"

#include "App/FolderBrowser/VKCloudFolderCommands.h"
#include "App/FolderBrowser/VKFolderMoveCopy.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/VKApplication.h"
#include "CloudOperations/VKCloudDownloadOperation.h"
#include "CloudOperations/VKCloudSyncOperation.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKBytesFormatter.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/Command.h"

#include <gtest/gtest.h>

namespace test {
namespace {

class VKCloudFolderControllerTransferTest : public CloudFolderTestCase {
protected:
    bool waitForOperationEnd()
    {
        bool ended = core::RunLoop::main().runUntil([] { return !VKBrowserOperation::isOperationInProgress(); }, 30);
        advance(0.2);
        return ended;
    }
    std::shared_ptr<VKFileResource> localFolder(const std::string& name)
    {
        const std::string path = VKApplication::sharedApplication()->documentsDirectory() + "/" + name;
        std::filesystem::create_directories(path);
        return VKFileResource::resourceWithPath(path);
    }
};

TEST_F(VKCloudFolderControllerTransferTest, InsideTheServiceCopiesAndMovesAreCloudCallsWithoutALocalNameCheck)
{
    openDocs();
    auto sub = dropbox()->resourceForCloudPath("/Docs/Sub");
    ASSERT_TRUE(sub);
    mark("b.pdf");
    docs->commands().moveCopy().copyMarkedItemsToDestination(sub);
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Copying 1 Item");
    ASSERT_TRUE(waitForOperationEnd());
    auto copies = requestsTo("/0/fileops/copy");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies.front().parameter("from_path"), "/Docs/b.pdf");
    EXPECT_EQ(copies.front().parameter("to_path"), "/Docs/Sub/b.pdf");
    EXPECT_TRUE(std::filesystem::exists(cloud->localPath("/Docs/Sub/b.pdf")));

    // The same name again: the service refuses (403), no sheet asks first.
    mark("b.pdf");
    docs->commands().moveCopy().copyMarkedItemsToDestination(sub);
    EXPECT_TRUE(driver.shownChoices().empty()) << "no overwrite sheet";
    ASSERT_TRUE(waitForOperationEnd());
    ASSERT_EQ(requestsTo("/0/fileops/copy").size(), 2u);
    EXPECT_EQ(requestsTo("/0/fileops/copy").back().status, 403);
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->title(), "Warning");
    driver.pressAlertButton("OK");
    advance(0.5);

    // Within Docs a copy takes a new name.
    mark("empty.txt");
    docs->commands().moveCopy().copyMarkedItemsToDestination(docs->resource());
    ASSERT_TRUE(waitForOperationEnd());
    EXPECT_EQ(requestsTo("/0/fileops/copy").back().parameter("to_path"), "/Docs/empty copy.txt");
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return row("empty copy.txt") != nullptr; }, 10));

    mark("a.txt");
    docs->commands().moveCopy().moveMarkedItemsToDestination(sub);
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Moving 1 Item");
    ASSERT_TRUE(waitForOperationEnd());
    auto moves = requestsTo("/0/fileops/move");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves.front().parameter("to_path"), "/Docs/Sub/a.txt");
    EXPECT_FALSE(row("a.txt"));
}

TEST_F(VKCloudFolderControllerTransferTest, CopyingToALocalFolderDownloadsWithProgressAndEqualBytes)
{
    openDocs();
    auto local = localFolder("Local");
    ASSERT_TRUE(local);
    mark("a.txt");
    mark("b.pdf");
    docs->commands().moveCopy().copyMarkedItemsToDestination(local);
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return VKBrowserOperation::operationLabel() == "Copying 2 Items"; }, 20))
        << VKBrowserOperation::operationLabel();
    EXPECT_FALSE(VKBrowserOperation::isOperationIndeterminate());
    EXPECT_FALSE(docs->isEditing());
    ASSERT_TRUE(waitForOperationEnd());
    EXPECT_EQ(sha256(local->path() + "/a.txt"), sha256(cloud->localPath("/Docs/a.txt")));
    EXPECT_EQ(sha256(local->path() + "/b.pdf"), sha256(cloud->localPath("/Docs/b.pdf")));
    EXPECT_TRUE(std::filesystem::exists(cloud->localPath("/Docs/a.txt"))) << "a copy leaves the sources";
}

TEST_F(VKCloudFolderControllerTransferTest, MovingOutAsksFirstThenChecksNamesThenDownloadsAndDeletesTheSources)
{
    openDocs();
    auto local = localFolder("Local");
    std::ofstream(local->path() + "/b.pdf") << "mine";
    mark("b.pdf");
    mark("empty.txt");
    docs->commands().moveCopy().moveMarkedItemsToDestination(local);
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::MoveToCloud));
    EXPECT_EQ(sheet->title(), "Moving will delete these items from your Dropbox account");
    EXPECT_EQ(titles(*sheet), (std::vector<std::string> { "Move", "Cancel" }));
    EXPECT_EQ(sheet->buttonTitle(sheet->destructiveButtonIndex()), "Move");
    EXPECT_EQ(sheet->buttonTitle(sheet->cancelButtonIndex()), "Cancel");
    driver.pressSheetButton("Cancel");
    advance(0.5);
    EXPECT_FALSE(VKBrowserOperation::isOperationInProgress());

    docs->commands().moveCopy().moveMarkedItemsToDestination(local);
    driver.pressSheetButton("Move");
    advance(0.5);
    // b.pdf is there already: the overwrite question.
    sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::Overwrite));
    driver.pressSheetButton(sheet->buttonTitle(sheet->destructiveButtonIndex()));
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return VKBrowserOperation::operationLabel() == "Moving 2 Items"; }, 20))
        << VKBrowserOperation::operationLabel();
    ASSERT_TRUE(waitForOperationEnd());
    EXPECT_EQ(sha256(local->path() + "/empty.txt"), sha256("/dev/null"));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] {
        return !std::filesystem::exists(cloud->localPath("/Docs/b.pdf"))
            && !std::filesystem::exists(cloud->localPath("/Docs/empty.txt"));
    }, 20)) << "the sources go once they arrived";
    EXPECT_EQ(requestsTo("/0/fileops/delete").size(), 2u);
}

TEST_F(VKCloudFolderControllerTransferTest, WhileAnOperationRunsSavesReachTheTableRowByRowInTheOldNumbering)
{
    openDocs();
    auto& table = docs->tableView();
    auto store = VKCloudFileStore::sharedStore();
    // Outside an operation a save changes no rows by itself.
    node("empty.txt")->setSize(7);
    ASSERT_TRUE(store->saveContext());
    EXPECT_EQ(docs->rowUpdateCount(), 0u);

    // An operation that holds: a sync stalled on its first file.
    cloud->addFault(R"({"endpoint": "files", "always": true, "stall": "hold"})");
    mark("a.txt");
    docs->cloudCommandsForTesting().startSyncForResources({ row("a.txt") });
    ASSERT_TRUE(VKBrowserOperation::fileOperation());

    // Two rows inserted above an updated one, a third deleted: reloads and
    // deletes read the old rows, inserts the new.
    auto folder = node("a.txt")->parent();
    ASSERT_TRUE(store->insertObjectWithName("0 first.txt", folder));
    ASSERT_TRUE(store->insertObjectWithName("0 second.txt", folder));
    node("b.pdf")->setSize(12345);
    ASSERT_TRUE(store->deleteObject(node("empty.txt")));
    ASSERT_TRUE(store->saveContext());
    EXPECT_EQ(docs->rowUpdateCount(), 1u);
    advance(1);
    EXPECT_EQ(rowNames(), (std::vector<std::string> { "0 first.txt", "0 second.txt", "a.txt", "b.pdf", "Old", "Sub" }));
    ASSERT_EQ(table.numberOfRows(0), 6);
    driver.scrollToRow(table, { 0, 3 });
    auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow({ 0, 3 }));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->resource()->name(), "b.pdf");
    EXPECT_EQ(cell->sizeLabel().text(), VKBytesFormatter::sharedFormatter().formatBytesAsString(12345));

    VKBrowserOperation::cancelOperation();
    cloud->release();
    advance(0.5);
}

TEST_F(VKCloudFolderControllerTransferTest, AServiceWhoseNameStartsWithThisOnesIsAnotherService)
{
    openDocs();
    // "Dropbox2" is not inside "Dropbox": a copy there is no cloud copy.
    auto other = TestCloudService::install("Dropbox2");
    other->setLinked(true);
    auto store = VKCloudFileStore::sharedStore();
    auto folder = store->insertObjectForPath(other->localPath());
    ASSERT_TRUE(folder);
    folder->setIsDirectory(true);
    ASSERT_TRUE(store->saveContext());
    auto destination = VKCloudFileResource::resourceWithPath(other->localPath());
    ASSERT_TRUE(destination);
    mark("b.pdf");
    docs->commands().moveCopy().copyMarkedItemsNoConfirmation(destination);
    EXPECT_TRUE(std::dynamic_pointer_cast<VKCloudDownloadOperation>(VKBrowserOperation::fileOperation()));
    EXPECT_TRUE(requestsTo("/0/fileops/copy").empty());
    VKBrowserOperation::cancelOperation();
    advance(0.5);
}

} // namespace
} // namespace test
