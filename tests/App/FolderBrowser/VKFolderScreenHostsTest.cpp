// The small hosts that answer the folder screen's collaborators, and its
// table side: the screen goes with its parts once its owner lets go (no
// part keeps it), and a part or a table kept past its screen reaches no
// host and no table side.

#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderTableSide.h"

#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "FileModel/VKFileResource.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Support/UITestCase.h"

namespace {

using VKFolderScreenHostsTest = test::UITestCase;

TEST_F(VKFolderScreenHostsTest, TheScreenGoesWithItsPartsAndNothingReachesItsHostsAfter)
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
    auto commands = screen->commands().selfAs<VKFolderCommands>();
    ASSERT_TRUE(commands->hasHost());
    auto table = std::static_pointer_cast<ui::TableView>(screen->tableView().shared_from_this());
    ASSERT_EQ(screen->tableSide().numberOfRows(*table, 0), 1);
    std::weak_ptr<VKFolderController> weak = screen;
    screen.reset();
    runLoop();
    ASSERT_TRUE(weak.expired());
    EXPECT_FALSE(commands->hasHost());
    // The table kept past its screen shows no rows.
    table->reloadData();
    EXPECT_EQ(table->numberOfSections(), 0);
}

// Marking: "New Folder" where the folder allows one, the commands' toolbar,
// the back button and the search field put away; leaving puts them back.
TEST_F(VKFolderScreenHostsTest, MarkingSwapsTheBarsAndLeavingRestoresThem)
{
    auto screen = VKFolderController::create(VKFileResource::resourceWithPath(makeFolder("Library/Documents/Marking")));
    screen->view();
    screen->updateToolbarItems();
    ui::NavigationItem& item = screen->navigationItem();
    screen->setEditing(true, false);
    ASSERT_TRUE(item.leftBarButtonItem());
    EXPECT_TRUE(item.leftBarButtonItem()->hasAction("createNewFolder"));
    EXPECT_TRUE(item.hidesBackButton());
    EXPECT_FALSE(screen->searchBar()->textField().isEnabled());
    ASSERT_FALSE(screen->editingToolbarItems().empty());
    EXPECT_EQ(screen->toolbarItems(), screen->editingToolbarItems());
    screen->setEditing(false, false);
    EXPECT_FALSE(item.leftBarButtonItem() && item.leftBarButtonItem()->hasAction("createNewFolder"));
    EXPECT_FALSE(item.hidesBackButton());
    EXPECT_TRUE(screen->searchBar()->textField().isEnabled());
    EXPECT_NE(screen->toolbarItems(), screen->editingToolbarItems());
}

} // namespace
