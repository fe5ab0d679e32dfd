// Deleting marked items into the real trash: what is refused before asking,
// the confirmation, one group and one update for the lot, a failure among
// several, and large deletes in slices with progress and Cancel.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFolderOperations.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKServerLockHooks.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/DesktopTrash.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Support/FileModel/RecordingServerLockHooks.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {

using Strings = std::vector<std::string>;

class VKFolderControllerDeleteTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        previousLocks = VKServerLockHooks::current();
    }
    void TearDown() override
    {
        VKServerLockHooks::setCurrent(previousLocks);
        VKBrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        FolderListingTestCase::TearDown();
    }

    void markAll()
    {
        controller->setEditing(true, false);
        controller->markAllItems();
    }
    std::shared_ptr<ui::ActionSheet> sheet()
    {
        auto shown = driver.shownChoices();
        for (const auto& choice : shown)
            if (auto found = std::dynamic_pointer_cast<ui::ActionSheet>(choice))
                return found;
        return nullptr;
    }
    std::shared_ptr<ui::AlertView> alert()
    {
        for (const auto& choice : driver.shownChoices())
            if (auto found = std::dynamic_pointer_cast<ui::AlertView>(choice))
                return found;
        return nullptr;
    }
    static Strings titles(const ui::ChoiceView& choice)
    {
        Strings found;
        for (int i = 0; i < choice.numberOfButtons(); ++i)
            found.push_back(choice.buttonTitle(i));
        return found;
    }
    void makeMany(const std::string& folder, int count)
    {
        core::fs::createDirectory(documents(folder), true);
        // Plain writes: thousands of synced ones take seconds.
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(std::ofstream(documents(fmt::format("{}/f{:05}.txt", folder, i))) << "x");
    }
    size_t remaining(const std::string& folder) { return core::fs::contentsOfDirectory(documents(folder))->size(); }

    std::shared_ptr<VKServerLockHooks> previousLocks;
};

TEST_F(VKFolderControllerDeleteTest, LockedAndUndeletableItemsEndTheCommandBeforeItAsks)
{
    // An item only listed here, which the folder will not let go.
    struct Kept : VKFileResource {
        explicit Kept(std::string path) : VKFileResource(std::move(path)) { }
        int32_t supportedFileOperations() const override { return VKFileResourceOperationAll & ~VKFileResourceOperationDelete; }
        std::optional<std::string> localizedDescriptionForUnsupportedFileOperation(int32_t) const override
        {
            return "Kept items cannot be deleted";
        }
    };
    makeDocument("L/a.txt");
    makeDocument("L/b.txt");
    makeDocument("L/c.txt");
    show(documents("L"));
    auto locks = test::RecordingServerLockHooks::install();
    locks->serve(documents("L/b.txt"), "/b.txt");
    locks->lock("/b.txt");
    markAll();
    controller->commands().deleteMarkedItems(controller);
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Locked Items");
    EXPECT_EQ(alert()->message(), "Some items are locked and cannot be deleted");
    EXPECT_FALSE(sheet());
    driver.pressAlertButton("OK");
    locks->unlock("/b.txt");

    controller->listing().add(std::make_shared<Kept>(documents("L/d.txt")));
    controller->markAllItems();
    controller->commands().deleteMarkedItems(controller);
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Warning");
    EXPECT_EQ(alert()->message(), "Kept items cannot be deleted");
    driver.pressAlertButton("OK");

    // Three deletable items: the count in the destructive button.
    controller->tableSide().didUnmarkCell(controller->tableView(), { 0, 3 });
    controller->commands().deleteMarkedItems(controller);
    runLoop();
    auto shown = sheet();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->tag(), vkTag(VKFolderCommands::Sheet::DeleteConfirmation));
    EXPECT_EQ(titles(*shown), (Strings { "Delete 3 Items?", "Cancel" }));
    EXPECT_EQ(shown->destructiveButtonIndex(), 0);
    EXPECT_EQ(shown->cancelButtonIndex(), 1);
    driver.pressSheetButton("Cancel");
    runLoop();
    EXPECT_EQ(remaining("L"), 3u);

    controller->unmarkAllItems();
    controller->tableSide().didMarkCell(controller->tableView(), { 0, 0 });
    controller->commands().deleteMarkedItems(controller);
    runLoop();
    ASSERT_TRUE(sheet());
    EXPECT_EQ(titles(*sheet()), (Strings { "Delete 1 Item?", "Cancel" }));
    sheet()->dismiss(1, false);
}

