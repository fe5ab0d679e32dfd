#pragma once

// What touches and the arrow keys do to a table's rows. A touch that goes
// down on an editing row's disc taps the disc when it lifts over the same
// row; otherwise, where rows may be chosen, it highlights its row (unless
// the cell shows no selection) and taps it when it lifts over the same row.
// Up and Down pick the neighbouring row across sections (from the first or
// last row shown when none is chosen), passing over rows the delegate
// says cannot be chosen. Owned by the table, which hands itself in.

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

    // The row Up (`step` -1) or Down (1) moves the selection to, if any.
    static std::optional<IndexPath> nextRow(TableView& table, int step);

private:
    std::optional<IndexPath> m_highlightedRow;
    // The row whose editing disc the touch went down on.
    std::optional<IndexPath> m_editingControlRow;
};

} // namespace ui
