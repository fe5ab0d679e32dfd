#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/TableViewReorderControl.h"

#include <cmath>
#include <gmock/gmock.h>

namespace {

using test::UITestCase;
using ui::IndexPath;
class TableViewTest : public UITestCase { };
using Log = std::vector<std::string>;

class Cell : public ui::TableViewCell {
public:
    using TableViewCell::TableViewCell;
    void prepareForReuse() override
    {
        TableViewCell::prepareForReuse();
        ++reuses;
        textLabel().setText("reused");
    }
    int reuses = 0;
};

// Rows "s.r" in sections of the given sizes; logs what the table tells.
struct TableRows : ui::TableViewDataSource, ui::TableViewDelegate {
    std::vector<int> counts;
    Log log;
    int cellsMade = 0;
    int heightsAsked = 0;
    bool commits = false;
    std::optional<float> height;
    std::optional<IndexPath> redirect;
    bool refuse = false;
    std::optional<std::string> deleteTitle;
    std::vector<std::string> indexTitles;

    int numberOfSections(ui::TableView&) override { return int(counts.size()); }
    int numberOfRows(ui::TableView&, int section) override { return counts[size_t(section)]; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, IndexPath path) override
    {
        auto cell = std::static_pointer_cast<ui::TableViewCell>(table.dequeueReusableCell("row"));
        if (cell)
            EXPECT_EQ(cell->textLabel().text(), "reused"); // prepared before it was handed out
        else
            cell = std::make_shared<Cell>(ui::TableViewCell::Style::Default, "row");
        ++cellsMade;
        cell->textLabel().setText(std::to_string(path.section) + "." + std::to_string(path.row));
        return cell;
    }
    std::vector<std::string> sectionIndexTitles(ui::TableView&) override { return indexTitles; }
    int sectionForSectionIndexTitle(ui::TableView&, const std::string&, int index) override { return index - 1; }
    bool supportsCommitEditing() const override { return commits; }
    void commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle style, IndexPath path) override
    {
        log.push_back("commit " + std::to_string(int(style)) + " " + path.description());
    }
    bool supportsMoveRow() const override { return true; }
    void moveRow(ui::TableView&, IndexPath from, IndexPath to) override
    {
        log.push_back("move " + from.description() + " " + to.description());
        counts[size_t(from.section)]--;
        counts[size_t(to.section)]++;
    }

    std::optional<float> heightForRow(ui::TableView&, IndexPath) override
    {
        ++heightsAsked;
        return height;
    }
    void willDisplayCell(ui::TableView&, ui::TableViewCell&, IndexPath path) override
    {
        log.push_back("display " + path.description());
    }
    std::optional<IndexPath> willSelectRow(ui::TableView&, IndexPath path) override
    {
        log.push_back("will-select " + path.description());
        if (refuse)
            return std::nullopt;
        return redirect.value_or(path);
    }
    void didSelectRow(ui::TableView&, IndexPath path) override { log.push_back("did-select " + path.description()); }
    void accessoryButtonTapped(ui::TableView&, IndexPath path) override { log.push_back("accessory " + path.description()); }
    std::optional<std::string> titleForDeleteConfirmationButton(ui::TableView&, IndexPath) override { return deleteTitle; }
    void willBeginEditingRow(ui::TableView&, IndexPath path) override { log.push_back("begin-editing " + path.description()); }
    void didEndEditingRow(ui::TableView&, IndexPath path) override { log.push_back("end-editing " + path.description()); }
    std::optional<IndexPath> targetIndexPathForMove(ui::TableView&, IndexPath, IndexPath proposed) override
    {
        return proposed == IndexPath { 0, 0 } ? IndexPath { 0, 1 } : proposed;
    }
};

std::shared_ptr<ui::TableView> makeTable(ui::Window& window, const std::shared_ptr<TableRows>& rows,
    ui::TableView::Style style = ui::TableView::Style::Plain)
{
    auto table = ui::TableView::create({ 0, 0, 320, 460 }, style);
    table->setDataSource(rows);
    table->setDelegate(rows);
    window.addSubview(table);
    table->layoutIfNeeded();
    return table;
}

