// The folder screen's commands and their long operations on their own, with
// a host that records what it is told instead of a folder list: what the
// dispatcher asks of the screen, a delete of many items in slices, and
// commands whose screen went.

#include "App/FolderBrowser/VKFolderCommands.h"

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderOperations.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

namespace {

using Strings = std::vector<std::string>;
using EditAction = VKFolderCommands::EditAction;

struct RecordingHost : VKFolderCommandsHost {
    std::shared_ptr<VKFolderControllerBase> screen = std::make_shared<VKFolderControllerBase>();
    std::shared_ptr<VKFileResource> folder;
    VKFolderEditing marks;
    size_t rows = 0;
    int trashAnswer = VKViewerFolderHost::TrashMoved;
    Strings calls;

    static std::string named(const std::shared_ptr<VKFileResource>& resource) { return resource->name(); }
    VKFolderControllerBase& commandScreen() override { return *screen; }
    const std::shared_ptr<VKFileResource>& commandFolder() const override { return folder; }
    VKFolderEditing& commandMarks() override { return marks; }
    ui::TableView* commandTable() override { return nullptr; }
    size_t commandRowCount() override { return rows; }
    std::optional<ui::IndexPath> commandRowOf(const VKFileResource&) override { return std::nullopt; }
    bool commandScreenIsOnTop() const override { return true; }
    bool commandScreenIsVisible() const override { return true; }
    bool commandNameIsTaken(const std::string&, bool) override { return false; }
    bool commandShowsHiddenFiles() const override { return false; }
    void commandMarkAll(bool marked) override { calls.push_back(marked ? "mark all" : "unmark all"); }
    void commandOpen(const std::shared_ptr<VKFileResource>& r) override { calls.push_back("open " + named(r)); }
    void commandReveal(const std::shared_ptr<VKFileResource>& r) override { calls.push_back("reveal " + named(r)); }
    int commandMoveToTrash(const std::shared_ptr<VKFileResource>& r) override
    {
        calls.push_back("trash " + named(r));
        return trashAnswer;
    }
    void commandHoldList(bool hold) override { calls.push_back(hold ? "hold" : "let go"); }
    void commandAdded(const std::shared_ptr<VKFileResource>& r) override { calls.push_back("added " + named(r)); }
    void commandReplaced(const std::shared_ptr<VKFileResource>&, const std::shared_ptr<VKFileResource>&) override { }
    void commandRemoved(const std::vector<std::shared_ptr<VKFileResource>>& items) override
    {
        calls.push_back(fmt::format("removed {}", items.size()));
    }
    void commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& trashed) override
    {
        calls.push_back(fmt::format("deleted {}", trashed.size()));
    }
    void commandListChanged() override { calls.push_back("list changed"); }
    void commandScrollTo(const std::shared_ptr<VKFileResource>&, ui::TableView::ScrollPosition) override { }
    void commandHighlight(const std::shared_ptr<VKFileResource>&) override { }
};

class VKFolderCommandsTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        host = std::make_shared<RecordingHost>();
        host->folder = VKFileResource::resourceWithPath(makeFolder("Folder"));
        commands = VKFolderCommands::create();
        commands->setHost(host);
    }
    void TearDown() override
    {
        ui::AlertView::resetForTesting();
        VKBrowserOperation::resetOperationForTesting();
        commands.reset();
        host.reset();
        UITestCase::TearDown();
    }
    core::Value item(const std::string& name)
    {
        return core::Value(std::static_pointer_cast<core::Object>(VKFileResource::resourceWithPath(makeFile("Folder/" + name))));
    }
    // The alert shown, or "none".
    static std::string alertMessage()
    {
        runLoop();
        if (auto window = ui::AlertView::alertWindowForTesting())
            for (const auto& view : window->subviews())
                if (auto alert = std::dynamic_pointer_cast<ui::AlertView>(view))
                    return alert->message();
        return "none";
    }

    std::shared_ptr<RecordingHost> host;
    std::shared_ptr<VKFolderCommands> commands;
};

TEST_F(VKFolderCommandsTest, TheDispatcherAsksTheScreenForWhatIsItsOwn)
{
    commands->handleAction(EditAction::SelectAll, {});
    commands->handleAction(EditAction::SelectNone, {});
    commands->handleAction(EditAction::Open, item("a.txt"));
    commands->handleAction(EditAction::Reveal, item("a.txt"));
    commands->handleAction(EditAction::MoveToTrash, item("a.txt"));
    EXPECT_EQ(host->calls, (Strings { "mark all", "unmark all", "open a.txt", "reveal a.txt", "trash a.txt" }));
    EXPECT_EQ(alertMessage(), "none");

    // A refused trash says why.
    host->trashAnswer = VKViewerFolderHost::TrashLocked;
    commands->handleAction(EditAction::MoveToTrash, item("a.txt"));
    EXPECT_EQ(alertMessage(), "The folder is locked and cannot currently be deleted");
}

TEST_F(VKFolderCommandsTest, ADeleteWorksInSlicesUnderOneHoldOfTheList)
{
    const size_t count = VKFolderOperations::DeleteSliceItems + 50;
    std::vector<std::shared_ptr<VKFileResource>> items;
    for (size_t i = 0; i < count; ++i)
        items.push_back(VKFileResource::resourceWithPath(makeFile(fmt::format("Folder/{:03}.txt", i))));
    // One of them is gone before its turn: a failure, counted.
    items.push_back(VKFileResource::resourceWithPath(makeFile("Folder/gone.txt")));
    core::fs::removeItem(pathInHome("Folder/gone.txt"));

    auto& operations = commands->operations();
    operations.deleteItems(items);
    EXPECT_TRUE(operations.isDeleting());
    EXPECT_EQ(host->calls, Strings { "hold" });
    EXPECT_TRUE(VKBrowserOperation::isOperationInProgress()) << "a second slice shows the progress";
    // A second delete while one works is refused.
    operations.deleteItems({ items.front() });
    for (int pass = 0; pass < 100 && operations.isDeleting(); ++pass)
        core::RunLoop::main().runOnce();
    EXPECT_FALSE(operations.isDeleting());
    EXPECT_EQ(host->calls, (Strings { "hold", fmt::format("deleted {}", count) }));
    EXPECT_FALSE(core::fs::exists(pathInHome("Folder/000.txt")));
    EXPECT_EQ(alertMessage(), "Failed to delete 1 item: no such file or directory");

    // Nothing to delete only ends editing.
    host->calls.clear();
    operations.deleteItems({});
    EXPECT_TRUE(host->calls.empty());
    EXPECT_FALSE(operations.isDeleting());
}

TEST_F(VKFolderCommandsTest, CommandsWhoseScreenWentDoNothing)
{
    const core::Value a = item("a.txt");
    host.reset();
    commands->handleAction(EditAction::SelectAll, {});
    commands->handleAction(EditAction::MoveToTrash, a);
    commands->deleteMarkedItems(nullptr);
    commands->createNewFolder(nullptr);
    commands->operations().deleteItems({ a.objectAs<VKFileResource>() });
    EXPECT_FALSE(commands->operations().isDeleting());
    EXPECT_EQ(alertMessage(), "none");
}

} // namespace
