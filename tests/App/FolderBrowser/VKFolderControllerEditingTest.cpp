// Editing mode's frame: the toolbar and its state, marking all or none,
// every action code through the dispatcher and the callbacks that feed it,
// and the background operation that the long commands start.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderOperations.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionButton.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"

#include <fmt/format.h>

#include <atomic>
#include <future>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

// Records what the dispatcher reaches instead of doing it: the screen's
// own commands, and (through RecordingCommands) the commands'.
class RecordingFolderController : public VKFolderController {
public:
    using VKFolderController::VKFolderController;
    static std::shared_ptr<RecordingFolderController> make(const std::shared_ptr<VKFileResource>& resource);

    Strings calls;

    void record(const std::string& call, const std::shared_ptr<core::Object>& sender)
    {
        calls.push_back(call + (sender.get() == static_cast<core::Object*>(this) ? "(self)" : "(?)"));
    }
    static std::string named(const std::shared_ptr<VKFileResource>& resource)
    {
        return resource ? resource->name() : "none";
    }

    void markAllItems() override { calls.push_back("markAllItems"); }
    void unmarkAllItems() override { calls.push_back("unmarkAllItems"); }
    void openResource(const std::shared_ptr<VKFileResource>& r) override { calls.push_back("openResource " + named(r)); }
    void revealResource(const std::shared_ptr<VKFileResource>& r) override { calls.push_back("reveal " + named(r)); }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>& r) override
    {
        calls.push_back("trash " + named(r));
        return trashAnswer;
    }

    int trashAnswer = TrashMoved;
};

class RecordingCommands : public VKFolderCommands {
public:
    explicit RecordingCommands(RecordingFolderController& screen) : screen(screen) { }
    RecordingFolderController& screen;

    void record(const std::string& call, const std::shared_ptr<core::Object>& sender) { screen.record(call, sender); }
    static std::string named(const std::shared_ptr<VKFileResource>& resource)
    {
        return RecordingFolderController::named(resource);
    }

    void renameMarkedItem(const std::shared_ptr<core::Object>& s) override { record("renameMarkedItem", s); }
    void unzipMarkedItem(const std::shared_ptr<core::Object>& s) override { record("unzipMarkedItem", s); }
    void deleteMarkedItems(const std::shared_ptr<core::Object>& s) override { record("deleteMarkedItems", s); }
    void zipMarkedItems(const std::shared_ptr<core::Object>& s) override { record("zipMarkedItems", s); }
    void importMedia(const std::shared_ptr<core::Object>& s) override { record("importMedia", s); }
    void copyMarkedItemsToSavedPhotosAlbum(const std::shared_ptr<core::Object>& s) override
    {
        record("copyMarkedItemsToSavedPhotosAlbum", s);
    }
    void openIn(const std::shared_ptr<core::Object>& s) override { record("openIn", s); }
    void emailMarkedItems(const std::shared_ptr<core::Object>& s) override { record("emailMarkedItems", s); }
    void performActionWithDestination(const std::string& action, const core::Value& destination) override
    {
        screen.calls.push_back("perform " + action + " " + destination.toString());
    }
    void deleteMarkedItemsNoConfirmation() override { screen.calls.push_back("deleteMarkedItemsNoConfirmation"); }
    void unzipResource(const std::shared_ptr<VKFileResource>& r, const std::optional<std::string>& password) override
    {
        screen.calls.push_back("unzipResource " + named(r) + " " + password.value_or("nopassword"));
    }
    void emailResources(const std::vector<std::shared_ptr<VKFileResource>>& resources) override
    {
        std::string line = "emailResources";
        for (const auto& resource : resources)
            line += " " + resource->name();
        screen.calls.push_back(line);
    }
    void unzipPasswordPromptClickedButton(VKPopupAlert& alert, int index) override
    {
        screen.calls.push_back(fmt::format("unzipPassword {} {}", alert.tag(), index));
    }
    void moveToCloudSheetClickedButton(VKActionSheet& sheet, int index) override
    {
        screen.calls.push_back(fmt::format("moveToCloud {} {}", sheet.tag(), index));
    }
};