// Rows of two kinds (section 0 and section 1), each kind with its own
// reuse identifier; keeps a weak reference to every cell it made.
struct TwoKinds : ui::TableViewDataSource {
    std::vector<std::weak_ptr<ui::TableViewCell>> made;
    int numberOfSections(ui::TableView&) override { return 2; }
    int numberOfRows(ui::TableView&, int) override { return 100; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, IndexPath path) override
    {
        std::string kind = path.section == 0 ? "a" : "b";
        auto cell = table.dequeueReusableCell(kind);
        if (!cell) {
            cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, kind);
            made.push_back(cell);
        }
        EXPECT_EQ(cell->reuseIdentifier(), kind);
        return cell;
    }
    size_t alive() const
    {
        return size_t(std::count_if(made.begin(), made.end(), [](auto& cell) { return !cell.expired(); }));
    }
};

TEST_F(TableViewTest, ScrollingFromOneKindOfRowIntoAnotherKeepsNoMoreCellsThanShow)
{
    auto rows = std::make_shared<TwoKinds>();
    auto table = ui::TableView::create({ 0, 0, 320, 460 }, ui::TableView::Style::Plain);
    table->setDataSource(rows);
    window().addSubview(table);
    table->layoutIfNeeded();
    size_t most = 0;
    for (float y = 0; y < 7000; y += 30) {
        table->setContentOffset({ 0, y });
        table->layoutIfNeeded();
        most = std::max(most, table->visibleCells().size());
        EXPECT_LE(rows->alive(), most) << "at " << y;
    }
    // Within one kind the cells scrolled out come back: a screenful or so
    // of each kind was ever made, not one per row.
    EXPECT_LE(rows->made.size(), 2 * most + 2);
    // A reload reuses what it had.
    size_t made = rows->made.size();
    table->reloadData();
    table->layoutIfNeeded();
    EXPECT_EQ(rows->made.size(), made);
    table->removeFromSuperview();
}

TEST_F(TableViewTest, GeometryOfPlainAndGroupedTables)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = { 2, 1, 3 };
    auto plain = makeTable(window(), rows);
    EXPECT_EQ(plain->rectForRow({ 1, 0 }), (gfx::Rect { 0, 88, 320, 44 }));
    EXPECT_EQ(plain->indexPathForRow({ 5, 100 }), (IndexPath { 1, 0 }));
    EXPECT_EQ(plain->contentSize(), (gfx::Size { 320, 264 }));
    EXPECT_EQ(plain->rectForRow({ 3, 0 }), gfx::Rect {});
    EXPECT_EQ(plain->rectForRow({ 0, 2 }), gfx::Rect {});
    EXPECT_EQ(plain->cellForRow({ 9, 9 }), nullptr);
    EXPECT_EQ(plain->indexPathForRow({ 5, 2000 }), std::nullopt);
    EXPECT_THROW(plain->scrollToRow({ 0, 2 }, ui::TableView::ScrollPosition::Top, false), core::Exception);
    EXPECT_THROW(plain->selectRow(IndexPath { 5, 0 }, false, ui::TableView::ScrollPosition::None), core::Exception);

    auto grouped = makeTable(window(), rows, ui::TableView::Style::Grouped);
    EXPECT_EQ(grouped->rectForRow({ 1, 0 }).y(), 118);
    EXPECT_EQ(grouped->cellForRow({ 1, 0 })->frame(), (gfx::Rect { 10, 118, 300, 44 }));
    // A row added redraws the panel behind the rows.
    ASSERT_TRUE(ui::Renderer::renderImage(*grouped));
    ASSERT_FALSE(grouped->layer().needsDisplay()) << grouped->needsDisplay();
    rows->counts[0]++;
    grouped->insertRows({ { 0, 0 } }, ui::TableView::RowAnimation::None);
    EXPECT_TRUE(grouped->layer().needsDisplay());
    rows->counts[0]--;
    grouped->reloadData();

    auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "x");
    cell->setAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
    cell->layoutIfNeeded();
    EXPECT_EQ(cell->contentView().frame().width(), 290);

    // Bad heights count as 0, with a log line.
    rows->height = -5;
    plain->reloadData();
    EXPECT_EQ(plain->contentSize().height, 0);
    EXPECT_TRUE(logContains("counts as 0"));
    rows->height = std::nanf("");
    plain->reloadData();
    EXPECT_EQ(plain->contentSize().height, 0);
    plain->removeFromSuperview();

    // A data source without a cell for a row is a programming error.
    struct NoCells : TableRows {
        std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, IndexPath) override { return nullptr; }
    };
    auto none = std::make_shared<NoCells>();
    none->counts = { 1 };
    auto broken = ui::TableView::create({ 0, 0, 320, 460 });
    broken->setDataSource(none);
    EXPECT_THROW(broken->layoutIfNeeded(), core::Exception);
    grouped->removeFromSuperview();
}

