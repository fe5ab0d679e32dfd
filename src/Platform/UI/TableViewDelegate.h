#pragma once

// What a table tells and asks its delegate beyond scrolling: heights
// (nullopt: the table's own), header and footer views, display, selection,
// accessories, editing styles, the delete confirmation's title, swipe
// editing and where a moved row may go.

#include "Platform/UI/IndexPath.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TableViewCell.h"

#include <optional>
#include <string>

namespace ui {

class TableView;

class TableViewDelegate : public ScrollViewDelegate {
public:
    virtual std::optional<float> heightForRow(TableView&, IndexPath) { return std::nullopt; }
    virtual std::optional<float> heightForHeader(TableView&, int section) { (void)section; return std::nullopt; }
    virtual std::optional<float> heightForFooter(TableView&, int section) { (void)section; return std::nullopt; }
    virtual std::shared_ptr<View> viewForHeader(TableView&, int section) { (void)section; return nullptr; }
    virtual std::shared_ptr<View> viewForFooter(TableView&, int section) { (void)section; return nullptr; }
    virtual int indentationLevelForRow(TableView&, IndexPath) { return 0; }
    virtual void willDisplayCell(TableView&, TableViewCell&, IndexPath) { }

    // nullopt: no selection; another path: that row is selected instead.
    virtual std::optional<IndexPath> willSelectRow(TableView&, IndexPath path) { return path; }
    // Whether the row can be chosen at all (asked without choosing it): the
    // arrow keys pass over those that cannot.
    virtual bool canSelectRow(TableView&, IndexPath) { return true; }
    virtual void didSelectRow(TableView&, IndexPath) { }
    virtual std::optional<IndexPath> willDeselectRow(TableView&, IndexPath path) { return path; }
    virtual void didDeselectRow(TableView&, IndexPath) { }
    virtual void accessoryButtonTapped(TableView&, IndexPath) { }

    virtual std::optional<TableViewCell::EditingStyle> editingStyleForRow(TableView&, IndexPath) { return std::nullopt; }
    virtual std::optional<std::string> titleForDeleteConfirmationButton(TableView&, IndexPath) { return std::nullopt; }
    virtual bool shouldIndentWhileEditing(TableView&, IndexPath) { return true; }
    virtual void willBeginEditingRow(TableView&, IndexPath) { }
    virtual void didEndEditingRow(TableView&, IndexPath) { }
    virtual std::optional<IndexPath> targetIndexPathForMove(TableView&, IndexPath from, IndexPath proposed)
    {
        (void)from;
        return proposed;
    }
};

} // namespace ui