std::shared_ptr<RecordingFolderController> RecordingFolderController::make(const std::shared_ptr<VKFileResource>& resource)
{
    auto controller = std::make_shared<RecordingFolderController>(resource);
    controller->setCommands(std::make_shared<RecordingCommands>(*controller));
    controller->startObserving();
    return controller;
}

class VKFolderControllerEditingTest : public test::FolderListingTestCase {
protected:
    void TearDown() override
    {
        VKBrowserOperation::resetOperationForTesting();
        ui::AlertView::resetForTesting();
        recording.reset();
        FolderListingTestCase::TearDown();
    }

    std::shared_ptr<RecordingFolderController> showRecording(const std::string& path)
    {
        recording = RecordingFolderController::make(resource(path));
        controller = recording;
        navigation = VKNavigationController::create(controller);
        delegate->setNavigationController(navigation);
        window().setRootViewController(navigation);
        runLoop();
        return recording;
    }
    core::Value value(const std::string& path) { return core::Value(std::static_pointer_cast<core::Object>(resource(path))); }
    void markRows(std::initializer_list<int> rows)
    {
        for (int row : rows)
            controller->tableSide().didMarkCell(controller->tableView(), { 0, row });
    }
    static Strings enabledActions(const VKFolderController& screen)
    {
        Strings found;
        for (const auto& item : screen.editingToolbarItems())
            if (!item->isFlexibleSpace() && item->isEnabled())
                found.push_back(findAction(*item).value_or("?"));
        return found;
    }

    std::shared_ptr<RecordingFolderController> recording;
};

TEST_F(VKFolderControllerEditingTest, EditingToolbarIsBuiltOnceAndFollowsTheMarks)
{
    makeDocument("Edit/a.txt", std::string(1024 * 1024, 'a'));
    makeDocument("Edit/b.txt", std::string(512 * 1024, 'b'));
    makeDocument("Edit/c.txt");
    show(documents("Edit"));
    controller->setEditing(true, false);
    runLoop();
    navigation->toolbar().layoutIfNeeded();
    const auto items = controller->editingToolbarItems();
    ASSERT_EQ(items.size(), 11u);
    Strings titles;
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->isFlexibleSpace(), i % 2 == 0) << i;
        if (auto* button = dynamic_cast<VKActionButton*>(items[i]->customView().get())) {
            titles.push_back(button->title());
            // Five fit across a phone upright, as wide as they may be.
            EXPECT_LE(button->frame().width(), VKFolderEditing::ButtonWidth);
            EXPECT_GE(button->frame().width(), 44);
            EXPECT_LE(button->convertRect(button->bounds(), &navigation->toolbar()).maxX(),
                navigation->toolbar().bounds().width());
            EXPECT_EQ(button->frame().height(), navigation->toolbar().frame().height());
            EXPECT_TRUE(button->image()) << button->title();
        }
    }
    EXPECT_EQ(titles, (Strings { "Delete", "Move", "Copy", "Email", "More" }));
    EXPECT_EQ(enabledActions(*controller), (Strings { "showEditActionMenu" }));
    EXPECT_EQ(controller->navigationItem().prompt(), "No Items Selected");

    // Two marks: everything acts, the prompt counts 64-bit sizes.
    markRows({ 0, 1 });
    EXPECT_EQ(enabledActions(*controller),
        (Strings { "deleteMarkedItems", "moveMarkedItems", "copyMarkedItems", "emailMarkedItems", "showEditActionMenu" }));
    EXPECT_EQ(controller->navigationItem().prompt(), "2 Items Selected, 1.5 MB");
    controller->tableSide().didUnmarkCell(controller->tableView(), { 0, 0 });
    controller->tableSide().didUnmarkCell(controller->tableView(), { 0, 1 });
    EXPECT_EQ(enabledActions(*controller), (Strings { "showEditActionMenu" }));

    // Leaving and entering again keeps the same items.
    controller->setEditing(false, false);
    EXPECT_EQ(controller->navigationItem().prompt(), "");
    controller->setEditing(true, false);
    EXPECT_EQ(controller->editingToolbarItems(), items);
    EXPECT_EQ(controller->toolbarItems(), items);

    // Tapping a toolbar button reaches its command.
    markRows({ 2 });
    driver.tap(*controller->findBarButtonItemWithAction(VKFolderCommands::DeleteMarkedItemsAction)->customView());
    runLoop();
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->tag(), vkTag(VKFolderCommands::Sheet::DeleteConfirmation));
    sheet->dismiss(sheet->cancelButtonIndex(), false);
}