// A grouped section with a title gets room for it, its title in line with
// the rows' text; an empty title is none.
TEST_F(TableViewTest, GroupedTitlesStandAboveTheirRows)
{
    struct Titled : TableRows {
        std::vector<std::string> titles;
        std::optional<std::string> titleForHeader(ui::TableView&, int section) override { return titles[size_t(section)]; }
    };
    auto rows = std::make_shared<Titled>();
    rows->counts = { 1, 1, 1 };
    rows->titles = { "General", "", "Startup" };
    auto grouped = makeTable(window(), rows, ui::TableView::Style::Grouped);
    EXPECT_EQ(grouped->rectForHeader(0).height(), 40);
    EXPECT_EQ(grouped->rectForHeader(1).height(), 10);
    EXPECT_EQ(grouped->rectForRow({ 2, 0 }).y(), 40 + 44 + 10 + 10 + 44 + 10 + 40);
    auto* title = dynamic_cast<ui::Label*>(grouped->headerViewForTesting(0));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), "General");
    EXPECT_EQ(title->frame(), (gfx::Rect { 20, 10, 280, 26 }));
    EXPECT_EQ(grouped->headerViewForTesting(1), nullptr);
    grouped->removeFromSuperview();
}

TEST_F(TableViewTest, OnlyVisibleRowsExistAndCellsAreReused)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = { 100000 };
    auto table = makeTable(window(), rows);
    EXPECT_EQ(table->visibleCells().size(), 11u);
    EXPECT_EQ(rows->log.front(), "display (0, 0)");
    EXPECT_EQ(rows->log.back(), "display (0, 10)");
    EXPECT_TRUE(std::is_sorted(rows->log.begin(), rows->log.end(), [](auto& a, auto& b) {
        return std::stoi(a.substr(a.rfind(' ') + 1)) < std::stoi(b.substr(b.rfind(' ') + 1));
    }));

    rows->log.clear();
    driver.scrollToRow(*table, { 0, 50000 });
    auto shown = table->indexPathsForVisibleRows();
    EXPECT_LE(shown.size(), 12u);
    EXPECT_NE(std::find(shown.begin(), shown.end(), IndexPath { 0, 50000 }), shown.end());
    EXPECT_EQ(table->cellForRow({ 0, 0 }), nullptr);
    auto* reused = dynamic_cast<Cell*>(table->cellForRow({ 0, 50000 }));
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->reuses, 1);
    EXPECT_EQ(driver.cellTexts(*table).front(), "0." + std::to_string(shown.front().row));

    // Delegate heights: once per row per reload.
    rows->counts = { 1000 };
    rows->height = 30;
    rows->heightsAsked = 0;
    table->reloadData();
    EXPECT_EQ(rows->heightsAsked, 1000);
    EXPECT_EQ(table->contentSize().height, 30000);
    table->removeFromSuperview();
}

