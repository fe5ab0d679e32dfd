// The editable list through a subclass that marks "ISO-8859-1" as chosen
// and adds through the prompt "Add Encoding…": edit mode's prompt row,
// deleting, moving, and the item editor's saves.

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Settings/VKEditableListController.h"
#include "Shell/Settings/VKEditableListItemEditingCell.h"
#include "Shell/Settings/VKEditableListItemEditingController.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <algorithm>

namespace {

using Items = std::vector<std::string>;
using Style = ui::TableViewCell::EditingStyle;
using Accessory = ui::TableViewCell::Accessory;

class Encodings : public VKEditableListController {
public:
    explicit Encodings(std::string prompt)
    {
        setTitle("Encodings");
        setPrompt(std::move(prompt));
        setData(std::make_shared<Data>(Data { "UTF-8", "ISO-8859-1", "Shift_JIS", "KOI8-R" }));
    }
    std::optional<ui::IndexPath> indexPathOfCheckedCell() const override
    {
        auto found = std::find(data()->begin(), data()->end(), "ISO-8859-1");
        if (found == data()->end())
            return std::nullopt;
        return ui::IndexPath { 0, int(found - data()->begin()) };
    }
    bool isCellCheckedAtIndexPath(ui::IndexPath path) const override { return indexPathOfCheckedCell() == path; }
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override
    {
        VKEditableListController::willDisplayCell(table, cell, path);
        displayed.push_back(path.row);
    }
    std::vector<int> displayed;
};

class Root : public ui::ViewController {
public:
    Root() { setTitle("Settings"); }
};

class VKEditableListControllerTest : public test::UITestCase {
protected:
    void show(std::string prompt = "Add Encoding\u2026")
    {
        list = std::make_shared<Encodings>(std::move(prompt));
        navigation = ui::NavigationController::create(std::make_shared<Root>());
        window().setRootViewController(navigation);
        navigation->pushViewController(list, false);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        list.reset();
        UITestCase::TearDown();
    }
    ui::TableView& table() { return list->tableView(); }
    ui::TableViewCell& row(int r) { return *table().cellForRow({ 0, r }); }
    void edit(bool editing)
    {
        list->setEditing(editing, true);
        runLoop();
    }
    std::shared_ptr<Encodings> list;
    std::shared_ptr<ui::NavigationController> navigation;
};

TEST_F(VKEditableListControllerTest, EditModeAddsThePromptRowAndLeavingUndoesIt)
{
    show();
    EXPECT_EQ(list->statusText(), "ISO-8859-1");
    EXPECT_EQ(row(1).accessoryType(), Accessory::Checkmark);
    EXPECT_EQ(row(1).textLabel().textColor(), tableViewCellTextValueColor());
    EXPECT_EQ(row(0).reuseIdentifier(), "VKEditableListCell");
    EXPECT_EQ(list->navigationItem().rightBarButtonItem(), list->editButtonItem());
    EXPECT_EQ(list->editingStyleForRow(table(), { 0, 1 }), Style::Delete) << "what a swipe offers";

    driver.tapBarItem(*list->editButtonItem());
    EXPECT_TRUE(list->isPromptActive());
    EXPECT_EQ(table().numberOfRows(0), 5);
    EXPECT_EQ(driver.cellTexts(table()), (Items { "Add Encoding\u2026", "UTF-8", "ISO-8859-1", "Shift_JIS", "KOI8-R" }));
    EXPECT_TRUE(list->navigationItem().hidesBackButton());
    EXPECT_EQ(row(0).textLabel().textColor(), ui::StandardColors::gray());
    EXPECT_EQ(row(0).editingAccessoryType(), Accessory::DisclosureIndicator);
    EXPECT_EQ(row(0).editingStyle(), Style::Insert);
    EXPECT_EQ(row(3).editingStyle(), Style::Delete);
    // The chosen item is plain while editing.
    EXPECT_EQ(row(2).accessoryType(), Accessory::None);
    EXPECT_EQ(row(2).textLabel().textColor(), ui::StandardColors::black());
    EXPECT_FALSE(list->canMoveRow(table(), { 0, 0 }));
    EXPECT_TRUE(list->canMoveRow(table(), { 0, 2 }));

    // The first item row is drawn again a quarter second later.
    list->displayed.clear();
    advance(0.2);
    EXPECT_TRUE(list->displayed.empty());
    advance(0.1);
    EXPECT_EQ(list->displayed, (std::vector<int> { 1 }));
    EXPECT_EQ(row(1).textLabel().text(), "UTF-8");

    driver.tapBarItem(*list->editButtonItem());
    EXPECT_FALSE(list->isPromptActive());
    EXPECT_EQ(driver.cellTexts(table()), (Items { "UTF-8", "ISO-8859-1", "Shift_JIS", "KOI8-R" }));
    EXPECT_FALSE(list->navigationItem().hidesBackButton());
    EXPECT_EQ(row(1).accessoryType(), Accessory::Checkmark);
    EXPECT_EQ(row(1).textLabel().textColor(), tableViewCellTextValueColor());
}

TEST_F(VKEditableListControllerTest, DeletingAndMovingChangeTheSharedItems)
{
    show();
    edit(true);
    driver.deleteRow(table(), { 0, 3 });
    EXPECT_EQ(*list->data(), (Items { "UTF-8", "ISO-8859-1", "KOI8-R" }));
    EXPECT_EQ(driver.cellTexts(table()).size(), 4u);

    // Dropped on the prompt row, an item lands first.
    driver.moveRow(table(), { 0, 3 }, { 0, 0 });
    EXPECT_EQ(*list->data(), (Items { "KOI8-R", "UTF-8", "ISO-8859-1" }));
    driver.moveRow(table(), { 0, 1 }, { 0, 3 });
    EXPECT_EQ(*list->data(), (Items { "UTF-8", "ISO-8859-1", "KOI8-R" }));
    edit(false);
    EXPECT_EQ(driver.cellTexts(table()), (Items { "UTF-8", "ISO-8859-1", "KOI8-R" }));
}

TEST_F(VKEditableListControllerTest, ItemsGoByTheirRedMinusAndByASwipe)
{
    show();
    edit(true);
    auto tapMinus = [&](int r) {
        gfx::Rect rect = table().rectForRow({ 0, r });
        driver.tapAt(table(), { rect.x() + 16, rect.midY() });
        runLoop();
    };
    // The minus offers the row's Delete, a second tap takes it back; it
    // never opens the item's editor.
    tapMinus(2);
    ASSERT_TRUE(row(2).showingDeleteConfirmation());
    EXPECT_EQ(navigation->topViewController(), list.get());
    tapMinus(2);
    EXPECT_FALSE(row(2).showingDeleteConfirmation());
    tapMinus(2);
    driver.tap(*row(2).deleteConfirmationButton());
    runLoop();
    EXPECT_EQ(*list->data(), (Items { "UTF-8", "Shift_JIS", "KOI8-R" }));

    edit(false);
    driver.swipeRow(table(), { 0, 0 });
    runLoop();
    ASSERT_TRUE(row(0).showingDeleteConfirmation());
    driver.tap(*row(0).deleteConfirmationButton());
    runLoop();
    EXPECT_EQ(*list->data(), (Items { "Shift_JIS", "KOI8-R" }));
    EXPECT_EQ(driver.cellTexts(table()), (Items { "Shift_JIS", "KOI8-R" }));
}

TEST_F(VKEditableListControllerTest, TheEditorSavesOnlyWhatTheListAccepts)
{
    show();
    auto editor = list->itemEditingController();
    editor->setValidator([](const std::string& text) -> std::optional<std::string> {
        if (text.empty())
            return std::string();
        if (text.find(' ') != std::string::npos)
            return "no spaces";
        return std::nullopt;
    });
    edit(true);
    driver.tapRow(table(), { 0, 0 });
    advance(1);
    auto& save = *editor->navigationItem().rightBarButtonItem();
    EXPECT_FALSE(save.isEnabled()) << "an empty name waits";
    EXPECT_EQ(editor->shownRefusalForTesting(), "");
    driver.type("EUC JP");
    EXPECT_FALSE(save.isEnabled());
    EXPECT_EQ(editor->shownRefusalForTesting(), "no spaces");
    editor->save();
    EXPECT_EQ(navigation->topViewController(), editor.get());
    editor->editingCell()->textField().setText("KOI8-R");
    editor->editingCell()->textField().sendActions(ui::Control::EditingChanged);
    EXPECT_EQ(editor->shownRefusalForTesting(), "\"KOI8-R\" is already in the list.");
    editor->editingCell()->textField().setText("EUC-JP");
    editor->editingCell()->textField().sendActions(ui::Control::EditingChanged);
    EXPECT_TRUE(save.isEnabled());
    EXPECT_EQ(editor->shownRefusalForTesting(), "");
    driver.tapBarItem(save);
    advance(1);
    EXPECT_EQ(list->data()->front(), "EUC-JP");
}

TEST_F(VKEditableListControllerTest, TheItemEditorReplacesTheFirstEqualItemOrAddsFirst)
{
    show();
    list->data()->push_back("UTF-8"); // listed twice
    table().reloadData();
    edit(true);
    driver.tapRow(table(), { 0, 1 });
    advance(1);
    auto editor = list->itemEditingController();
    ASSERT_EQ(navigation->topViewController(), editor.get());
    EXPECT_EQ(editor->title(), "Edit encoding");
    EXPECT_EQ(editor->editingValue(), "UTF-8");
    auto& field = editor->editingCell()->textField();
    EXPECT_EQ(field.text(), "UTF-8");
    EXPECT_EQ(field.placeholder(), "IANA character set name");
    EXPECT_EQ(driver.firstResponder(), &field);
    EXPECT_EQ(editor->editingCell()->reuseIdentifier(), "VKEditableListItemEditingCell");
    field.setText("UTF-16");
    driver.tapBarItem(*editor->navigationItem().rightBarButtonItem());
    advance(1);
    EXPECT_EQ(navigation->topViewController(), list.get());
    EXPECT_EQ(*list->data(), (Items { "UTF-16", "ISO-8859-1", "Shift_JIS", "KOI8-R", "UTF-8" }));
    EXPECT_EQ(driver.cellTexts(table())[1], "UTF-16");

    // Insert on the prompt row: a new item, first; empty text too.
    driver.deleteRow(table(), { 0, 0 });
    advance(1);
    EXPECT_EQ(editor->title(), "Add encoding");
    EXPECT_EQ(editor->editingValue(), std::nullopt);
    EXPECT_EQ(field.text(), "");
    driver.type("EUC-JP");
    driver.tapBarItem(*editor->navigationItem().rightBarButtonItem());
    advance(1);
    EXPECT_EQ(list->data()->front(), "EUC-JP");
    driver.tapRow(table(), { 0, 0 });
    advance(1);
    driver.tapBarItem(*editor->navigationItem().rightBarButtonItem());
    advance(1);
    EXPECT_EQ(list->data()->front(), "");
    EXPECT_EQ(list->data()->size(), 7u);

    // Cancel changes nothing.
    driver.tapRow(table(), { 0, 3 });
    advance(1);
    editor->editingCell()->textField().setText("changed");
    driver.tapBarItem(*editor->navigationItem().leftBarButtonItem());
    advance(1);
    EXPECT_EQ(list->data()->size(), 7u);
    EXPECT_EQ(std::count(list->data()->begin(), list->data()->end(), "changed"), 0);

    // Outside edit mode a tap edits nothing.
    edit(false);
    driver.tapRow(table(), { 0, 1 });
    advance(1);
    EXPECT_EQ(navigation->topViewController(), list.get());
}

// Without a prompt there is no prompt row: row r is item r, every row
// deletes, nothing moves, and a tap edits that very item.
TEST_F(VKEditableListControllerTest, AnEmptyPromptListsOnlyTheItems)
{
    show("");
    edit(true);
    EXPECT_FALSE(list->isPromptActive());
    EXPECT_EQ(table().numberOfRows(0), 4);
    EXPECT_EQ(list->editingStyleForRow(table(), { 0, 0 }), Style::Delete);
    EXPECT_FALSE(list->canMoveRow(table(), { 0, 1 }));
    EXPECT_FALSE(list->navigationItem().hidesBackButton());
    driver.deleteRow(table(), { 0, 0 });
    advance(1);
    EXPECT_EQ(*list->data(), (Items { "ISO-8859-1", "Shift_JIS", "KOI8-R" }));
    driver.tapRow(table(), { 0, 0 });
    advance(1);
    EXPECT_EQ(list->itemEditingController()->editingValue(), "ISO-8859-1");
    driver.tapBarItem(*list->itemEditingController()->navigationItem().leftBarButtonItem());
    advance(1);
    edit(false);
    EXPECT_EQ(driver.cellTexts(table()), (Items { "ISO-8859-1", "Shift_JIS", "KOI8-R" }));
}

} // namespace