TEST_F(VKFolderControllerEditingTest, SixGigabytesOfMarksAndTheSelectAllButton)
{
    for (const char* name : { "a.iso", "b.iso" }) {
        std::string path = makeDocument(std::string("Big/") + name, "");
        ASSERT_EQ(::truncate(path.c_str(), off_t(3) << 30), 0);
    }
    show(documents("Big"));
    controller->setEditing(true, false);
    markRows({ 0, 1 });
    EXPECT_EQ(controller->navigationItem().prompt(), "2 Items Selected, 6 GB");

    // A screen whose left button selects gets "Select None" while marked
    // and "Select All" otherwise, and nothing to press on an empty list.
    auto left = barButtonItemWithTitle("Select All", ui::BarButtonItem::Style::Bordered, nullptr,
        VKFolderEditing::MarkAllAction, [](ui::BarButtonItem&) { });
    controller->navigationItem().setLeftBarButtonItem(left);
    controller->editing().updateBars();
    EXPECT_EQ(controller->navigationItem().leftBarButtonItem()->title(), "Select None");
    EXPECT_EQ(findAction(*controller->navigationItem().leftBarButtonItem()), "unmarkAllItems");
    driver.tapBarItem(VKFolderEditing::UnmarkAllAction);
    EXPECT_EQ(controller->editing().markedSize(), 0u);
    EXPECT_EQ(controller->navigationItem().leftBarButtonItem()->title(), "Select All");
    driver.tapBarItem(VKFolderEditing::MarkAllAction);
    EXPECT_EQ(controller->editing().markedResources().size(), 2u);
    EXPECT_EQ(controller->editing().markedSize(), uint64_t(6) << 30);

    show(documents());
    makeDocument("Empty/");
    show(documents("Empty"));
    controller->setEditing(true, false);
    controller->navigationItem().setLeftBarButtonItem(left);
    controller->editing().updateBars();
    EXPECT_FALSE(controller->navigationItem().leftBarButtonItem()->isEnabled());
    EXPECT_EQ(controller->navigationItem().leftBarButtonItem()->title(), "Select All");
}

TEST_F(VKFolderControllerEditingTest, SelectAllSkipsItemsWithoutOperationsAndMarksKeepRowOrder)
{
    // A download still running offers nothing to act on.
    struct Inert : VKFileResource {
        explicit Inert(std::string path) : VKFileResource(std::move(path)) { }
        int32_t supportedFileOperations() const override { return 0; }
    };
    makeDocument("Sel/c.txt");
    makeDocument("Sel/a.txt");
    makeDocument("Sel/b.txt");
    show(documents("Sel"));
    controller->listing().add(std::make_shared<Inert>(documents("Sel/d.part")));
    ASSERT_EQ(names(*controller), (Strings { "a.txt", "b.txt", "c.txt", "d.part" }));
    controller->setEditing(true, false);
    controller->commands().handleAction(VKFolderCommands::EditAction::SelectAll, {});
    Strings marked;
    for (const auto& item : controller->editing().markedResources())
        marked.push_back(item->name());
    EXPECT_EQ(marked, (Strings { "a.txt", "b.txt", "c.txt" }));
    controller->commands().handleAction(VKFolderCommands::EditAction::SelectNone, {});
    EXPECT_TRUE(controller->editing().markedResources().empty());

    // Marked out of order, answered in row order.
    markRows({ 2, 0 });
    marked.clear();
    for (const auto& item : controller->editing().markedResources())
        marked.push_back(item->name());
    EXPECT_EQ(marked, (Strings { "a.txt", "c.txt" }));
}