TEST_F(TableViewTest, TapsSelectRowsAsTheDelegateSays)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = { 5 };
    auto table = makeTable(window(), rows);
    rows->log.clear();
    driver.tapRow(*table, { 0, 1 });
    EXPECT_EQ(rows->log, (Log { "will-select (0, 1)", "did-select (0, 1)" }));
    EXPECT_TRUE(table->cellForRow({ 0, 1 })->isSelected());
    // Labels a row adds to its content, nested too, take the selected look
    // with the row's own, and leave it with the selection.
    auto holder = ui::View::create();
    auto added = std::make_shared<ui::Label>();
    holder->addSubview(added);
    table->cellForRow({ 0, 1 })->contentView().addSubview(holder);
    table->cellForRow({ 0, 1 })->setSelected(true);
    EXPECT_TRUE(added->isHighlighted());
    table->deselectRow({ 0, 1 }, true);
    EXPECT_FALSE(table->cellForRow({ 0, 1 })->isSelected());
    EXPECT_FALSE(added->isHighlighted());
    table->cellForRow({ 0, 1 })->setSelectionStyle(ui::TableViewCell::SelectionStyle::None);
    table->cellForRow({ 0, 1 })->setSelected(true);
    EXPECT_FALSE(added->isHighlighted());
    table->cellForRow({ 0, 1 })->setSelected(false);
    table->cellForRow({ 0, 1 })->setSelectionStyle(ui::TableViewCell::SelectionStyle::Blue);
    EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);

    rows->log.clear();
    rows->refuse = true;
    driver.tapRow(*table, { 0, 2 });
    EXPECT_EQ(rows->log, (Log { "will-select (0, 2)" }));
    rows->refuse = false;
    rows->redirect = IndexPath { 0, 4 };
    rows->log.clear();
    driver.tapRow(*table, { 0, 2 });
    EXPECT_EQ(rows->log, (Log { "will-select (0, 2)", "did-select (0, 4)" }));
    EXPECT_EQ(table->indexPathForSelectedRow(), (IndexPath { 0, 4 }));

    rows->log.clear();
    table->setEditing(true);
    driver.tapRow(*table, { 0, 3 });
    EXPECT_TRUE(rows->log.empty());
    table->setAllowsSelectionDuringEditing(true);
    driver.tapRow(*table, { 0, 3 });
    EXPECT_EQ(rows->log.size(), 2u);
    table->setEditing(false);

    // The detail disclosure button reports its row.
    rows->log.clear();
    table->cellForRow({ 0, 0 })->setAccessoryType(ui::TableViewCell::Accessory::DetailDisclosureButton);
    driver.tapAccessory(*table, { 0, 0 });
    EXPECT_EQ(rows->log, (Log { "accessory (0, 0)" }));
    table->removeFromSuperview();
}

