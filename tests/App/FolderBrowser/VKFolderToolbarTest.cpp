// The folder screen's toolbar on a bare folder screen without a window: its
// items for a user and a guest, the uploads' item while they run, and the
// buttons telling a host that may have gone.

#include "App/FolderBrowser/VKFolderToolbar.h"

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "FileModel/VKCloudHooks.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/UITestCase.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Control.h"

#include <thread>

namespace {

struct ToolbarHost : VKFolderToolbar::Host {
    std::vector<std::string> calls;
    void toolbarShowDownloads() override { calls.push_back("downloads"); }
    void toolbarBeginSearch() override { calls.push_back("search"); }
    void toolbarUploadsChanged() override { calls.push_back("uploads"); }
};

using VKFolderToolbarTest = test::UITestCase;

TEST_F(VKFolderToolbarTest, ItemsForAUserAndAGuestWhoseButtonsTellTheHost)
{
    auto screen = std::make_shared<VKFolderControllerBase>();
    auto host = std::make_shared<ToolbarHost>();
    VKFolderToolbar toolbar;
    toolbar.update(*screen, host, false);
    const auto& items = screen->toolbarItems();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0], screen->barItems().serverStateItem());
    EXPECT_EQ(items[3], screen->barItems().folderInfoItem());
    EXPECT_EQ(items[5]->customView()->tag(), int(VKFolderToolbar::Button::Downloads));
    auto tap = [&](size_t index) {
        dynamic_cast<ui::Control&>(*screen->toolbarItems()[index]->customView()).sendActions(ui::Control::TouchUpInside);
    };
    tap(5);
    tap(6);
    EXPECT_EQ(host->calls, (std::vector<std::string> { "downloads", "search" }));

    toolbar.update(*screen, host, true);
    ASSERT_EQ(screen->toolbarItems().size(), 5u) << "no settings, no downloads";
    host.reset();
    tap(4); // the search button of a host that went
}

TEST_F(VKFolderToolbarTest, TheUploadsItemFollowsTheUploads)
{
    auto cloud = test::RecordingCloudHooks::install();
    auto screen = std::make_shared<VKFolderControllerBase>();
    VKFolderToolbar toolbar;
    cloud->setActiveUploads(2, 0.25f);
    toolbar.update(*screen, {}, false);
    auto* view = toolbar.uploadProgressView();
    ASSERT_TRUE(view);
    EXPECT_EQ(screen->toolbarItems()[3]->customView().get(), view);
    EXPECT_EQ(view->text(), "Uploading 2 Items");
    cloud->setActiveUploads(1, 0.75f);
    EXPECT_FLOAT_EQ(view->progress(), 0.75f);
    toolbar.updateUploads(*screen);
    EXPECT_EQ(view->text(), "Uploading 1 Item");
    cloud->setActiveUploads(0, 0);
    toolbar.updateUploads(*screen);
    EXPECT_FALSE(toolbar.uploadProgressView());
    VKCloudHooks::setCurrent(nullptr);
}

// Uploads start and end on the cloud layer's threads: the host hears of
// them on the main thread, and nothing once the toolbar went.
TEST_F(VKFolderToolbarTest, UploadsStartingAndEndingElsewhereReachTheHostOnTheMainThread)
{
    auto host = std::make_shared<ToolbarHost>();
    auto toolbar = std::make_unique<VKFolderToolbar>();
    toolbar->observeUploads(host);
    auto& center = core::NotificationCenter::defaultCenter();
    std::thread([&] {
        center.post(VKCloudUploadManagerUploadDidStartNotification, nullptr);
        center.post(VKCloudUploadManagerUploadDidEndNotification, nullptr);
    }).join();
    EXPECT_TRUE(host->calls.empty());
    runLoop();
    EXPECT_EQ(host->calls, (std::vector<std::string> { "uploads", "uploads" }));
    toolbar.reset();
    center.post(VKCloudUploadManagerUploadDidEndNotification, nullptr);
    runLoop();
    EXPECT_EQ(host->calls.size(), 2u);
}

} // namespace
