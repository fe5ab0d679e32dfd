// Moving and copying marked items from the folder list: the checks before
// the picker, the picker's set-up, the routing of a picked folder, the
// collision and free-space questions, and both operations run to their end
// on the worker, cancelled and failing.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderMoveCopy.h"
#include "App/FolderBrowser/VKFolderPickerController.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/NavigationItem.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/FileModel/RecordingDownloadHooks.h"
#include "Support/FileModel/RecordingServerLockHooks.h"

#include <fmt/format.h>

#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

// Records the follow-ups the routing reaches, and the upload of marked
// items the cloud screens would make.
class RecordingMoveCopy : public VKFolderMoveCopy {
public:
    using VKFolderMoveCopy::VKFolderMoveCopy;

    void moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& d) override
    {
        calls.push_back("moveTo " + d->name());
        if (passOn)
            VKFolderMoveCopy::moveMarkedItemsToDestination(d);
    }
    void copyMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& d) override
    {
        calls.push_back("copyTo " + d->name());
        if (passOn)
            VKFolderMoveCopy::copyMarkedItemsToDestination(d);
    }
    void moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& d) override
    {
        calls.push_back("move " + d->name());
        if (carryOut)
            VKFolderMoveCopy::moveMarkedItemsNoConfirmation(d);
    }
    void copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& d) override
    {
        calls.push_back("copy " + d->name());
        if (carryOut)
            VKFolderMoveCopy::copyMarkedItemsNoConfirmation(d);
    }
    void uploadMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& d, bool deleteOriginals) override
    {
        calls.push_back(fmt::format("upload {} {}", d->name(), deleteOriginals));
    }

    Strings calls;
    bool passOn = true;
    bool carryOut = false;
};

class VKFolderControllerMoveCopyTest : public test::FolderListingTestCase {
protected:
    void TearDown() override
    {
        core::FileTestHooks::reset();
        VKQuotaManager::setFreeSpaceFunctionForTesting(nullptr);
        VKBrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        screen.reset();
        FolderListingTestCase::TearDown();
    }

    std::shared_ptr<RecordingMoveCopy> showScreen(const std::string& path)
    {
        controller = VKFolderController::create(resource(path));
        screen = std::make_shared<RecordingMoveCopy>(controller->commands());
        controller->commands().setMoveCopy(screen);
        navigation = VKNavigationController::create(controller);
        delegate->setNavigationController(navigation);
        window().setRootViewController(navigation);
        runLoop();
        return screen;
    }
    void mark(const Strings& names)
    {
        controller->setEditing(true, false);
        auto rows = test::FolderListingTestCase::names(*controller);
        for (const auto& name : names) {
            auto found = std::find(rows.begin(), rows.end(), name);
            ASSERT_NE(found, rows.end()) << name;
            controller->tableSide().didMarkCell(controller->tableView(), { 0, int(found - rows.begin()) });
        }
    }
    // The alert shown, or "none".
    static std::string alertText()
    {
        if (auto window = ui::AlertView::alertWindowForTesting())
            for (const auto& view : window->subviews())
                if (auto alert = std::dynamic_pointer_cast<ui::AlertView>(view))
                    return alert->title() + " | " + alert->message();
        return "none";
    }
    VKFolderPickerController* picker()
    {
        return dynamic_cast<VKFolderPickerController*>(navigation->modalViewController());
    }
    // The sheet the screen shows now.
    VKActionSheet* sheet() { return dynamic_cast<VKActionSheet*>(driver.actionSheet().get()); }
    // Runs the main loop until the background operation has ended.
    void finishOperation()
    {
        for (int i = 0; i < 2000 && VKBrowserOperation::isOperationInProgress(); ++i) {
            runLoop();
            usleep(1000);
        }
        ASSERT_FALSE(VKBrowserOperation::isOperationInProgress());
        runLoop();
        advance(0.2);
    }
    Strings listing(const std::string& relative)
    {
        auto found = core::fs::sortedContentsOfDirectory(documents(relative));
        return found ? *found : Strings { "<unreadable>" };
    }

    std::shared_ptr<RecordingMoveCopy> screen;
};