TEST_F(TableViewTest, EditingUpdatesAndMoves)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = { 5 };
    rows->commits = true;
    auto table = makeTable(window(), rows);
    table->setEditing(true);
    EXPECT_TRUE(table->cellForRow({ 0, 0 })->isEditing());
    EXPECT_EQ(table->cellForRow({ 0, 0 })->editingStyle(), ui::TableViewCell::EditingStyle::Delete);
    driver.deleteRow(*table, { 0, 2 });
    EXPECT_EQ(rows->log.back(), "commit 1 (0, 2)");

    // A fading delete leaves the cell until the animation ends.
    auto gone = [](const std::weak_ptr<core::Object>& cell) {
        auto alive = std::static_pointer_cast<ui::View>(cell.lock());
        return !alive || !alive->superview();
    };
    std::weak_ptr<core::Object> doomed = table->cellForRow({ 0, 2 })->weak_from_this();
    auto* after = table->cellForRow({ 0, 3 });
    rows->counts = { 4 };
    table->deleteRows({ { 0, 2 } }, ui::TableView::RowAnimation::Fade);
    EXPECT_FALSE(gone(doomed));
    EXPECT_EQ(table->cellForRow({ 0, 2 }), after);
    advance(0.3);
    EXPECT_TRUE(gone(doomed));
    doomed = table->cellForRow({ 0, 0 })->weak_from_this();
    rows->counts = { 3 };
    table->deleteRows({ { 0, 0 } }, ui::TableView::RowAnimation::None);
    EXPECT_TRUE(gone(doomed));

    // One update: deletes by old paths, inserts by new ones.
    after = table->cellForRow({ 0, 2 }); // "0.4" originally
    rows->counts = { 3 };
    table->beginUpdates();
    table->deleteRows({ { 0, 0 } }, ui::TableView::RowAnimation::None);
    table->insertRows({ { 0, 2 } }, ui::TableView::RowAnimation::None);
    table->endUpdates();
    EXPECT_EQ(table->cellForRow({ 0, 1 }), after);
    runLoop();
    EXPECT_NE(table->cellForRow({ 0, 2 }), nullptr);

    rows->counts = { 7 };
    try {
        table->insertRows({ { 0, 3 } }, ui::TableView::RowAnimation::Fade);
        ADD_FAILURE() << "no exception";
    } catch (const core::Exception& e) {
        EXPECT_THAT(e.reason(), ::testing::StartsWith("Invalid update: invalid number of rows in section 0. "));
        EXPECT_THAT(e.reason(), ::testing::HasSubstr("after the update (7)"));
        EXPECT_THAT(e.reason(), ::testing::HasSubstr("before the update (3)"));
    }
    EXPECT_THROW(table->deleteRows({ { 0, 9 } }, ui::TableView::RowAnimation::None), core::Exception);

    // A move that the delegate redirects reorders without asking for cells.
    rows->counts = { 2, 1, 3 };
    table->reloadData();
    runLoop();
    auto* moving = table->cellForRow({ 2, 0 });
    int made = rows->cellsMade;
    rows->log.clear();
    driver.moveRow(*table, { 2, 0 }, { 0, 0 });
    EXPECT_EQ(rows->log, (Log { "move (2, 0) (0, 1)" }));
    EXPECT_EQ(table->cellForRow({ 0, 1 }), moving);
    runLoop();
    EXPECT_EQ(rows->cellsMade, made);
    EXPECT_EQ(table->numberOfRows(0), 3);
    table->removeFromSuperview();
}

// While editing, a row is moved by dragging its grip (as the desktop's
// mouse does): it follows the finger, the table does not scroll, and where
// it is let go names the place; a drag elsewhere on the row scrolls.
TEST_F(TableViewTest, ARowDraggedByItsGripMovesWhereItIsLetGo)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = { 30 };
    auto table = makeTable(window(), rows);
    auto grip = [&](int row) { return ui::TableViewReorderControl::of(*table->cellForRow({ 0, row })); };
    auto moves = [&] {
        Log found;
        for (const auto& line : rows->log)
            if (line.starts_with("move "))
                found.push_back(line);
        rows->log.clear();
        return found;
    };
    EXPECT_FALSE(grip(1));
    table->setEditing(true);
    table->layoutIfNeeded();
    auto* moving = table->cellForRow({ 0, 1 });
    auto* held = grip(1);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->frame(), (gfx::Rect { 320 - ui::TableViewCell::EditingControlWidth, 0,
                                 ui::TableViewCell::EditingControlWidth, 44 }));

    // Pressed and moved: the row follows above the others, nothing moved yet.
    gfx::Point start = held->convertPoint({ 16, 22 }, nullptr);
    auto fingers = driver.touchDown({ start });
    driver.wait(0.05);
    driver.touchMove({ { fingers[0], { start.x, start.y + 60 } } });
    driver.wait(0.05);
    driver.touchMove({ { fingers[0], { start.x, start.y + 4 * 44 } } });
    EXPECT_TRUE(held->isDragging());
    EXPECT_EQ(moving->frame().y(), 5 * 44);
    EXPECT_EQ(table->subviews().back().get(), moving);
    EXPECT_TRUE(moves().empty());
    driver.touchUp(fingers);
    runLoop();
    EXPECT_EQ(table->contentOffset().y, 0) << "the grip's drag does not scroll";
    EXPECT_EQ(moves(), (Log { "move (0, 1) (0, 5)" }));
    EXPECT_EQ(table->cellForRow({ 0, 5 }), moving);
    EXPECT_EQ(moving->frame().y(), 5 * 44);

    // Let go above the first row: the delegate's place (it keeps row 0).
    driver.drag(*grip(3), 0, -400);
    runLoop();
    EXPECT_EQ(moves(), (Log { "move (0, 3) (0, 1)" }));
    // Let go where it was: no move.
    driver.drag(*grip(2), 0, 10);
    runLoop();
    EXPECT_TRUE(moves().empty());
    EXPECT_EQ(table->cellForRow({ 0, 2 })->frame().y(), 2 * 44);

    // A drag on the row's text scrolls and moves nothing.
    driver.dragAndHold(table->cellForRow({ 0, 6 })->contentView(), 0, -200);
    runLoop();
    EXPECT_GT(table->contentOffset().y, 100);
    EXPECT_TRUE(moves().empty());

    // Editing ended mid-drag puts the row back.
    auto* lifted = table->cellForRow({ 0, 8 });
    gfx::Point at = grip(8)->convertPoint({ 16, 22 }, nullptr);
    fingers = driver.touchDown({ at });
    driver.touchMove({ { fingers[0], { at.x, at.y + 100 } } });
    table->setEditing(false);
    EXPECT_EQ(lifted->frame(), table->rectForRow({ 0, 8 }));
    EXPECT_FALSE(ui::TableViewReorderControl::of(*lifted));
    driver.touchUp(fingers);
    runLoop();
    EXPECT_TRUE(moves().empty());
    table->removeFromSuperview();
}