TEST_F(VKFolderControllerEditingTest, EveryActionCodeReachesItsOperation)
{
    makeDocument("D/a.txt");
    makeDocument("D/b.txt");
    showRecording(documents("D"));
    const core::Value a = value(documents("D/a.txt"));
    const core::Value both(core::Value::Array { a, value(documents("D/b.txt")) });
    const core::Value perform(
        std::make_shared<VKFolderCommands::DestinationChoice>("copyMarkedItemsToDestination", core::Value("/dest")));
    struct Case {
        int code;
        core::Value userInfo;
        std::string reached;
    };
    const std::vector<Case> cases = {
        { 1001, {}, "markAllItems" },
        { 1002, {}, "unmarkAllItems" },
        { 1003, {}, "renameMarkedItem(self)" },
        { 1004, {}, "unzipMarkedItem(self)" },
        { 1005, {}, "deleteMarkedItems(self)" },
        { 1006, {}, "zipMarkedItems(self)" },
        { 1009, {}, "importMedia(self)" },
        { 1010, {}, "copyMarkedItemsToSavedPhotosAlbum(self)" },
        { 1014, {}, "openIn(self)" },
        { 1015, a, "openResource a.txt" },
        { 1016, a, "reveal a.txt" },
        { 1017, {}, "emailMarkedItems(self)" },
        { 1020, perform, "perform copyMarkedItemsToDestination /dest" },
        { 1021, {}, "deleteMarkedItemsNoConfirmation" },
        { 1022, a, "unzipResource a.txt nopassword" },
        { 1023, a, "trash a.txt" },
        { 1024, both, "emailResources a.txt b.txt" },
    };
    for (const auto& c : cases) {
        recording->calls.clear();
        recording->commands().handleAction(VKFolderCommands::EditAction(c.code), c.userInfo);
        EXPECT_EQ(recording->calls, (Strings { c.reached })) << c.code;
    }
    // Codes that name nothing here, and codes missing what they need.
    for (int code : { 0, 1007, 1008, 1011, 1012, 1013, 1018, 1019, 1025, 3001, 999999 }) {
        recording->calls.clear();
        recording->commands().handleAction(VKFolderCommands::EditAction(code), a);
        EXPECT_TRUE(recording->calls.empty()) << code;
    }
    for (int code : { 1015, 1016, 1022, 1024 }) {
        recording->calls.clear();
        recording->commands().handleAction(VKFolderCommands::EditAction(code), {});
        EXPECT_TRUE(recording->calls.empty()) << code;
    }
}

