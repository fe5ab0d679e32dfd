// The folder screen's row cells on a bare table, without a screen: one
// reused cell per kind, the table's width, and the dress a row takes as it
// shows (editing, its mark, the indicator only without the letter strip).

#include "App/FolderBrowser/VKFolderRowCells.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderEditing.h"
#include "FileModel/VKFileResource.h"
#include "Platform/UI/TableView.h"
#include "Support/UITestCase.h"

namespace {

using VKFolderRowCellsTest = test::UITestCase;

TEST_F(VKFolderRowCellsTest, CellsAreMadeOnceAndDressedForTheScreenState)
{
    auto table = ui::TableView::create({ 0, 0, 300, 400 }, ui::TableView::Style::Plain);
    auto a = VKFileResource::resourceWithPath(makeFile("Library/Documents/Cells/a.txt", "a"));
    auto b = VKFileResource::resourceWithPath(makeFile("Library/Documents/Cells/b.txt", "b"));
    auto cell = VKFolderRowCells::make(*table, a, false);
    EXPECT_EQ(cell->frame(), (gfx::Rect { 0, 0, 300, VKFileResourceCell::RowHeight }));
    EXPECT_EQ(cell->resource(), a);

    VKFolderEditing marks;
    marks.mark(*b);
    VKFolderRowCells::dress(*cell, true, marks, true);
    EXPECT_TRUE(cell->isEditing());
    EXPECT_FALSE(cell->isMarked());
    EXPECT_EQ(cell->accessoryType(), ui::TableViewCell::Accessory::None);
    cell->setResource(b);
    VKFolderRowCells::dress(*cell, false, marks, false);
    EXPECT_FALSE(cell->isEditing());
    EXPECT_TRUE(cell->isMarked());
    EXPECT_EQ(cell->accessoryType(), ui::TableViewCell::Accessory::DisclosureIndicator);
    // Not an image: no thumbnail is asked for; a plain cell is left alone.
    VKFolderRowCells::askThumbnail(*cell);
    ui::TableViewCell plain(ui::TableViewCell::Style::Default, "plain");
    VKFolderRowCells::askThumbnail(plain);
    VKFolderRowCells::dress(plain, true, marks, true);
    EXPECT_TRUE(plain.isEditing());
}

} // namespace
