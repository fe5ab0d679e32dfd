#pragma once

// A settings page over an ordered list of strings with one item marked as
// chosen (the subclass says which). In edit mode a prompt row on top adds
// an item, a tap on an item edits it in the item editor, and items can be
// deleted and reordered; the list and the editor change one shared array
// in place.
//
// With a prompt (the way the list is meant to be used), row 0 is the prompt
// and row r shows item r − 1 while editing. Without one there is no prompt
// row: row r is item r, every row may be deleted and nothing moves. Items
// go by their red minus in edit mode and by a swipe outside it.

#include "Shell/Settings/VKSubviewController.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKEditableListItemEditingController;

class VKEditableListController : public VKSubviewController {
public:
    static constexpr const char* CellIdentifier = "VKEditableListCell";
    // How long after entering edit mode the first item row is redrawn.
    static constexpr double ReloadRowDelay = 0.25;
    using Data = std::vector<std::string>;

    VKEditableListController();

    const std::shared_ptr<Data>& data() const { return m_data; }
    void setData(std::shared_ptr<Data> data);
    const std::string& prompt() const { return m_prompt; }
    void setPrompt(std::string prompt) { m_prompt = std::move(prompt); }
    // Made on first use.
    std::shared_ptr<VKEditableListItemEditingController> itemEditingController();

    bool isPromptActive() const;
    // The chosen item, in rows as they stand outside edit mode (row r is
    // item r); the base chooses none.
    virtual bool isCellCheckedAtIndexPath(ui::IndexPath path) const;
    virtual std::optional<ui::IndexPath> indexPathOfCheckedCell() const;
    // The chosen item, or "".
    std::string statusText() override;
    // Whether a swipe over an item outside edit mode offers its Delete.
    virtual bool allowsSwipeToDelete() const { return true; }

    // Opens the item editor on row `row` (the prompt row: a new item).
    void editRow(int row);
    // Redraws the first item row with animations off.
    void reloadRow1ForEditing();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    bool supportsMoveRow() const override { return true; }
    bool canMoveRow(ui::TableView&, ui::IndexPath path) override;
    void moveRow(ui::TableView&, ui::IndexPath from, ui::IndexPath to) override;

    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;
    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<ui::IndexPath> targetIndexPathForMove(ui::TableView&, ui::IndexPath from, ui::IndexPath proposed) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

private:
    // Rows before the first item: 1 while the prompt row shows.
    int promptRows() const { return isPromptActive() ? 1 : 0; }
    // The shown row of the chosen item.
    std::optional<ui::IndexPath> checkedRow() const;
    void markChecked(bool checked);

    std::shared_ptr<Data> m_data = std::make_shared<Data>();
    std::shared_ptr<VKEditableListItemEditingController> m_itemEditingController;
    std::string m_prompt;
};