TEST_F(VKFolderControllerMoveCopyTest, LockedOrUnsupportedItemsOpenNoPicker)
{
    makeDocument("F/a.txt");
    makeDocument("F/b.txt");
    auto locks = test::RecordingServerLockHooks::install();
    locks->serve(documents("F/b.txt"), "/F/b.txt");
    locks->lock("/F/b.txt");
    showScreen(documents("F"));
    mark({ "a.txt", "b.txt" });
    controller->commands().copyMarkedItems(nullptr);
    runLoop();
    EXPECT_EQ(alertText(), "Warning | Some items are locked and cannot be moved or copied");
    EXPECT_FALSE(picker());
}

TEST_F(VKFolderControllerMoveCopyTest, ThePickerIsSetUpForTheOperation)
{
    makeDocument("F/Sub/inner.txt", std::string(1000, 'i'));
    makeDocument("F/a.txt", std::string(500, 'a'));
    makeDocument("G/x");
    showScreen(documents("F"));
    mark({ "Sub", "a.txt" });
    controller->commands().moveMarkedItems(nullptr);
    runLoop();
    ASSERT_TRUE(picker());
    EXPECT_EQ(picker()->navigationItem().prompt().rfind("Move 2 Items, ", 0), 0u) << picker()->navigationItem().prompt();
    EXPECT_TRUE(picker()->showsCancelButton());
    EXPECT_TRUE(picker()->isFolderDisabled(documents("F/Sub/Deeper")));
    EXPECT_TRUE(picker()->isFolderDisabled(documents("F")));
    EXPECT_FALSE(picker()->isFolderDisabled(documents("F/Other")));
    EXPECT_FALSE(picker()->isFolderDisabled(documents("G")));

    // A pick dismisses the picker, then routes the folder.
    screen->passOn = false;
    picker()->pickerDelegate()->folderPickerController(*picker(), resource(documents("G")));
    runLoop();
    advance(1);
    EXPECT_EQ(screen->calls, Strings { "moveTo G" });
    EXPECT_FALSE(picker());

    // Cancel only dismisses; a copy's prompt leaves the listed folder open.
    screen->calls.clear();
    mark({});
    controller->commands().copyMarkedItems(nullptr);
    runLoop();
    ASSERT_TRUE(picker());
    EXPECT_EQ(picker()->navigationItem().prompt().rfind("Copy 2 Items, ", 0), 0u);
    EXPECT_FALSE(picker()->isFolderDisabled(documents("F")));
    picker()->pickerDelegate()->didCancelFolderPickerController(*picker());
    runLoop();
    advance(1);
    EXPECT_FALSE(picker());
    EXPECT_TRUE(screen->calls.empty());
}

