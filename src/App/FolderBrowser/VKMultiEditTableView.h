#pragma once

// The table of lists whose rows can be marked: in multi-edit mode (1, the
// mode of a new table) editing means ticking rows' check boxes; a
// horizontal swipe over a row switches the table to swipe mode (0) before
// the row's own Delete button shows. The owner switches back to 1 when
// editing ends. The delegate may refuse swipes altogether.

#include "App/FolderBrowser/VKMultiEditTableViewDelegate.h"

#include "Platform/UI/TableView.h"

class VKMultiEditTableView : public ui::TableView {
public:
    enum EditingMode { SwipeMode = 0, MultiEditMode = 1 };

    static std::shared_ptr<VKMultiEditTableView> create(const gfx::Rect& frame = {}, Style style = Style::Plain);
    explicit VKMultiEditTableView(Style style = Style::Plain);

    int editingMode() const { return m_editingMode; }
    void setEditingMode(int mode) { m_editingMode = mode; }

    // The delegate's answer when it gives one, else yes; a data source that
    // cannot commit a deletion takes no swipes either.
    bool canHandleSwipes() override;
    // Swipe mode first, then the row's Delete button.
    void swipeCell(ui::TableViewCell& cell, gfx::Point point) override;

private:
    int m_editingMode = MultiEditMode;
};

// What any table answers: its mode for a multi-edit table, else 0.
int editingMode(const ui::TableView& table);
