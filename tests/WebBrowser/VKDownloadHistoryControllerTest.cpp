// The downloads list against the real download manager and the loopback
// web server: its rows and their order, the row sheet, the swipes, and
// the list following the manager.

#include "Downloads/DownloadTestCase.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Window.h"
#include "WebBrowser/VKDownloadHistoryController.h"

#include <fmt/format.h>

namespace {

class RecordingDelegate : public VKDownloadHistoryControllerUIDelegate {
public:
    bool supportsOpenDownloadResource() const override { return true; }
    void downloadHistoryControllerOpenDownloadResource(VKDownloadHistoryController&,
        const std::shared_ptr<VKFileResource>& resource) override { opened.push_back(resource); }
    bool supportsRevealDownloadResource() const override { return true; }
    void downloadHistoryControllerRevealDownloadResource(VKDownloadHistoryController&,
        const std::shared_ptr<VKFileResource>& resource) override { revealed.push_back(resource); }
    bool supportsWillAppear() const override { return true; }
    void downloadHistoryControllerWillAppear(VKDownloadHistoryController&) override { ++appearances; }

    std::vector<std::shared_ptr<VKFileResource>> opened;
    std::vector<std::shared_ptr<VKFileResource>> revealed;
    int appearances = 0;
};

class VKDownloadHistoryControllerTest : public test::DownloadTestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        list.reset();
        DownloadTestCase::TearDown();
    }
    void showList()
    {
        list = VKDownloadHistoryController::create();
        list->setUIDelegate(delegate);
        navigation = VKNavigationController::create(list);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        advance(1);
    }
    ui::TableView& table() { return list->tableView(); }
    std::string rowText(int row) { return table().cellForRow({ 0, row })->debugText(); }
    std::vector<std::string> names()
    {
        std::vector<std::string> all;
        for (const auto& resource : list->downloads())
            all.push_back(resource->name());
        return all;
    }
    std::vector<std::string> sheetButtons()
    {
        std::vector<std::string> titles;
        if (auto sheet = driver.actionSheet())
            for (int i = 0; i < sheet->numberOfButtons(); ++i)
                titles.push_back(sheet->buttonTitle(i));
        return titles;
    }
    int rowOf(const std::string& name)
    {
        auto names = this->names();
        return int(std::find(names.begin(), names.end(), name) - names.begin());
    }
    // A finished download of `name` in Documents.
    std::shared_ptr<VKFileResource> finished(const std::string& name)
    {
        auto item = start(fmt::format("/bytes/100?disposition={}", name));
        EXPECT_TRUE(waitForState(*item, VKNetworkStateDone));
        return VKFileResource::resourceWithPath(item->path());
    }
    std::shared_ptr<VKDownloadFileResource> stalled(const std::string& name)
    {
        server->setResource(name, fmt::format("length=5000&ranges=1&stall_after=1000&token={0}&disposition={0}", name));
        auto item = start("/resource/" + name);
        EXPECT_TRUE(waitFor([&] { return item->size() == 1000; }));
        return item;
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<VKDownloadHistoryController> list;
    std::shared_ptr<VKNavigationController> navigation;
};

TEST_F(VKDownloadHistoryControllerTest, WithoutDownloadsOneGreyRowSaysSo)
{
    showList();
    EXPECT_EQ(list->title(), "Downloads");
    EXPECT_EQ(delegate->appearances, 1);
    ASSERT_EQ(table().numberOfRows(0), 1);
    auto* cell = table().cellForRow({ 0, 0 });
    EXPECT_EQ(cell->reuseIdentifier(), "VKNoActiveDownloadsCell");
    EXPECT_EQ(cell->textLabel().text(), "No Downloads");
    EXPECT_EQ(cell->textLabel().textAlignment(), gfx::TextAlignment::Center);
    EXPECT_FALSE(list->willSelectRow(table(), { 0, 0 }));
    EXPECT_FALSE(list->canEditRow(table(), { 0, 0 }));
    driver.tapRow(table(), { 0, 0 });
    EXPECT_ANY_THROW(driver.actionSheet());
    driver.key(ui::KeyCommand::Down);
    EXPECT_FALSE(table().indexPathForSelectedRow()) << "the arrows pass over it";
    auto clear = list->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(clear);
    EXPECT_EQ(clear->title(), "Clear");
    EXPECT_FALSE(clear->isEnabled());
    EXPECT_FLOAT_EQ(table().rowHeight(), 68);
}

TEST_F(VKDownloadHistoryControllerTest, RowsAreNewestFirstAndFollowTheManager)
{
    auto gone = finished("gone.bin");
    auto done = finished("done.bin");
    auto running = stalled("running.bin");
    auto paused = stalled("paused.bin");
    manager()->stopDownloadForResource(paused);
    core::fs::removeItem(gone->path());

    showList();
    // A finished file gone from disk is forgotten when the list loads.
    EXPECT_EQ(names(), (std::vector<std::string> { "paused.bin", "running.bin", "done.bin" }));
    EXPECT_EQ(manager()->completedWebDownloads().size(), 1u);
    EXPECT_TRUE(list->navigationItem().rightBarButtonItem()->isEnabled());
    EXPECT_EQ(table().cellForRow({ 0, 0 })->reuseIdentifier(), "VKDownloadHistoryControllerDownloadCell");
    EXPECT_EQ(table().cellForRow({ 0, 2 })->reuseIdentifier(), "VKDownloadHistoryControllerResourceCell");
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(table().cellForRow({ 0, row })->accessoryType(), ui::TableViewCell::Accessory::None);

    // The running one ends: it becomes a finished row where it was.
    server->release("running.bin");
    ASSERT_TRUE(waitFor([&] { return manager()->completedWebDownloads().size() == 2; }));
    runLoop();
    EXPECT_EQ(names(), (std::vector<std::string> { "paused.bin", "running.bin", "done.bin" }));
    EXPECT_EQ(table().cellForRow({ 0, 1 })->reuseIdentifier(), "VKDownloadHistoryControllerResourceCell");

    // Clear forgets every finished file and leaves the download.
    driver.tapBarItem(VKDownloadHistoryController::ClearCompletedDownloadsAction);
    EXPECT_EQ(names(), (std::vector<std::string> { "paused.bin" }));
    EXPECT_FALSE(list->navigationItem().rightBarButtonItem()->isEnabled());
    EXPECT_TRUE(core::fs::exists(done->path())) << "clearing forgets, it deletes nothing";

    // A memory warning drops the rows; the next appearance has them again.
    list->didReceiveMemoryWarning();
    EXPECT_TRUE(list->downloads().empty());
    list->viewWillAppear(false);
    EXPECT_EQ(names(), (std::vector<std::string> { "paused.bin" }));
}

