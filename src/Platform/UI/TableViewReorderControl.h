#pragma once

// The reorder grip of a table row while editing (the cell draws it; this
// view only takes the touches over it): a drag that starts on it moves the
// row. The row follows the finger above the others and where it is let go
// its middle names the proposed place for TableView::moveRow. A control, so
// that the table's drag never takes its touch and the table stays still.
// Made and removed by the cell; the table and the tests find it here.

#include "Platform/UI/Control.h"

namespace ui {

class TableView;
class TableViewCell;

class TableViewReorderControl : public Control {
public:
    // The cell's grip while it shows (editing and showsReorderControl).
    static TableViewReorderControl* of(const TableViewCell& cell);
    // Shows or removes the cell's grip as its state says.
    static void update(TableViewCell& cell);

    bool isDragging() const { return m_dragging; }

    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesMoved(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;
    void willMoveToSuperview(View* newSuperview) override;

private:
    TableViewCell* cell() const;
    TableView* table() const;
    // Puts the row back where it belongs.
    void settle();

    bool m_dragging = false;
    // From the finger to the row's top.
    float m_grab = 0;
};

} // namespace ui