TEST_F(VKFolderControllerDeleteTest, ConfirmedDeleteTrashesEverythingInOneStep)
{
    makeDocument("D/a.txt");
    makeDocument("D/b.txt");
    makeDocument("D/Sub/c.txt");
    makeDocument("D/keep.txt");
    show(documents("D"));
    Strings posted;
    auto& center = core::NotificationCenter::defaultCenter();
    auto will = center.observe(VKFolderControllerWillDeleteResourceNotification, nullptr, [&](const VKResourceDeletion& deletion) {
        const std::string& path = deletion.path;
        posted.push_back("will " + core::path::lastPathComponent(path) + (core::fs::exists(path) ? "" : " (gone)"));
    });
    auto did = center.observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        [&](const VKFolderUpdate& update, const core::Notification& n) {
            posted.push_back("did " + update.path + (n.object() == controller ? "" : " (?)"));
        });
    size_t builds = controller->listing().buildCount();
    controller->setEditing(true, false);
    ASSERT_EQ(names(*controller), (Strings { "a.txt", "b.txt", "keep.txt", "Sub" }));
    for (int row : { 3, 0, 1 })
        controller->tableSide().didMarkCell(controller->tableView(), { 0, row });
    ASSERT_EQ(controller->editing().markedResources().size(), 3u);
    controller->commands().deleteMarkedItems(controller);
    runLoop();
    driver.pressSheetButton("Delete 3 Items?");
    runLoop();

    EXPECT_EQ(posted, (Strings { "will a.txt", "will b.txt", "will Sub", "did " + documents("D") }));
    EXPECT_EQ(names(*controller), (Strings { "keep.txt" }));
    EXPECT_EQ(controller->tableView().numberOfRows(0), 1);
    EXPECT_EQ(controller->listing().buildCount(), builds);
    EXPECT_FALSE(controller->isEditing());
    EXPECT_EQ(controller->navigationItem().prompt(), "");
    EXPECT_FALSE(isInTrashGroup());
    EXPECT_FALSE(alert());
    // The trash is emptied behind the screen.
    EXPECT_TRUE(core::Thread::waitForAll(10));
    auto trash = core::fs::contentsOfDirectory(trashPath());
    EXPECT_TRUE(!trash || trash->empty());
}

TEST_F(VKFolderControllerDeleteTest, DeletedItemsGoToTheDesktopTrashUnderNamesOfTheirOwn)
{
    // The desktop's trash where the environment says, one name in it taken.
    const std::string data = pathInHome("data");
    const char* before = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> saved = before ? std::optional<std::string>(before) : std::nullopt;
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    core::desktopTrash::setLocation("");
    makeFile("data/Trash/files/a.txt", "older");
    makeFile("data/Trash/info/a.txt.trashinfo", "[Trash Info]\nPath=/elsewhere/a.txt\n");
    makeDocument("T/a.txt", "newer");
    makeDocument("T/Sub/b.txt");
    show(documents("T"));
    markAll();
    controller->commands().deleteMarkedItemsNoConfirmation();
    runLoop();
    const std::string info = readFile(data + "/Trash/info/a.txt.2.trashinfo");
    saved ? setenv("XDG_DATA_HOME", saved->c_str(), 1) : unsetenv("XDG_DATA_HOME");

    EXPECT_FALSE(alert());
    EXPECT_TRUE(names(*controller).empty());
    EXPECT_EQ(readFile(data + "/Trash/files/a.txt"), "older");
    EXPECT_EQ(readFile(data + "/Trash/files/a.txt.2"), "newer");
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + documents("T/a.txt") + "\nDeletionDate=")) << info;
    EXPECT_EQ(readFile(data + "/Trash/files/Sub/b.txt"), "x");
    EXPECT_TRUE(core::fs::exists(data + "/Trash/info/Sub.trashinfo"));
    EXPECT_TRUE(core::Thread::waitForAll(10));
    EXPECT_TRUE(core::fs::contentsOfDirectory(trashPath()).value_or(Strings {}).empty());
}