TEST_F(VKDownloadHistoryControllerTest, ARowsSheetOffersWhatSuitsIt)
{
    auto done = finished("done.bin");
    auto gone = finished("gone.bin");
    auto running = stalled("running.bin");
    auto paused = stalled("paused.bin");
    manager()->stopDownloadForResource(paused);
    showList();
    core::fs::removeItem(gone->path());

    driver.tapRow(table(), { 0, rowOf("done.bin") });
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), VKDownloadHistoryController::RowActionSheetTag);
    EXPECT_EQ(sheet->anchorKind(), ui::ActionSheet::AnchorKind::Toolbar);
    EXPECT_EQ(sheet->title(), "done.bin");
    EXPECT_EQ(sheetButtons(), (std::vector<std::string> { "Open", "Reveal in Folder", "Cancel" }));
    driver.pressSheetButton("Open");
    ASSERT_EQ(delegate->opened.size(), 1u);
    EXPECT_EQ(delegate->opened[0]->path(), done->path());

    driver.tapRow(table(), { 0, rowOf("running.bin") });
    EXPECT_EQ(sheetButtons(), (std::vector<std::string> { "Reveal in Folder", "Cancel" }));
    driver.pressSheetButton("Reveal in Folder");
    ASSERT_EQ(delegate->revealed.size(), 1u);
    EXPECT_EQ(delegate->revealed[0], running);

    driver.tapRow(table(), { 0, rowOf("paused.bin") });
    EXPECT_EQ(sheetButtons(), (std::vector<std::string> { "Resume", "Reveal in Folder", "Cancel" }));
    driver.pressSheetButton("Resume");
    // Resumed: it may already have heard the loopback server's answer.
    EXPECT_NE(paused->downloadState(), VKNetworkStatePaused);

    driver.tapRow(table(), { 0, rowOf("gone.bin") });
    EXPECT_EQ(driver.actionSheet()->title(), "File no longer exists");
    EXPECT_EQ(sheetButtons(), (std::vector<std::string> { "Clear", "Cancel" }));
    driver.pressSheetButton("Clear");
    EXPECT_EQ(rowOf("gone.bin"), int(names().size()));
    for (const auto& file : manager()->completedWebDownloads())
        EXPECT_NE(file->path(), gone->path());

    // Without a delegate that opens or reveals, only what the list does itself.
    list->setUIDelegate({});
    driver.tapRow(table(), { 0, rowOf("done.bin") });
    EXPECT_EQ(sheetButtons(), (std::vector<std::string> { "Cancel" }));
    driver.pressSheetButton("Cancel");
    server->release("running.bin");
    server->release("paused.bin");
}

TEST_F(VKDownloadHistoryControllerTest, SwipesClearFilesAndDeletePausedDownloadsAfterAsking)
{
    auto done = finished("done.bin");
    auto running = stalled("running.bin");
    auto paused = stalled("paused.bin");
    manager()->stopDownloadForResource(paused);
    showList();
    using Style = ui::TableViewCell::EditingStyle;
    EXPECT_EQ(list->editingStyleForRow(table(), { 0, rowOf("running.bin") }), Style::None);
    EXPECT_EQ(list->editingStyleForRow(table(), { 0, rowOf("paused.bin") }), Style::Delete);
    EXPECT_EQ(list->titleForDeleteConfirmationButton(table(), { 0, rowOf("paused.bin") }), "Delete");
    EXPECT_EQ(list->titleForDeleteConfirmationButton(table(), { 0, rowOf("done.bin") }), "Clear");

    driver.swipeRow(table(), { 0, rowOf("done.bin") });
    driver.confirmDeletion(table());
    EXPECT_EQ(names(), (std::vector<std::string> { "paused.bin", "running.bin" }));
    EXPECT_TRUE(manager()->completedWebDownloads().empty());
    EXPECT_TRUE(core::fs::exists(done->path()));
    advance(1);

    std::string partial = paused->downloadPath();
    ASSERT_TRUE(core::fs::exists(partial));
    driver.swipeRow(table(), { 0, rowOf("paused.bin") });
    driver.confirmDeletion(table());
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), VKDownloadHistoryController::PartialDownloadActionSheetTag);
    EXPECT_EQ(sheet->title(), "Partial Download");
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    driver.pressSheetButton("Cancel");
    EXPECT_EQ(manager()->webDownloads().size(), 2u);

    driver.swipeRow(table(), { 0, rowOf("paused.bin") });
    driver.confirmDeletion(table());
    driver.pressSheetButton("Delete");
    EXPECT_FALSE(core::fs::exists(partial));
    EXPECT_FALSE(core::fs::exists(paused->downloadInfoPath()));
    EXPECT_EQ(names(), (std::vector<std::string> { "running.bin" }));
    server->release("running.bin");
}

} // namespace
