// The small hosts that answer the folder screen's collaborators, and its
// table side: the screen goes with its parts once its owner lets go (no
// part keeps it), and a host or a table side kept past its screen answers
// "no" and does nothing.

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderEditingHost.h"
#include "App/FolderBrowser/VKFolderNavigationHost.h"
#include "App/FolderBrowser/VKFolderRowsHost.h"
#include "App/FolderBrowser/VKFolderTableSide.h"

#include "FileModel/VKFileResource.h"
#include "Support/UITestCase.h"

namespace {

using VKFolderScreenHostsTest = test::UITestCase;

TEST_F(VKFolderScreenHostsTest, TheScreenGoesWithItsPartsAndTheirHostsAnswerNothingAfter)
{
    makeFile("Library/Documents/Hosts/a.txt", "a");
    auto folder = VKFileResource::resourceWithPath(makeFolder("Library/Documents/Hosts"));
    auto screen = VKFolderController::create(folder);
    screen->view();
    screen->updateToolbarItems();
    screen->setEditing(true, false);
    screen->markAllItems();
    ASSERT_EQ(screen->editing().markCount(), 1u);
    screen->rowReveal().select(screen->resourceAtIndexPath({ 0, 0 }), false);
    screen->rowOpener();
    screen->commands();
    ASSERT_EQ(screen->tableSide().numberOfRows(screen->tableView(), 0), 1);
    std::weak_ptr<VKFolderController> weak = screen;
    screen.reset();
    runLoop();
    ASSERT_TRUE(weak.expired());

    auto item = VKFileResource::resourceWithPath(folder->path() + "/a.txt");
    VKFolderRowsHost rows(weak);
    EXPECT_FALSE(rows.listingQuery());
    EXPECT_FALSE(rows.listingIsOnTop());
    EXPECT_FALSE(rows.transferIsListed(item));
    EXPECT_FALSE(rows.revealTable());
    rows.changesFolderChanged(true);
    rows.transferFinished(item, nullptr);
    rows.transferDeleted();

    VKFolderEditingHost editing(weak);
    EXPECT_TRUE(editing.editingRows().empty());
    EXPECT_FALSE(editing.commandTable());
    EXPECT_FALSE(editing.commandNameIsTaken("a.txt", false));
    EXPECT_EQ(editing.commandMoveToTrash(item), 0);
    editing.commandDeleted({ item });
    editing.commandMarkAll(true);

    VKFolderNavigationHost navigation(weak);
    EXPECT_FALSE(navigation.openerViewerHost());
    EXPECT_TRUE(navigation.openerSheetDelegate().expired());
    navigation.openerPush(nullptr, "Back");
    navigation.folderSearchWillBegin();
    navigation.folderSearchWillEnd();
    runLoop();

    VKFolderTableSide side(weak);
    auto table = ui::TableView::create({ 0, 0, 320, 460 }, ui::TableView::Style::Plain);
    EXPECT_EQ(side.numberOfSections(*table), 0);
    EXPECT_EQ(side.numberOfRows(*table, 0), 0);
    EXPECT_FALSE(side.willSelectRow(*table, { 0, 0 }));
    EXPECT_FALSE(side.canEditRow(*table, { 0, 0 }));
    side.didSelectRow(*table, { 0, 0 });
    side.didMarkCell(*table, { 0, 0 });
    side.commitEditing(*table, ui::TableViewCell::EditingStyle::Delete, { 0, 0 });
}

} // namespace
