#pragma once

// The page that edits one item of an editable list: a table of one row
// holding a text field, "Cancel" on the left and "Save" on the right. Save
// replaces the first item equal to the one being edited, or puts the text
// first when there is none (a new item); either way, the page goes back.

#include "Shell/Interface/VKNonRotatingViewController.h"
#include "Platform/UI/TableViewDataSource.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {
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

    void save();
    void cancel();

    void loadView() override;
    void viewDidLoad() override;
    // Fills the field, makes it the first responder and titles the page.
    void viewWillAppear(bool animated) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;

private:
    std::optional<std::string> m_editingValue;
    std::shared_ptr<std::vector<std::string>> m_editingData;
    std::shared_ptr<VKEditableListItemEditingCell> m_editingCell;
    std::shared_ptr<ui::TableView> m_tableView;
};