class SwipeTable : public ui::TableView {
public:
    bool swipes = true;
    int swiped = 0;
    bool canHandleSwipes() override { return swipes && TableView::canHandleSwipes(); }
    void swipeCell(ui::TableViewCell& cell, gfx::Point point) override
    {
        ++swiped;
        TableView::swipeCell(cell, point);
    }
};

TEST_F(TableViewTest, SwipeToDelete)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = { 3 };
    rows->commits = true;
    auto table = ui::View::make<SwipeTable>({ 0, 0, 320, 460 });
    table->setDataSource(rows);
    table->setDelegate(rows);
    window().addSubview(table);
    table->swipes = false;
    driver.swipeRow(*table, { 0, 1 });
    EXPECT_EQ(table->swiped, 0);
    table->swipes = true;
    driver.swipeRow(*table, { 0, 1 });
    EXPECT_EQ(table->swiped, 1);
    EXPECT_EQ(rows->log, (Log { "display (0, 0)", "display (0, 1)", "display (0, 2)", "begin-editing (0, 1)" }));
    ASSERT_TRUE(table->cellForRow({ 0, 1 })->showingDeleteConfirmation());
    EXPECT_EQ(table->cellForRow({ 0, 1 })->deleteConfirmationButton()->currentTitle(), "Delete");
    rows->log.clear();
    driver.confirmDeletion(*table);
    EXPECT_EQ(rows->log, (Log { "commit 1 (0, 1)", "end-editing (0, 1)" }));
    EXPECT_FALSE(table->cellForRow({ 0, 1 })->showingDeleteConfirmation());
    rows->deleteTitle = "Remove";
    driver.swipeRow(*table, { 0, 2 });
    EXPECT_EQ(table->cellForRow({ 0, 2 })->deleteConfirmationButton()->currentTitle(), "Remove");
    table->removeFromSuperview();
}

// Turned with the device: its rows are swiped in their own directions.
class TurningRows : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
    int numberOfRows(ui::TableView&, int) override { return 5; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, IndexPath) override
    {
        return std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "row");
    }
    bool supportsCommitEditing() const override { return true; }
};

TEST_F(TableViewTest, ASwipeFollowsTheTurnedInterface)
{
    auto controller = std::make_shared<TurningRows>();
    window().setRootViewController(controller);
    runLoop();
    for (auto orientation : { ui::Orientation::LandscapeLeft, ui::Orientation::PortraitUpsideDown }) {
        ASSERT_TRUE(driver.rotate(orientation));
        advance(1);
        auto& table = controller->tableView();
        driver.swipeRow(table, { 0, 1 });
        EXPECT_TRUE(table.cellForRow({ 0, 1 })->showingDeleteConfirmation()) << int(orientation);
        EXPECT_NEAR(table.contentOffset().y, 0, 0.01);
        table.cancelDeletion();
    }
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    window().setRootViewController(nullptr);
}

