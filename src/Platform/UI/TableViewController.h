#pragma once

// A controller whose view is a table and who is its data source and
// delegate. The table reloads at the first will-appear and loses its
// selection at the later ones; editing reaches the table.

#include "Platform/UI/TableView.h"
#include "Platform/UI/ViewController.h"

namespace ui {

class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
public:
    explicit TableViewController(TableView::Style style = TableView::Style::Plain);

    TableView& tableView();
    TableView::Style tableStyle() const { return m_style; }
    bool clearsSelectionOnViewWillAppear() const { return m_clearsSelection; }
    void setClearsSelectionOnViewWillAppear(bool clears) { m_clearsSelection = clears; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    int numberOfRows(TableView&, int) override { return 0; }
    std::shared_ptr<TableViewCell> cellForRow(TableView&, IndexPath) override { return nullptr; }

private:
    TableView::Style m_style;
    bool m_clearsSelection = true;
    bool m_appeared = false;
};

} // namespace ui
