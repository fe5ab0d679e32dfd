#pragma once

// The cells a table shows, by row, with the queue of scrolled-out cells
// waiting for reuse and the cells of deleted rows still fading out. A
// layout keeps the cells of the rows wanted, queues the rest and asks the
// table for the missing ones in row order; an update or a move carries the
// shown cells to their new rows. A retired cell leaves its superview at once
// without animation, else after the row animation's time. Owned by the
// table, which hands itself in where a cell is added or announced.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/IndexPath.h"
#include "Platform/UI/TableViewReuseQueue.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace ui {

class TableView;
class TableViewCell;

class TableViewVisibleCells {
public:
    using Cells = std::map<IndexPath, std::shared_ptr<TableViewCell>>;

    const Cells& shown() const { return m_shown; }
    TableViewCell* cell(IndexPath path) const;
    std::optional<IndexPath> pathOf(const TableViewCell& cell) const;
    std::vector<TableViewCell*> cells() const;
    std::vector<IndexPath> paths() const;
    std::shared_ptr<TableViewCell> dequeue(const std::string& identifier) { return m_reuse.dequeue(identifier); }

    // Keeps the cells of `wanted` (placed at `frame`), queues the others and
    // adds the missing ones from the data source, set up for the table's
    // editing and selection, below the table's other views, announcing each
    // to the table's delegate. A source without a cell for a row throws.
    void layout(TableView& table, const std::vector<IndexPath>& wanted,
        const std::function<gfx::Rect(IndexPath)>& frame);
    // Queues every shown cell.
    void dropAll();
    // Retires every shown cell.
    void retireAll(bool animated);
    // Carries each shown cell to `to(row)`: a row without a place retires,
    // a reloaded row's cell is queued.
    void remap(const std::function<std::optional<IndexPath>(IndexPath)>& to, const std::set<IndexPath>& reloaded,
        bool animated);

private:
    void retire(std::shared_ptr<TableViewCell> cell, bool animated);
    static std::shared_ptr<TableViewCell> make(TableView& table, IndexPath path, const gfx::Rect& frame);

    Cells m_shown;
    TableViewReuseQueue m_reuse;
    std::shared_ptr<std::vector<std::shared_ptr<TableViewCell>>> m_retiring
        = std::make_shared<std::vector<std::shared_ptr<TableViewCell>>>();
};

} // namespace ui