TEST_F(VKFolderControllerEditingTest, SheetsPopupsAndAlertsRunTheirCodes)
{
    makeDocument("D/a.txt");
    showRecording(documents("D"));
    using Sheet = VKFolderCommands::Sheet;
    using Action = VKFolderCommands::EditAction;
    auto sheetWith = [&](Sheet kind, std::vector<std::pair<std::string, int>> buttons, core::Value userInfo = {}) {
        auto sheet = VKActionSheet::create("", controller->commands().selfAs<ui::ActionSheetDelegate>());
        vkSetTag(*sheet, kind);
        sheet->setUserInfo(std::move(userInfo));
        for (const auto& [title, buttonTag] : buttons)
            sheet->addButtonWithTitle(title, buttonTag);
        sheet->setCancelButtonIndex(sheet->addButtonWithTitle("Cancel", VKActionSheet::UntaggedButton));
        return sheet;
    };
    auto clicked = [&](ui::ActionSheet& sheet, int index) {
        recording->calls.clear();
        recording->commands().clickedButton(sheet, index);
        return recording->calls;
    };

    // The menu (and the long touch's sheet) run their buttons' tags.
    auto menu = sheetWith(Sheet::EditActionMenu, { { "Select None", vkTag(Action::SelectNone) }, { "Keep", vkTag(Action::KeepExtension) } });
    EXPECT_EQ(clicked(*menu, 0), (Strings { "unmarkAllItems" }));
    EXPECT_EQ(clicked(*menu, 1), Strings {});
    EXPECT_EQ(clicked(*menu, 2), Strings {});
    auto longTouch = sheetWith(Sheet::LongTouch, { { "Reveal", vkTag(Action::Reveal) } }, value(documents("D/a.txt")));
    EXPECT_EQ(clicked(*longTouch, 0), (Strings { "reveal a.txt" }));

    // Any other sheet runs its own tag with its value.
    auto trash = sheetWith(Sheet::DeleteFolder, { { "Delete", VKActionSheet::UntaggedButton } },
        value(documents("D/a.txt")));
    EXPECT_EQ(clicked(*trash, 0), (Strings { "trash a.txt" }));
    EXPECT_EQ(clicked(*trash, 1), Strings {});
    auto unzip = sheetWith(Sheet::Unzip, { { "Unzip", 1 } }, value(documents("D/a.txt")));
    EXPECT_EQ(clicked(*unzip, 0), (Strings { "unzipResource a.txt nopassword" }));
    auto plain = ui::ActionSheet::create("", controller->commands().selfAs<ui::ActionSheetDelegate>(), "Cancel",
        "Delete");
    vkSetTag(*plain, Sheet::DeleteConfirmation);
    EXPECT_EQ(clicked(*plain, 0), (Strings { "deleteMarkedItemsNoConfirmation" }));
    auto cloud = sheetWith(Sheet::MoveToCloud, { { "Move", 1 } });
    EXPECT_EQ(clicked(*cloud, 0), (Strings { "moveToCloud 3005 0" }));

    // A sheet the system takes away runs nothing, shown and dismissed by code.
    menu = sheetWith(Sheet::EditActionMenu, { { "Select All", vkTag(Action::SelectAll) } });
    ::showActionSheet(*controller, *menu, nullptr);
    runLoop();
    ASSERT_TRUE(menu->isVisible());
    recording->calls.clear();
    menu->setTag(VKActionSheetTagSystemCancelled);
    menu->dismiss(menu->cancelButtonIndex(), false);
    EXPECT_TRUE(recording->calls.empty());
    EXPECT_EQ(clicked(*menu, 0), Strings {});

    // Alerts: the confirming button runs the alert's tag, a VKAlertView's
    // value going along.
    auto alert = VKAlertView::create("Warning", "big", controller->commands().selfAs<ui::AlertViewDelegate>(), "Cancel",
        { "Continue" });
    vkSetTag(*alert, VKFolderCommands::Alert::EmailSize);
    alert->setUserInfo(core::Value(core::Value::Array { value(documents("D/a.txt")) }));
    recording->calls.clear();
    recording->commands().clickedButton(*alert, 1);
    recording->commands().clickedButton(*alert, 0);
    EXPECT_EQ(recording->calls, (Strings { "emailResources a.txt" }));
    auto plainAlert = ui::AlertView::create("", "", controller->commands().selfAs<ui::AlertViewDelegate>(), "Cancel", { "OK" });
    // An action's value is no alert of this screen.
    plainAlert->setTag(vkTag(VKFolderCommands::EditAction::Delete));
    recording->calls.clear();
    recording->commands().clickedButton(*plainAlert, 1);
    EXPECT_TRUE(recording->calls.empty());

    // Popups: the unzip password goes to its owner, cancel to nobody.
    auto popup = VKPopupAlert::create("Password", controller->commands().selfAs<VKPopupAlertDelegate>());
    vkSetTag(*popup, VKFolderCommands::Prompt::UnzipPassword);
    popup->addCancelButtonWithTitle("Cancel");
    popup->addButtonWithTitle("Unzip");
    recording->calls.clear();
    recording->commands().popupAlert(*popup, 0);
    recording->commands().popupAlert(*popup, 1);
    EXPECT_EQ(recording->calls, (Strings { "unzipPassword 1012 1" }));
    popup->setTag(1005);
    recording->calls.clear();
    recording->commands().popupAlert(*popup, 1);
    EXPECT_TRUE(recording->calls.empty());
}

