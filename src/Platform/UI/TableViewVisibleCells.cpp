#include "Platform/UI/TableViewVisibleCells.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"

#include <fmt/format.h>

namespace ui {

TableViewCell* TableViewVisibleCells::cell(IndexPath path) const
{
    auto it = m_shown.find(path);
    return it == m_shown.end() ? nullptr : it->second.get();
}

std::optional<IndexPath> TableViewVisibleCells::pathOf(const TableViewCell& cell) const
{
    for (auto& [path, shown] : m_shown)
        if (shown.get() == &cell)
            return path;
    return std::nullopt;
}

std::vector<TableViewCell*> TableViewVisibleCells::cells() const
{
    std::vector<TableViewCell*> cells;
    for (auto& [path, cell] : m_shown)
        cells.push_back(cell.get());
    return cells;
}

std::vector<IndexPath> TableViewVisibleCells::paths() const
{
    std::vector<IndexPath> paths;
    for (auto& [path, cell] : m_shown)
        paths.push_back(path);
    return paths;
}

std::shared_ptr<TableViewCell> TableViewVisibleCells::make(TableView& table, IndexPath path, const gfx::Rect& frame)
{
    auto source = table.dataSource();
    auto cell = source ? source->cellForRow(table, path) : nullptr;
    if (!cell)
        throw core::Exception(core::Exception::InternalInconsistency,
            fmt::format("TableView: the data source gave no cell for row {}", path.description()));
    auto d = table.tableDelegate();
    const bool editing = table.isEditing();
    cell->setFrame(frame);
    cell->setEditingStyle(editing ? table.editingStyleForRow(path) : TableViewCell::EditingStyle::Delete);
    cell->setShowsReorderControl(source && source->canMoveRow(table, path));
    cell->setShouldIndentWhileEditing(!d || d->shouldIndentWhileEditing(table, path));
    cell->setEditing(editing);
    if (d)
        cell->setIndentationLevel(d->indentationLevelForRow(table, path));
    cell->setSelected(table.indexPathForSelectedRow() == path);
    cell->setKeyboardPlace(table.showsKeyboardPlace() && table.keyboardPlace() == path);
    std::weak_ptr<core::Object> weakTable = table.weak_from_this();
    std::weak_ptr<core::Object> weakCell = cell;
    cell->setAccessoryTapHandler([weakTable, weakCell] {
        auto table = std::static_pointer_cast<TableView>(weakTable.lock());
        auto cell = std::static_pointer_cast<TableViewCell>(weakCell.lock());
        if (!table || !cell)
            return;
        if (auto path = table->indexPathForCell(*cell))
            table->tapAccessory(*path);
    });
    return cell;
}

void TableViewVisibleCells::layout(TableView& table, const std::vector<IndexPath>& wanted,
    const std::function<gfx::Rect(IndexPath)>& frame)
{
    std::set<IndexPath> keep(wanted.begin(), wanted.end());
    for (auto it = m_shown.begin(); it != m_shown.end();) {
        if (keep.count(it->first)) {
            ++it;
            continue;
        }
        m_reuse.enqueue(std::move(it->second));
        it = m_shown.erase(it);
    }
    auto d = table.tableDelegate();
    for (auto& path : wanted) {
        if (auto it = m_shown.find(path); it != m_shown.end()) {
            it->second->setFrame(frame(path));
            continue;
        }
        auto cell = make(table, path, frame(path));
        table.insertSubview(cell, 0);
        m_shown[path] = cell;
        if (d)
            d->willDisplayCell(table, *cell, path);
    }
    m_reuse.trim(m_shown.size());
}

void TableViewVisibleCells::dropAll()
{
    for (auto& [path, cell] : std::exchange(m_shown, {}))
        m_reuse.enqueue(cell);
}

void TableViewVisibleCells::retireAll(bool animated)
{
    for (auto& [path, cell] : std::exchange(m_shown, {}))
        retire(cell, animated);
}

void TableViewVisibleCells::remap(const std::function<std::optional<IndexPath>(IndexPath)>& to,
    const std::set<IndexPath>& reloaded, bool animated)
{
    Cells remapped;
    for (auto& [path, cell] : std::exchange(m_shown, {})) {
        auto place = to(path);
        if (!place)
            retire(cell, animated);
        else if (reloaded.count(path))
            m_reuse.enqueue(cell);
        else
            remapped[*place] = cell;
    }
    m_shown = std::move(remapped);
}

void TableViewVisibleCells::retire(std::shared_ptr<TableViewCell> cell, bool animated)
{
    if (!animated) {
        cell->removeFromSuperview();
        return;
    }
    m_retiring->push_back(cell);
    std::weak_ptr<std::vector<std::shared_ptr<TableViewCell>>> weakRetiring = m_retiring;
    std::weak_ptr<core::Object> weakCell = cell;
    core::RunLoop::main().performAfter(TableView::RowAnimationDuration, [weakRetiring, weakCell] {
        auto retiring = weakRetiring.lock();
        auto cell = std::static_pointer_cast<TableViewCell>(weakCell.lock());
        if (!retiring || !cell)
            return;
        cell->removeFromSuperview();
        std::erase(*retiring, cell);
    });
}

} // namespace ui
