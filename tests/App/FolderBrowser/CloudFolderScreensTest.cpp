// The cloud folder screen as a person sees it, at phone and tablet size in
// both orientations with real text: the spinner in the bar, "Sync Failed",
// upload rows in every state, editing with its menu, the sync and move-out
// sheets, a sync under way and the access-denied warning. The pictures go
// to build/screens/cloud/ ("folder-…"); goldens guard the upload rows and
// the sync sheet on the phone.

#include "CloudFolderTestCase.h"

#include "App/FolderBrowser/VKCloudFolderCommands.h"
#include "App/FolderBrowser/VKFolderMoveCopy.h"
#include "App/FolderBrowser/VKFolderNaming.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace test {
namespace {

class CloudFolderScreensTest : public CloudFolderTestCase {
protected:
    // The account's files with a fixed date, so the rows do not follow the clock.
    void accountFilesMade() override
    {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(cloud->root())) {
            struct timespec times[2] = { { 1552559400, 0 }, { 1552559400, 0 } };
            ::utimensat(AT_FDCWD, entry.path().c_str(), times, 0);
        }
    }
    void reappear()
    {
        browser->popViewController(false);
        runLoop();
        browser->pushViewController(docs, false);
        runLoop();
    }
    void setUploads(bool on)
    {
        const std::pair<const char*, int32_t> states[] = { { "a.txt", VKNetworkStateUploading },
            { "b.pdf", VKNetworkStateWaiting }, { "empty.txt", VKNetworkStatePaused }, { "Old", VKNetworkStateFailed },
            { "Sub", VKNetworkStateFinalizing } };
        for (const auto& [name, state] : states) {
            node(name)->setUploadState(on ? state : VKNetworkStateNone);
            node(name)->setUploadProgress(on && state == VKNetworkStateUploading ? 0.4f : 0.0f);
        }
        ASSERT_TRUE(VKCloudFileStore::sharedStore()->saveContext());
        docs->tableView().reloadData();
        advance(1);
        if (!on)
            return;
        // Folders among the uploads keep their state, not "Folder".
        auto& table = docs->tableView();
        for (int item = 0; item < table.numberOfRows(0); ++item) {
            if (auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow({ 0, item })); cell && cell->resource()->name() == "Old") {
                EXPECT_EQ(cell->sizeLabel().text(), "Upload Failed");
            }
        }
    }
    // The shots of one orientation.
    void shootAll(const DeviceScreen& device, const std::string& suffix)
    {
        const std::string directory = sourcePath("build/screens/cloud");
        auto shoot = [&](const std::string& name) {
            saveScreen(driver, directory, "folder-" + name + "-" + suffix, device.scale);
        };
        cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "stall": "shot"})");
        reappear();
        advance(0.2);
        ASSERT_TRUE(docs->isShowingCloudActivityIndicator());
        shoot("spinner");
        cloud->release("shot");
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !docs->isShowingCloudActivityIndicator(); }, 20));

        cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "status": 503})");
        reappear();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return docs->folderInfoLabel()->info() == "Sync Failed"; }, 20));
        advance(0.5);
        shoot("sync-failed");
        advance(10);

        setUploads(true);
        shoot("uploads");
        setUploads(false);

        docs->setEditing(true, false);
        advance(0.5);
        mark("a.txt");
        mark("b.pdf");
        advance(0.5);
        shoot("editing");
        docs->commands().showEditActionMenu(docs->findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction));
        advance(0.5);
        shoot("more-menu");
        dismissSheet();

        const std::string local = VKApplication::sharedApplication()->documentsDirectory() + "/Local";
        std::filesystem::create_directories(local);
        docs->commands().moveCopy().moveMarkedItemsToDestination(VKFileResource::resourceWithPath(local));
        advance(0.5);
        shoot("move-out-sheet");
        dismissSheet();

        docs->unmarkAllItems();
        docs->cloudCommandsForTesting().syncFolder(docs->findBarButtonItemWithAction(VKFolderCommands::SyncFolderAction));
        advance(0.5);
        shoot("sync-sheet");
        cloud->addFault(R"({"endpoint": "files", "method": "GET", "always": true, "stall": "sync"})");
        driver.pressSheetButton(0);
        advance(0.5);
        ASSERT_EQ(VKBrowserOperation::operationLabel(), "Syncing...");
        shoot("syncing");
        VKBrowserOperation::cancelOperation();
        cloud->reset();
        advance(1);
        if (docs->isEditing())
            docs->setEditing(false, false);
        advance(0.5);
    }
    void shootDevice(const DeviceScreen& device)
    {
        gfx::setTextEngine(gfx::makePangoTextEngine());
        openDocs(device);
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
                advance(1);
            }
            shootAll(device, fmt::format("{}-{}", device.name, orientation == ui::Orientation::Portrait ? "portrait" : "landscape"));
        }
        // A renamed item at its new place, its neighbours once each.
        docs->commands().naming().renameResource(row("a.txt"), "m.txt", true);
        ASSERT_TRUE(core::RunLoop::main().runUntil([] { return !VKBrowserOperation::isOperationInProgress(); }, 20));
        advance(0.5);
        saveScreen(driver, sourcePath("build/screens/cloud"), "folder-renamed-" + device.name + "-landscape", device.scale);
        // Access denied, in both orientations over the list.
        cloud->addFault(R"({"endpoint": "metadata", "path": "/Docs", "status": 401})");
        reappear();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !driver.shownChoices().empty(); }, 20));
        advance(0.5);
        const std::string directory = sourcePath("build/screens/cloud");
        saveScreen(driver, directory, "folder-access-denied-" + device.name + "-landscape", device.scale);
        ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
        advance(1);
        saveScreen(driver, directory, "folder-access-denied-" + device.name + "-portrait", device.scale);
        driver.pressAlertButton("OK");
        advance(1);
    }
};

TEST_F(CloudFolderScreensTest, Phone)
{
    shootDevice(phoneScreen);
}

TEST_F(CloudFolderScreensTest, Tablet)
{
    shootDevice(tabletScreen);
}

TEST_F(CloudFolderScreensTest, Goldens)
{
    openDocs(phoneScreen);
    setUploads(true);
    auto rows = ui::Renderer::renderImage(*window().rootViewController()->view());
    ASSERT_TRUE(rows);
    EXPECT_TRUE(matchesGolden(*rows, sourcePath(""), "cloud-folder-uploads-phone-portrait"));
    setUploads(false);
    docs->setEditing(true, false);
    advance(0.5);
    docs->cloudCommandsForTesting().syncFolder(docs->findBarButtonItemWithAction(VKFolderCommands::SyncFolderAction));
    advance(0.5);
    auto sheet = ui::Renderer::renderImage(*window().rootViewController()->view());
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(matchesGolden(*sheet, sourcePath(""), "cloud-folder-sync-sheet-phone-portrait"));
    dismissSheet();
    advance(0.5);
}

} // namespace
} // namespace test