TEST_F(VKFolderControllerEditingTest, MovingOneItemToTheTrashTellsWhyItFailed)
{
    makeDocument("T/a.txt");
    showRecording(documents("T"));
    recording->trashAnswer = VKFolderController::TrashLocked;
    recording->commands().handleAction(VKFolderCommands::EditAction::MoveToTrash, value(documents("T/a.txt")));
    runLoop();
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "The folder is locked and cannot currently be deleted");
    driver.pressAlertButton("OK");
    recording->trashAnswer = 0;
    recording->commands().handleAction(VKFolderCommands::EditAction::MoveToTrash, value(documents("T/a.txt")));
    runLoop();
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->message(), "Failed to delete");
    driver.pressAlertButton("OK");
    recording->trashAnswer = VKFolderController::TrashMoved;
    recording->commands().handleAction(VKFolderCommands::EditAction::MoveToTrash, value(documents("T/a.txt")));
    runLoop();
    EXPECT_TRUE(driver.shownChoices().empty());

    // The real thing, through the screen.
    show(documents("T"));
    controller->commands().handleAction(VKFolderCommands::EditAction::MoveToTrash, value(documents("T/a.txt")));
    runLoop();
    EXPECT_FALSE(core::fs::exists(documents("T/a.txt")));
    EXPECT_TRUE(names(*controller).empty());
}

TEST_F(VKFolderControllerEditingTest, RevealHereInAnotherFolderAndFromASearch)
{
    for (int i = 0; i < 30; ++i)
        makeDocument(fmt::format("Here/f{:02}.txt", i));
    makeDocument("There/x.txt");
    show(documents("Here"));
    auto here = controller;
    auto topFolder = [&]() -> std::shared_ptr<VKFolderController> {
        auto* top = navigation->topViewController();
        return top ? std::dynamic_pointer_cast<VKFolderController>(top->shared_from_this()) : nullptr;
    };
    auto rowShown = [](VKFolderController& screen, const std::string& path) {
        auto row = screen.indexPathOfResource(*resource(path));
        return row && screen.activeTableView().cellForRow(*row) != nullptr;
    };

    // In this folder: the row comes into view at once.
    controller->commands().handleAction(VKFolderCommands::EditAction::Reveal, value(documents("Here/f29.txt")));
    EXPECT_TRUE(rowShown(*here, documents("Here/f29.txt")));
    EXPECT_EQ(topFolder(), here);

    // In another: the delegate opens it, its screen shows the row.
    controller->commands().handleAction(VKFolderCommands::EditAction::Reveal, value(documents("There/x.txt")));
    runLoop();
    auto there = topFolder();
    ASSERT_TRUE(there);
    EXPECT_EQ(there->folderPath(), documents("There"));
    EXPECT_TRUE(rowShown(*there, documents("There/x.txt")));

    // From a search: the parent opens over the search.
    show(documents("Here"));
    controller->beginSearch();
    runLoop();
    ASSERT_TRUE(controller->isSearching());
    controller->commands().handleAction(VKFolderCommands::EditAction::Reveal, value(documents("There/x.txt")));
    runLoop();
    ASSERT_TRUE(topFolder());
    EXPECT_EQ(topFolder()->folderPath(), documents("There"));
    EXPECT_EQ(navigation->viewControllers().size(), 2u);
}