// A subview that stays at the top of the visible area.
class StripTable : public ui::TableView {
public:
    std::shared_ptr<ui::View> strip = ui::View::create({ 0, 0, 320, 10 });
    int layouts = 0;
    void layoutSubviews() override
    {
        TableView::layoutSubviews();
        ++layouts;
        if (!strip->superview())
            addSubview(strip);
        strip->setFrame({ 0, bounds().y(), 320, 10 });
    }
};

TEST_F(TableViewTest, IndexTitlesAndLayoutFollowingTheOffset)
{
    auto rows = std::make_shared<TableRows>();
    rows->counts = std::vector<int>(10, 20);
    rows->indexTitles = { "#", "A", "B", "C", "D" };
    auto table = ui::View::make<StripTable>({ 0, 0, 320, 460 });
    table->setDataSource(rows);
    table->setDelegate(rows);
    window().addSubview(table);
    runLoop();
    ASSERT_NE(table->indexView(), nullptr);
    driver.tapIndexTitle(*table, 3); // section 2
    EXPECT_EQ(table->contentOffset().y, table->rectForHeader(2).y());
    runLoop();
    EXPECT_EQ(table->strip->frame().y(), table->contentOffset().y);

    table->setContentOffset({ 0, 0 });
    table->layouts = 0;
    driver.dragAndHold(*table, 0, -100);
    EXPECT_GE(table->layouts, 9);
    EXPECT_EQ(table->strip->frame().y(), 100);
    table->removeFromSuperview();
}

class Controller : public ui::TableViewController {
public:
    std::shared_ptr<TableRows> rows = std::make_shared<TableRows>();
    int numberOfRows(ui::TableView& t, int s) override { return rows->numberOfRows(t, s); }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& t, IndexPath p) override
    {
        return rows->cellForRow(t, p);
    }
};

TEST_F(TableViewTest, TableViewControllerReloadsFirstAndDeselectsLater)
{
    auto list = std::make_shared<Controller>();
    list->rows->counts = { 3 };
    auto navigation = ui::NavigationController::create(list);
    window().setRootViewController(navigation);
    runLoop();
    EXPECT_EQ(list->tableView().visibleCells().size(), 3u);
    driver.tapRow(list->tableView(), { 0, 1 });
    EXPECT_EQ(list->tableView().indexPathForSelectedRow(), (IndexPath { 0, 1 }));
    navigation->pushViewController(ui::ViewController::create(), false);
    navigation->popViewController(false);
    EXPECT_EQ(list->tableView().indexPathForSelectedRow(), std::nullopt);
    list->setEditing(true, false);
    EXPECT_TRUE(list->tableView().isEditing());
    window().setRootViewController(nullptr);
}

} // namespace

namespace {

// Entering editing redraws a cell drawn before (its controls are part of
// its drawing), and the editing accessory stands clear of the reorder grip.
TEST_F(TableViewTest, EditingRedrawsTheCellAndKeepsTheAccessoryOffTheGrip)
{
    auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "c");
    cell->setEditingAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
    cell->setFrame({ 0, 0, 320, 44 });
    window().addSubview(cell);
    cell->layoutIfNeeded();
    auto picture = ui::Renderer::renderImage(*cell);
    ASSERT_TRUE(picture);
    EXPECT_FALSE(cell->needsDisplay());
    cell->setShowsReorderControl(true);
    cell->setEditing(true);
    EXPECT_TRUE(cell->needsDisplay());
    cell->layoutIfNeeded();
    ASSERT_TRUE(cell->shownAccessoryView());
    EXPECT_LE(cell->shownAccessoryView()->frame().maxX(), 320 - ui::TableViewCell::EditingControlWidth);
    cell->removeFromSuperview();
}

} // namespace