TEST_F(VKFolderControllerMoveCopyTest, CollisionsAskAndTheFreeSpaceCheckCountsOnlyTheDifference)
{
    makeDocument("F/a", std::string(100 * 1024, 'a'));
    makeDocument("F/b", std::string(50 * 1024, 'b'));
    makeDocument("D/b", std::string(30 * 1024, 'o'));
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
    showScreen(documents("F"));
    mark({ "a", "b" });

    // 120 KB needed, 100 KB left: refused before anything is written.
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(100 * 1024); });
    screen->copyMarkedItemsToDestination(resource(documents("D")));
    runLoop();
    EXPECT_EQ(alertText(), "Warning | There is insufficient free space to copy the selected files.");
    EXPECT_EQ(screen->calls, Strings { "copyTo D" });
    ui::AlertView::resetForTesting();

    // Room enough: the overwrite question.
    VKQuotaManager::setFreeSpaceFunctionForTesting([](const std::string&) { return std::optional<uint64_t>(120 * 1024); });
    screen->copyMarkedItemsToDestination(resource(documents("D")));
    runLoop();
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->tag(), vkTag(VKFolderCommands::Sheet::Overwrite));
    EXPECT_EQ(sheet()->title(),
        "Copy to \"D\"\n\"b\" is already there and will be replaced. The one there now goes to the Trash.");
    EXPECT_EQ(sheet()->buttonTitle(0), "Replace");
    EXPECT_EQ(sheet()->buttonTitle(sheet()->cancelButtonIndex()), "Cancel");
    controller->commands().clickedButton(*sheet(), 0);
    EXPECT_EQ(screen->calls.back(), "copy D");

    // A move has no space check and its own title; no collision runs at once.
    screen->moveMarkedItemsToDestination(resource(documents("D")));
    runLoop();
    ASSERT_TRUE(sheet());
    EXPECT_TRUE(sheet()->title().starts_with("Move to \"D\"\n")) << sheet()->title();
    makeDocument("E/other");
    screen->moveMarkedItemsToDestination(resource(documents("E")));
    EXPECT_EQ(screen->calls.back(), "move E");

    // A download names its own command; other operations have no title.
    driver.pressSheetButton("Cancel");
    screen->checkForMarkedItemCollisionsAtDestination(resource(documents("D")), VKFileResourceOperationDownload, "x");
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->title(), "Download to \"D\"\n\"b\" is already there and will be replaced.");
    driver.pressSheetButton("Cancel");
    screen->checkForMarkedItemCollisionsAtDestination(resource(documents("D")), VKFileResourceOperationRename, "x");
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->title(), "\"b\" is already there and will be replaced.");
    driver.pressSheetButton("Cancel");

    // Folders meeting folders are replaced whole, and several say how many.
    makeDocument("F/Photos/new.jpg");
    makeDocument("D/Photos/old.jpg");
    controller->setEditing(false, false);
    advance(1);
    mark({ "Photos" });
    screen->copyMarkedItemsToDestination(resource(documents("D")));
    runLoop();
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->title(), "Copy to \"D\"\nThe folder \"Photos\" is already there. It will be replaced by this "
                                "one, not merged; the one there now goes to the Trash.");
    driver.pressSheetButton("Cancel");
    controller->setEditing(false, false);
    mark({ "b", "Photos" });
    screen->moveMarkedItemsToDestination(resource(documents("D")));
    runLoop();
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->title(), "Move to \"D\"\n2 items are already there and will be replaced. Folders are "
                                "replaced whole, not merged. The ones there now go to the Trash.");
    EXPECT_EQ(sheet()->buttonTitle(0), "Replace 2 Items");
    driver.pressSheetButton("Cancel");

    // Into the listed folder a copy asks nothing.
    screen->copyMarkedItemsToDestination(resource(documents("F")));
    EXPECT_EQ(screen->calls.back(), "copy F");
}

TEST_F(VKFolderControllerMoveCopyTest, CloudDestinationsGoToTheUpload)
{
    auto cloud = test::RecordingCloudHooks::install();
    std::string local = makeFile("Library/Servers/Box/Folder/keep", "k");
    auto folder = cloud->addResource("Box", core::path::deletingLastPathComponent(local), "/Folder");
    makeDocument("F/a.txt");
    showScreen(documents("F"));
    mark({ "a.txt" });
    screen->carryOut = true;
    screen->copyMarkedItemsToDestination(folder);
    EXPECT_EQ(screen->calls.back(), "upload Folder false");

    // Another service: asked first, and "Move" uploads deleting the originals.
    screen->moveMarkedItemsToDestination(folder);
    runLoop();
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->tag(), vkTag(VKFolderCommands::Sheet::MoveToCloud));
    EXPECT_NE(sheet()->title().find("will delete them locally"), std::string::npos) << sheet()->title();
    EXPECT_EQ(sheet()->buttonTitle(sheet()->destructiveButtonIndex()), "Move");
    controller->commands().clickedButton(*sheet(), sheet()->cancelButtonIndex());
    EXPECT_EQ(screen->calls.back(), "moveTo Folder");
    controller->commands().clickedButton(*sheet(), sheet()->destructiveButtonIndex());
    EXPECT_EQ(screen->calls.back(), "upload Folder true");
}