TEST_F(VKFolderControllerEditingTest, BackgroundOperationLeavesEditingAndRunsOnItsOwnThread)
{
    makeDocument("B/a.txt");
    show(documents("B"));
    controller->setEditing(true, false);
    std::promise<std::tuple<bool, std::string, VKBrowserOperation::Run>> ran;
    auto target = std::make_shared<core::Object>();
    auto run = controller->commands().operations().startBackgroundOperationWithTarget(target,
        [&](const std::shared_ptr<core::Object>& given, const core::Value& object, VKBrowserOperation::Run workRun) {
            ran.set_value({ given == target && !core::Thread::isMainThread(), object.string(), workRun });
            VKBrowserOperation::endOperation(workRun);
        },
        core::Value("payload"), "Copying 2 Items", false);
    EXPECT_NE(run, VKBrowserOperation::NoRun);
    EXPECT_FALSE(controller->isEditing());
    auto result = ran.get_future().get();
    EXPECT_TRUE(std::get<0>(result));
    EXPECT_EQ(std::get<1>(result), "payload");
    EXPECT_EQ(std::get<2>(result), run);
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_FALSE(VKBrowserOperation::isOperationInProgress());

    // While another operation runs nothing starts and nothing runs.
    auto other = VKBrowserOperation::startOperationWithLabel("Zipping", true);
    controller->setEditing(true, false);
    std::atomic<bool> started { false };
    auto refused = controller->commands().operations().startBackgroundOperationWithTarget(nullptr,
        [&](const std::shared_ptr<core::Object>&, const core::Value&, VKBrowserOperation::Run) { started = true; },
        {}, "Copying", false);
    EXPECT_EQ(refused, VKBrowserOperation::NoRun);
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_FALSE(started);
    EXPECT_EQ(VKBrowserOperation::operationLabel(), "Zipping");
    VKBrowserOperation::endOperation(other);
}

} // namespace

TEST_F(VKFolderControllerEditingTest, ReturnMarksTheRowTheArrowsReachedAndEscapeLeavesEditing)
{
    makeDocument("K/a.txt");
    makeDocument("K/b.txt");
    show(documents("K"));
    controller->setEditing(true, false);
    auto marked = [&] {
        Strings found;
        for (const auto& item : controller->editing().markedResources())
            found.push_back(item->name());
        return found;
    };
    EXPECT_TRUE(driver.key(ui::KeyCommand::Down));
    EXPECT_TRUE(driver.key(ui::KeyCommand::Down));
    EXPECT_TRUE(driver.key(ui::KeyCommand::Return));
    EXPECT_EQ(marked(), (Strings { "b.txt" }));
    EXPECT_EQ(controller->navigationItem().prompt(), "1 Item Selected, 1 B");
    EXPECT_TRUE(driver.key(ui::KeyCommand::Up));
    EXPECT_TRUE(driver.key(ui::KeyCommand::Return));
    EXPECT_EQ(marked(), (Strings { "a.txt", "b.txt" }));
    EXPECT_TRUE(driver.key(ui::KeyCommand::Return));
    EXPECT_EQ(marked(), (Strings { "b.txt" }));

    EXPECT_TRUE(driver.key(ui::KeyCommand::Escape));
    EXPECT_FALSE(controller->isEditing());
    EXPECT_TRUE(controller->editing().markedResources().empty());
    EXPECT_EQ(controller->navigationController()->topViewController(), controller.get()) << "the screen stays";
    // Nothing opaque is left over the rows that were marked: their
    // separators show, and the chosen row's colour under its white text.
    controller->tableView().layoutIfNeeded();
    ASSERT_EQ(controller->tableView().visibleCells().size(), 2u);
    for (auto* cell : controller->tableView().visibleCells())
        EXPECT_EQ(cell->contentView().backgroundColor().alpha(), 0);
}