TEST_F(VKFolderControllerDeleteTest, OneFailureAmongThreeIsCountedAndItsRowStays)
{
    makeDocument("F/a.txt");
    makeDocument("F/b.txt");
    makeDocument("F/c.txt");
    show(documents("F"));
    const std::string stuck = documents("F/b.txt");
    core::FileTestHooks::setRenameItemHook([stuck](const std::string& from) { return from == stuck ? EACCES : 0; });
    markAll();
    controller->commands().handleAction(VKFolderCommands::EditAction::DeleteNoConfirmation, {});
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->title(), "Warning");
    EXPECT_EQ(alert()->message(), "Failed to delete 1 item: permission denied");
    EXPECT_EQ(names(*controller), (Strings { "b.txt" }));
    EXPECT_TRUE(core::fs::exists(stuck));
    EXPECT_FALSE(controller->isEditing());

    // An item that vanished after it was marked is a failure, not a crash.
    core::FileTestHooks::reset();
    makeDocument("F/d.txt");
    controller->listing().rebuild(true);
    controller->updateView();
    driver.pressAlertButton("OK");
    markAll();
    ASSERT_EQ(controller->editing().markedResources().size(), 2u);
    ASSERT_TRUE(core::fs::removeItem(documents("F/d.txt")));
    controller->commands().deleteMarkedItemsNoConfirmation();
    runLoop();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->message(), "Failed to delete 1 item: no such file or directory");
    EXPECT_FALSE(core::fs::exists(stuck));
}

TEST_F(VKFolderControllerDeleteTest, ManyRowsLeaveTheModelAtOnceWhateverResourcesNameThem)
{
    makeDocument("R/a.txt");
    makeDocument("R/b.txt");
    makeDocument("R/c.txt");
    show(documents("R"));
    auto listed = controller->listing().resources();
    // The rows' own resource, and a new one for the same item.
    controller->listing().remove({ listed[0], resource(documents("R/c.txt")) });
    EXPECT_EQ(names(*controller), (Strings { "b.txt" }));
    EXPECT_EQ(controller->tableView().numberOfRows(0), 1);
}

TEST_F(VKFolderControllerDeleteTest, LargeDeletesGoInSlicesWithProgressAndCancel)
{
    makeMany("Many", 5000);
    show(documents("Many"));
    markAll();
    Strings started;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKFolderControllerOperationDidStartNotification,
        nullptr, [&](const core::Notification&) { started.push_back(VKBrowserOperation::operationLabel()); });

    controller->commands().deleteMarkedItemsNoConfirmation();
    // The first slice ran at once and alone.
    EXPECT_GE(remaining("Many"), 5000u - VKFolderOperations::DeleteSliceItems);
    EXPECT_LT(remaining("Many"), 5000u);
    EXPECT_TRUE(controller->commands().operations().isDeleting());
    EXPECT_EQ(started, (Strings { "Deleting 5000 Items" }));
    EXPECT_FALSE(controller->isEditing());
    EXPECT_TRUE(VKBrowserOperation::canCancelCurrentOperation());
    EXPECT_EQ(controller->navigationItem().rightBarButtonItem()->title(), "Cancel");
    EXPECT_TRUE(isInTrashGroup());

    core::RunLoop::main().runOnce();
    core::RunLoop::main().runOnce();
    EXPECT_GT(VKBrowserOperation::operationProgress(), 0.0f);
    size_t before = remaining("Many");
    EXPECT_GT(before, 0u);

    // Cancel: nothing more goes, the trashed rows go, no alert.
    controller->cancelCurrentOperation(controller->navigationItem().rightBarButtonItem());
    runLoop();
    EXPECT_FALSE(controller->commands().operations().isDeleting());
    EXPECT_EQ(remaining("Many"), before);
    EXPECT_EQ(names(*controller).size(), before);
    EXPECT_EQ(size_t(controller->tableView().numberOfRows(0)), before);
    EXPECT_FALSE(alert());
    EXPECT_FALSE(isInTrashGroup());
    EXPECT_FALSE(VKBrowserOperation::isOperationInProgress());
    // The model update closed: an edit shows at once.
    makeDocument("Many/zzz.txt");
    controller->listing().add(resource(documents("Many/zzz.txt")));
    EXPECT_EQ(size_t(controller->tableView().numberOfRows(0)), before + 1);
}

TEST_F(VKFolderControllerDeleteTest, LargeDeleteGoesOnWithoutTheOperationWhenAnotherHoldsIt)
{
    makeMany("Busy", 700);
    show(documents("Busy"));
    markAll();
    auto other = VKBrowserOperation::startOperationWithLabel("Zipping", true);
    controller->commands().deleteMarkedItemsNoConfirmation();
    EXPECT_TRUE(controller->commands().operations().isDeleting());
    for (int pass = 0; pass < 100 && controller->commands().operations().isDeleting(); ++pass)
        core::RunLoop::main().runOnce();
    EXPECT_FALSE(controller->commands().operations().isDeleting());
    EXPECT_EQ(remaining("Busy"), 0u);
    EXPECT_TRUE(names(*controller).empty());
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Zipping");
    EXPECT_FALSE(alert());
    VKBrowserOperation::endOperation(other);
}

} // namespace
