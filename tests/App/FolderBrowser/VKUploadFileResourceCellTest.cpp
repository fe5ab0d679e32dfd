// Upload rows and uploads of marked local items into a cloud folder, on the
// fake cloud service: the row's words per state, its progress, its button,
// and the operations' labels.

#include "CloudFolderTestCase.h"

#include "App/FolderBrowser/VKFolderMoveCopy.h"
#include "App/FolderBrowser/VKUploadFileResourceCell.h"
#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKNetworkState.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/Core/NotificationCenter.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Support/Command.h"

#include <gtest/gtest.h>

#include <set>

namespace test {
namespace {

class VKUploadFileResourceCellTest : public CloudFolderTestCase {
protected:
    void setState(const std::string& name, int32_t state)
    {
        node(name)->setUploadState(state);
        ASSERT_TRUE(VKCloudFileStore::sharedStore()->saveContext());
        runLoop();
    }
    // A folder list of local files on top of Docs, the files marked.
    std::shared_ptr<VKFolderController> showLocal(const std::vector<std::pair<std::string, size_t>>& files)
    {
        const std::string path = VKApplication::sharedApplication()->documentsDirectory() + "/Local";
        std::filesystem::create_directories(path);
        for (const auto& [name, size] : files)
            std::ofstream(path + "/" + name, std::ios::binary) << std::string(size, 'x');
        auto local = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(path), delegate);
        browser->pushViewController(local, false);
        runLoop();
        local->setEditing(true, false);
        auto& table = local->tableView();
        for (int item = 0; item < table.numberOfRows(0); ++item)
            local->tableSide().didMarkCell(table, { 0, item });
        return local;
    }
    // The upload's steps wait on the clock as well as on the service.
    bool waitForOperationEnd()
    {
        for (int i = 0; i < 600 && VKBrowserOperation::isOperationInProgress(); ++i) {
            core::RunLoop::main().runUntil([] { return !VKBrowserOperation::isOperationInProgress(); }, 0.05);
            advance(0.05);
        }
        advance(0.2);
        return !VKBrowserOperation::isOperationInProgress();
    }
    bool waitUntil(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 400 && !condition(); ++i) {
            core::RunLoop::main().runUntil(condition, 0.05);
            advance(0.05);
        }
        return condition();
    }
};

TEST_F(VKUploadFileResourceCellTest, TheRowNamesEachStateAndItsButtonCancelsOrResumes)
{
    openDocs();
    auto cell = VKUploadFileResourceCell::create("VKUploadFileResourceCell");
    EXPECT_FLOAT_EQ(cell->iconView().alpha(), 0.6f);
    setState("a.txt", VKNetworkStateWaiting);
    cell->setResource(row("a.txt"));
    EXPECT_EQ(cell->sizeLabel().text(), "Waiting...");
    EXPECT_TRUE(cell->isActive());
    setState("a.txt", VKNetworkStateUploading);
    EXPECT_EQ(cell->sizeLabel().text(), "Uploading " + VKBytesFormatter::sharedFormatter().formatBytesAsString(LargeFileSize));
    setState("a.txt", VKNetworkStateFinalizing);
    EXPECT_EQ(cell->sizeLabel().text(), "Finalising...");
    EXPECT_TRUE(cell->pauseButton().isEnabled()) << "an upload can be cancelled up to its end";
    setState("a.txt", VKNetworkStatePaused);
    EXPECT_EQ(cell->sizeLabel().text(), "Paused");
    EXPECT_FALSE(cell->isActive());
    setState("a.txt", VKNetworkStateFailed);
    EXPECT_EQ(cell->sizeLabel().text(), "Upload Failed");
    EXPECT_EQ(cell->pauseButton().currentImage(), ui::Images::imageNamed("VKTableCellResumeUpload.png"));

    // A folder uploads without a byte count.
    setState("Sub", VKNetworkStateUploading);
    cell->setResource(row("Sub"));
    EXPECT_EQ(cell->sizeLabel().text(), "Uploading...");
    // A reused row shows its new item's state, even when equal.
    setState("b.pdf", VKNetworkStateUploading);
    cell->setResource(row("b.pdf"));
    EXPECT_EQ(cell->sizeLabel().text(), "Uploading " + VKBytesFormatter::sharedFormatter().formatBytesAsString(row("b.pdf")->size()));

    // Waiting for the existence check: a tap does nothing.
    setState("b.pdf", VKNetworkStateChecking);
    cell->togglePause();
    runLoop();
    EXPECT_EQ(node("b.pdf")->uploadState(), VKNetworkStateChecking);
    EXPECT_FALSE(cell->pauseButton().isEnabled());
}

