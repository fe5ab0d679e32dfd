// Syncing a cloud folder's files, or the marked ones: the confirmation
// sheet's words and size, and the sync's requests on the fake service.

#include "CloudFolderTestCase.h"

#include "App/FolderBrowser/VKCloudFolderCommands.h"
#include "Shell/Interface/TagAdditions.h"
#include "Kit/VKBytesFormatter.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace test {
namespace {

class VKCloudFolderControllerSyncTest : public CloudFolderTestCase {
protected:
    std::vector<std::string> fileRequests() const
    {
        std::vector<std::string> paths;
        for (const auto& request : cloud->requests())
            if (request.method == "GET" && request.pathOnly().starts_with("/0/files/"))
                paths.push_back(request.pathOnly());
        return paths;
    }
    static std::string sized(uint64_t bytes)
    {
        return "Sync (" + VKBytesFormatter::sharedFormatter().formatBytesAsString(bytes) + ")";
    }
};

TEST_F(VKCloudFolderControllerSyncTest, TheSheetCountsTheFolderFilesAndLeavesSubfoldersOut)
{
    openDocs();
    docs->setEditing(true, false);
    runLoop();
    docs->cloudCommandsForTesting().syncFolder(docs->findBarButtonItemWithAction(VKFolderCommands::SyncFolderAction));
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::SyncConfirmation));
    EXPECT_EQ(sheet->title(), "Confirm sync of 3 files\n(excludes sub-folders)");
    EXPECT_EQ(titles(*sheet), (std::vector<std::string> { sized(docs->resource()->sizeOfChildren()), "Cancel" }));
    EXPECT_EQ(sheet->cancelButtonIndex(), 1);
    driver.pressSheetButton("Cancel");
    advance(0.5);
    EXPECT_FALSE(VKBrowserOperation::isOperationInProgress()) << "Cancel starts nothing";
    EXPECT_TRUE(fileRequests().empty());

    // The marked items (action 1019; no button sends it).
    mark("a.txt");
    mark("b.pdf");
    mark("Sub");
    docs->cloudCommandsForTesting().syncFolderOrMarkedItems(nullptr);
    sheet = driver.actionSheet();
    EXPECT_EQ(sheet->title(), "Confirm sync of 2 files\n(excludes sub-folders)");
    EXPECT_EQ(titles(*sheet).front(), sized(docs->editing().markedSize()));
    driver.pressSheetButton("Cancel");
    advance(0.5);

    docs->unmarkAllItems();
    mark("b.pdf");
    docs->cloudCommandsForTesting().syncFolderOrMarkedItems(nullptr);
    EXPECT_EQ(driver.actionSheet()->title(), "Confirm sync of 1 file");
    driver.pressSheetButton("Cancel");
    advance(0.5);

    docs->unmarkAllItems();
    mark("Sub");
    mark("Old");
    docs->cloudCommandsForTesting().syncFolderOrMarkedItems(nullptr);
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "There are no files to sync");
    EXPECT_EQ(titles(*alert), (std::vector<std::string> { "OK" }));
    driver.pressAlertButton("OK");
    advance(0.5);
}

TEST_F(VKCloudFolderControllerSyncTest, MarkedSizesBeyondFourGigabytesAreNamedWhole)
{
    openDocs();
    const uint64_t three = 3ull << 30;
    for (const char* name : { "/Docs/big1.bin", "/Docs/big2.bin" }) {
        cloudFile(name, "");
        std::filesystem::resize_file(cloud->localPath(name), three);
    }
    browser->popViewController(false);
    runLoop();
    browser->pushViewController(docs, false);
    ASSERT_TRUE(waitFor([&] { return row("big2.bin") != nullptr; }));
    mark("big1.bin");
    mark("big2.bin");
    EXPECT_EQ(docs->editing().markedSize(), 2 * three);
    docs->cloudCommandsForTesting().syncFolderOrMarkedItems(nullptr);
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->buttonTitle(0), sized(2 * three));
    driver.pressSheetButton("Cancel");
    advance(0.5);
}

TEST_F(VKCloudFolderControllerSyncTest, SyncFetchesTwoFilesAtATimeInOrderThenEnds)
{
    openDocs();
    // The first two file requests stall until released.
    cloud->addFault(R"({"endpoint": "files", "method": "GET", "count": 2, "stall": "sync"})");
    docs->setEditing(true, false);
    runLoop();
    docs->cloudCommandsForTesting().syncFolder(nullptr);
    driver.pressSheetButton(0);
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Syncing...");
    EXPECT_FALSE(docs->isEditing());
    ASSERT_TRUE(waitFor([&] { return fileRequests().size() >= 2; }));
    advance(1);
    // Two in flight at once: they may reach the server in either order.
    auto first = fileRequests();
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::string> { "/0/files/dropbox/Docs/a.txt", "/0/files/dropbox/Docs/b.pdf" }));
    cloud->release();
    ASSERT_TRUE(core::RunLoop::main().runUntil([] { return !VKBrowserOperation::isOperationInProgress(); }, 30));
    EXPECT_EQ(fileRequests().size(), 3u);
    for (const char* name : { "a.txt", "b.pdf", "empty.txt" }) {
        auto file = std::dynamic_pointer_cast<VKCloudFileResource>(row(name));
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->isStoredLocally()) << name;
    }
}

} // namespace
} // namespace test