TEST_F(VKFolderControllerMoveCopyTest, AMoveRunsInTheBackgroundAndReportsEachItem)
{
    makeDocument("F/a", "new a");
    makeDocument("F/b", "b");
    makeDocument("F/c", "c");
    makeDocument("D/a", "old a");
    auto downloads = test::RecordingDownloadHooks::install();
    downloads->addDownload(documents("F"), test::FakeDownload::create(documents("F/partial.bin")));
    showScreen(documents("F"));
    mark({ "a", "b", "c", "partial.bin" });
    core::FileTestHooks::setRenameItemHook([&](const std::string& from) { return from == documents("F/c") ? EACCES : 0; });
    Strings notes;
    auto& center = core::NotificationCenter::defaultCenter();
    std::vector<core::Observation> observing;
    observing.push_back(center.observe(VKFolderControllerDidMoveResourceNotification, nullptr,
        [&](const VKResourceMove& move, const core::Notification& n) {
            EXPECT_EQ(n.object().get(), static_cast<core::Object*>(controller.get()));
            notes.push_back("moved " + move.newPath.substr(documents().size()));
        }));
    observing.push_back(center.observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        [&](const VKFolderUpdate& update, const core::Notification& n) {
            notes.push_back(fmt::format("collection {} {}", update.path.substr(documents().size()),
                n.object().get() == static_cast<core::Object*>(controller.get())));
        }));
    screen->carryOut = true;
    screen->moveMarkedItemsNoConfirmation(resource(documents("D")));
    // The unfinished download only changes where it will land.
    EXPECT_EQ(downloads->calls().back(), "updateDownloadPath " + documents("F/partial.bin") + " " + documents("D/partial.bin"));
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Moving 3 Items");
    finishOperation();
    EXPECT_EQ(notes, (Strings { "moved /D/a", "moved /D/b", "collection /F true", "collection /D true" }));
    EXPECT_EQ(names(*controller), Strings { "c" });
    EXPECT_EQ(listing("D"), (Strings { "a", "b" }));
    EXPECT_EQ(readFile(documents("D/a")), "new a");
    EXPECT_EQ(alertText(), " | Move of 1 item failed: permission denied");
    EXPECT_FALSE(controller->isEditing());
}

TEST_F(VKFolderControllerMoveCopyTest, ACancelledCopyLeavesNothingAndShowsNoAlert)
{
    for (int i = 0; i < 200; ++i)
        makeDocument(fmt::format("F/tree/f{:03}", i), "x");
    makeDocument("F/a.txt", "a");
    makeDocument("D/a.txt", "old");
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
    showScreen(documents("F"));
    mark({ "tree", "a.txt" });
    int seen = 0;
    core::FileTestHooks::setCopyItemHook([&](const std::string& from) {
        if (from.find("/tree/f") != std::string::npos && ++seen == 100)
            core::performOnMainThreadAndWait([] { VKBrowserOperation::cancelOperation(); });
        return 0;
    });
    Strings notes;
    auto observing = core::NotificationCenter::defaultCenter().observe(VKFolderControllerCollectionDidUpdateNotification,
        nullptr, [&](const VKFolderUpdate& update, const core::Notification& n) {
            notes.push_back(update.path.substr(documents().size()) + (n.object() ? " object" : ""));
        });
    screen->carryOut = true;
    screen->copyMarkedItemsNoConfirmation(resource(documents("D")));
    // The folder counts its 200 files.
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Copying 202 Items");
    // The cancel ends the operation at once; the worker's end comes later.
    for (int i = 0; i < 5000 && notes.empty(); ++i) {
        runLoop();
        usleep(1000);
    }
    finishOperation();
    EXPECT_EQ(seen, 100);
    EXPECT_EQ(listing("D"), Strings { "a.txt" });
    EXPECT_EQ(readFile(documents("D/a.txt")), "old");
    EXPECT_EQ(notes, Strings { "/D" });
    EXPECT_EQ(alertText(), "none");

    // Run again to its end: the copy stands, one beside itself too.
    core::FileTestHooks::reset();
    mark({ "a.txt" });
    screen->copyMarkedItemsNoConfirmation(resource(documents("F")));
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Copying 1 Item");
    finishOperation();
    EXPECT_EQ(listing("F"), (Strings { "a copy.txt", "a.txt", "tree" }));
}

TEST_F(VKFolderControllerMoveCopyTest, AFailedCopyIsCountedInOneAlertAndTheOthersLand)
{
    makeDocument("F/a.txt", "a");
    makeDocument("F/b.txt", "b");
    makeDocument("D/");
    VKQuotaManager::defaultManager()->updateQuotaForPath(documents());
    showScreen(documents("F"));
    mark({ "a.txt", "b.txt" });
    core::FileTestHooks::setCopyItemHook([&](const std::string& from) { return from == documents("F/a.txt") ? EACCES : 0; });
    screen->carryOut = true;
    screen->copyMarkedItemsNoConfirmation(resource(documents("D")));
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Copying 2 Items");
    for (int i = 0; i < 5000 && alertText() == "none"; ++i) {
        runLoop();
        usleep(1000);
    }
    finishOperation();
    EXPECT_EQ(alertText(), " | Copy of 1 item failed: permission denied");
    EXPECT_EQ(listing("D"), Strings { "b.txt" });
}

} // namespace
