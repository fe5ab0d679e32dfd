#pragma once

// What touches and the arrow keys do to a table's rows. A touch that goes
// down on an editing row's disc taps the disc when it lifts over the same
// row; otherwise, where rows may be chosen, it highlights its row (unless
// the cell shows no selection) and taps it when it lifts over the same row.
// Up and Down pick the neighbouring row across sections (from the first or
// last row shown when none is chosen), passing over rows the delegate
// says cannot be chosen. The keyboard's place is the row last chosen by a
// key or a touch: it outlives the selection (a screen that opens a row
// clears that) and the table's time out of the window, so the arrows go on
// from the row that was opened; it goes only when its row does. While the
// keys put it there, its row shows a frame. Owned by the table, which hands
// itself in.

#include "Platform/UI/IndexPath.h"
#include "Platform/UI/Responder.h"

#include <optional>

namespace ui {

class TableView;

class TableViewRowInput {
public:
    void touchesBegan(TableView& table, const TouchSet& touches);
    void touchesEnded(TableView& table, const TouchSet& touches);
    void touchesCancelled(TableView& table);

    // The row Up (`step` -1) or Down (1) moves the selection to, if any:
    // from the selection, else from the place, else from the rows shown.
    static std::optional<IndexPath> nextRow(TableView& table, int step);

    std::optional<IndexPath> place() const { return m_place; }
    // Whether the keys (rather than a touch) put the place where it is.
    bool placeShown() const { return m_placeShown; }
    // Moves the place (shown when `byKeyboard`), reframing the rows'
    // cells.
    void setPlace(TableView& table, std::optional<IndexPath> path, bool byKeyboard);
    void setPlace(TableView& table, std::optional<IndexPath> path) { setPlace(table, path, m_placeShown); }

private:
    std::optional<IndexPath> m_place;
    bool m_placeShown = false;
    std::optional<IndexPath> m_highlightedRow;
    // The row whose editing disc the touch went down on.
    std::optional<IndexPath> m_editingControlRow;
};

} // namespace ui
