#pragma once

// A table's deletion of one row by its Delete button: the swipe over a row
// that asks for the button (seen alongside the table's own drag, and never
// started where the content may not lose its touch), the row whose button
// shows, and what the button's tap or its withdrawal tells the data source
// and the delegate. One row shows the button at a time. Owned by the table,
// which hands itself in; the button's tap reaches the table only while it
// lives.

#include "Platform/UI/IndexPath.h"

#include <memory>
#include <optional>

namespace ui {

class GestureRecognizerDelegate;
class SwipeGestureRecognizer;
class TableView;
class TableViewCell;

class TableViewRowDeletion {
public:
    TableViewRowDeletion();
    ~TableViewRowDeletion();

    // Adds the swipe to the table; what it does is the table's swipeCell.
    void attach(TableView& table);
    std::optional<IndexPath> row() const { return m_row; }
    // A swipe over the cell: its row's Delete button when the row may be
    // deleted (the delegate first hears that editing of the row begins).
    void swipe(TableView& table, TableViewCell& cell);
    // A tap on an editing row's disc: a plus commits the insert; a minus
    // shows the row's Delete button, or takes it away again.
    void tapDisc(TableView& table, IndexPath path);
    // The button's tap: commits the delete, then did-end-editing-row.
    void confirm(TableView& table);
    // Takes the button away: did-end-editing-row.
    void cancel(TableView& table);

private:
    // Shows the row's Delete button, taking away one shown elsewhere.
    void show(TableView& table, TableViewCell& cell, IndexPath path, bool swiped);

    std::shared_ptr<SwipeGestureRecognizer> m_swipe;
    std::shared_ptr<GestureRecognizerDelegate> m_swipeDelegate;
    std::optional<IndexPath> m_row;
};

} // namespace ui
