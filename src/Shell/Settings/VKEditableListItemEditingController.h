#pragma once

// The page that edits one item of an editable list: a table of one row
// holding a text field, "Cancel" on the left and "Save" on the right. Save
// replaces the first item equal to the one being edited, or puts the text
// first when there is none (a new item); either way, the page goes back.
// The text is checked as it is typed: while the list's validator refuses it,
// or another item already says the same, Save waits and the reason shows
// under the field.

#include "Shell/Interface/VKNonRotatingViewController.h"
#include "Platform/UI/TableViewDataSource.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {
class BarButtonItem;
class Label;
class TableView;
}
class VKEditableListItemEditingCell;

class VKEditableListItemEditingController : public VKNonRotatingViewController, public ui::TableViewDataSource {
public:
    static std::shared_ptr<VKEditableListItemEditingController> create();

    // The item being changed; none for a new one.
    const std::optional<std::string>& editingValue() const { return m_editingValue; }
    void setEditingValue(std::optional<std::string> value) { m_editingValue = std::move(value); }
    const std::shared_ptr<std::vector<std::string>>& editingData() const { return m_editingData; }
    void setEditingData(std::shared_ptr<std::vector<std::string>> data) { m_editingData = std::move(data); }
    const std::shared_ptr<VKEditableListItemEditingCell>& editingCell() const { return m_editingCell; }
    ui::TableView& tableView();

    // Nothing when the text may be saved, else why not ("" refuses without
    // a word: an empty field).
    using Validator = std::function<std::optional<std::string>(const std::string& text)>;
    void setValidator(Validator validator) { m_validator = std::move(validator); }
    // Why the typed text cannot be saved; nothing when it can.
    std::optional<std::string> refusal() const;
    // The reason shown under the field ("" when none).
    std::string shownRefusalForTesting() const;

    void save();
    void cancel();

    void loadView() override;
    void viewDidLoad() override;
    // Fills the field, makes it the first responder and titles the page.
    void viewWillAppear(bool animated) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;

private:
    void textDidChange();

    Validator m_validator;
    std::shared_ptr<ui::BarButtonItem> m_saveItem;
    std::shared_ptr<ui::Label> m_refusalLabel;
    std::optional<std::string> m_editingValue;
    std::shared_ptr<std::vector<std::string>> m_editingData;
    std::shared_ptr<VKEditableListItemEditingCell> m_editingCell;
    std::shared_ptr<ui::TableView> m_tableView;
};