TEST_F(VKUploadFileResourceCellTest, ProgressMovesTheBarAndTheTextAtMostFourTimesASecond)
{
    openDocs();
    auto cell = VKUploadFileResourceCell::create("VKUploadFileResourceCell");
    setState("a.txt", VKNetworkStateUploading);
    cell->setResource(row("a.txt"));
    std::set<double> refreshes { cell->lastUpdateTime() };
    for (int step = 1; step <= 100; ++step) {
        node("a.txt")->setUploadProgress(float(step) / 100);
        runLoop();
        advance(0.01);
        refreshes.insert(cell->lastUpdateTime());
    }
    EXPECT_LE(refreshes.size(), 5u);
    EXPECT_GE(refreshes.size(), 3u);
    EXPECT_FLOAT_EQ(cell->progressView().progress(), 1.0f);
    // Entering the upload state refreshes at once.
    setState("a.txt", VKNetworkStatePaused);
    const double before = cell->lastUpdateTime();
    advance(0.01);
    setState("a.txt", VKNetworkStateUploading);
    EXPECT_GT(cell->lastUpdateTime(), before);
}

TEST_F(VKUploadFileResourceCellTest, MarkedLocalItemsUploadAsCopiesOrMoves)
{
    openDocs();
    // The labels the operation shows once its items are staged.
    std::vector<std::string> labels;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKFolderControllerOperationProgressNotification,
        nullptr, [&](const core::Notification&) {
            if (!VKBrowserOperation::isOperationIndeterminate())
                labels.push_back(VKBrowserOperation::operationLabel());
        });
    auto local = showLocal({ { "one.txt", 1200000 }, { "two.txt", 10 }, { "three.txt", 3 } });
    local->commands().moveCopy().uploadMarkedItemsToDestination(docs->resource(), false);
    EXPECT_FALSE(local->isEditing());
    bool ended = waitForOperationEnd();
    ASSERT_TRUE(ended);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), "Copying 3 Items");
    for (const char* name : { "one.txt", "two.txt", "three.txt" }) {
        EXPECT_EQ(sha256(cloud->localPath(std::string("/Docs/") + name)), sha256(local->folderPath() + "/" + name)) << name;
    }

    local->setEditing(true, false);
    local->tableSide().didMarkCell(local->tableView(), { 0, 0 });
    const std::string moved = local->editing().markedResources().front()->name();
    labels.clear();
    local->commands().moveCopy().uploadMarkedItemsToDestination(docs->resource(), true);
    // The name is taken in Docs now: the operation asks first, on the top
    // screen.
    ASSERT_TRUE(waitUntil([&] { return !driver.shownChoices().empty(); }));
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(vk_viewControllerTag(*sheet).get(), local.get());
    driver.pressSheetButton(sheet->destructiveButtonIndex() >= 0 ? sheet->destructiveButtonIndex() : 0);
    ASSERT_TRUE(waitForOperationEnd());
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), "Moving 1 Item");
    EXPECT_FALSE(std::filesystem::exists(local->folderPath() + "/" + moved));
}

TEST_F(VKUploadFileResourceCellTest, AFailedUploadReadsUploadFailedAndATapResumesIt)
{
    openDocs();
    cloud->addFault(R"({"endpoint": "files", "method": "POST", "status": 507})");
    auto local = showLocal({ { "full.txt", 4000 } });
    local->commands().moveCopy().uploadMarkedItemsToDestination(docs->resource(), false);
    ASSERT_TRUE(waitForOperationEnd());
    // The operation's failure.
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->title(), "Warning");
    driver.pressAlertButton(0);
    advance(0.5);

    browser->popViewController(false);
    runLoop();
    ASSERT_TRUE(waitUntil([&] { return row("full.txt") != nullptr; }));
    auto failed = std::dynamic_pointer_cast<VKCloudFileResource>(row("full.txt"));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->uploadState(), VKNetworkStateFailed);
    auto& table = docs->tableView();
    auto at = docs->indexPathOfResource(*failed);
    ASSERT_TRUE(at);
    driver.scrollToRow(table, *at);
    auto* cell = dynamic_cast<VKUploadFileResourceCell*>(table.cellForRow(*at));
    ASSERT_TRUE(cell) << "an upload shows as an upload row";
    EXPECT_EQ(cell->sizeLabel().text(), "Upload Failed");
    driver.tap(cell->pauseButton());
    ASSERT_TRUE(waitUntil([&] { return failed->uploadState() == VKNetworkStateNone; })) << failed->uploadState();
    ASSERT_TRUE(std::filesystem::exists(cloud->localPath("/Docs/full.txt")));
    EXPECT_EQ(std::filesystem::file_size(cloud->localPath("/Docs/full.txt")), 4000u);
}

} // namespace
} // namespace test
