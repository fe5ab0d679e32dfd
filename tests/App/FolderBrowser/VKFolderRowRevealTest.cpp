// Revealing a folder's row on a bare table, without a screen: scrolling
// only when the row does not show whole, selecting one row at a time, and
// a flash that follows the row as it moves and stops when the reveal goes.

#include "App/FolderBrowser/VKFolderRowReveal.h"

#include "FileModel/VKFileResource.h"
#include "Platform/UI/TableViewCell.h"
#include "Support/UITestCase.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

struct RevealItem : VKFileResource {
    explicit RevealItem(std::string path) : VKFileResource(std::move(path)) { }
};

struct RevealRows : ui::TableViewDataSource, VKFolderRowReveal::Host {
    std::vector<std::shared_ptr<VKFileResource>> items;
    std::shared_ptr<ui::TableView> table;

    int numberOfSections(ui::TableView&) override { return 1; }
    int numberOfRows(ui::TableView&, int) override { return int(items.size()); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& view, ui::IndexPath) override
    {
        auto cell = view.dequeueReusableCell("row");
        return cell ? cell : std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "row");
    }
    ui::TableView* revealTable() override { return table.get(); }
    std::optional<ui::IndexPath> revealRowOf(const VKFileResource& resource) override
    {
        auto found = std::find_if(items.begin(), items.end(), [&](const auto& item) { return item.get() == &resource; });
        if (found == items.end())
            return std::nullopt;
        return ui::IndexPath { 0, int(found - items.begin()) };
    }
};

class VKFolderRowRevealTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        for (int i = 0; i < 30; ++i)
            rows->items.push_back(std::make_shared<RevealItem>(fmt::format("/d/file {:02}", i)));
        rows->table = ui::TableView::create({ 0, 0, 320, 460 }, ui::TableView::Style::Plain);
        rows->table->setRowHeight(68);
        rows->table->setDataSource(rows);
        rows->table->reloadData();
        rows->table->layoutIfNeeded();
    }
    void TearDown() override
    {
        reveal.reset();
        if (rows)
            rows->table.reset();
        UITestCase::TearDown();
    }
    bool lit(int row) { return rows->table->cellForRow({ 0, row }) && rows->table->cellForRow({ 0, row })->isSelected(); }

    std::shared_ptr<RevealRows> rows = std::make_shared<RevealRows>();
    std::unique_ptr<VKFolderRowReveal> reveal = std::make_unique<VKFolderRowReveal>(*rows);
};

TEST_F(VKFolderRowRevealTest, ScrollsOnlyToARowThatDoesNotShowWholeAndSelectsOneRow)
{
    auto& table = *rows->table;
    reveal->scrollTo(rows->items[2], ui::TableView::ScrollPosition::Top, false);
    EXPECT_EQ(table.contentOffset().y, 0) << "shows whole";
    reveal->scrollTo(rows->items[6], ui::TableView::ScrollPosition::Top, false);
    EXPECT_EQ(table.contentOffset().y, 6 * 68) << "cut at the bottom";
    reveal->scrollTo(std::make_shared<RevealItem>("/d/elsewhere"), ui::TableView::ScrollPosition::Top, false);
    EXPECT_EQ(table.contentOffset().y, 6 * 68);

    reveal->select(rows->items[7], false);
    reveal->select(rows->items[8], false);
    EXPECT_EQ(table.indexPathForSelectedRow(), (ui::IndexPath { 0, 8 }));
    reveal->deselect(rows->items[8], false);
    EXPECT_FALSE(table.indexPathForSelectedRow());
}

TEST_F(VKFolderRowRevealTest, TheFlashFollowsItsRowAndEndsUnlit)
{
    reveal->select(rows->items[0], false);
    auto target = rows->items[20];
    reveal->revealAndHighlight(target);
    EXPECT_FALSE(rows->table->indexPathForSelectedRow()) << "the selection goes";
    EXPECT_TRUE(lit(20));
    advance(VKFolderRowReveal::HighlightInterval);
    EXPECT_FALSE(lit(20));
    // The row moves up one between steps: the flash goes with it.
    rows->items.erase(rows->items.begin() + 19);
    rows->table->reloadData();
    rows->table->layoutIfNeeded();
    advance(VKFolderRowReveal::HighlightInterval);
    EXPECT_TRUE(lit(19));
    advance(VKFolderRowReveal::HighlightInterval);
    EXPECT_FALSE(lit(19));
    advance(1);
    EXPECT_FALSE(lit(19));

    // A reveal that goes mid-flash ends it quietly, its table gone too.
    reveal->revealAndHighlight(target);
    reveal.reset();
    rows.reset();
    advance(2);
}

} // namespace
