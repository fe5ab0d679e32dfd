#include "Platform/UI/TableViewRowInput.h"

#include "Platform/UI/TableView.h"
#include "Platform/UI/Touch.h"

namespace ui {

namespace {

std::optional<IndexPath> rowForTouch(const TableView& table, const TouchSet& touches)
{
    if (touches.empty())
        return std::nullopt;
    return table.indexPathForRow(touches.front()->locationInView(&table));
}

bool choosesRows(const TableView& table)
{
    return table.allowsSelection() && (!table.isEditing() || table.allowsSelectionDuringEditing());
}

} // namespace

void TableViewRowInput::setPlace(TableView& table, std::optional<IndexPath> path, bool byKeyboard)
{
    if (m_place && m_place != path)
        if (auto* cell = table.cellForRow(*m_place))
            cell->setKeyboardPlace(false);
    m_place = path;
    m_placeShown = byKeyboard;
    if (m_place)
        if (auto* cell = table.cellForRow(*m_place))
            cell->setKeyboardPlace(byKeyboard);
}

void TableViewRowInput::touchesBegan(TableView& table, const TouchSet& touches)
{
    // A pointer took over from the keys: the place no longer shows.
    if (m_placeShown)
        setPlace(table, m_place, false);
    m_highlightedRow.reset();
    m_editingControlRow.reset();
    auto path = rowForTouch(table, touches);
    if (path && table.isEditing() && table.isOnEditingControl(*path, touches.front()->locationInView(&table))) {
        m_editingControlRow = path;
        return;
    }
    if (!path || !choosesRows(table))
        return;
    m_highlightedRow = path;
    if (auto* cell = table.cellForRow(*path); cell && cell->selectionStyle() != TableViewCell::SelectionStyle::None)
        cell->setHighlighted(true);
}

void TableViewRowInput::touchesEnded(TableView& table, const TouchSet& touches)
{
    if (auto control = std::exchange(m_editingControlRow, std::nullopt)) {
        if (rowForTouch(table, touches) == control)
            table.tapEditingControl(*control);
        return;
    }
    auto highlighted = std::exchange(m_highlightedRow, std::nullopt);
    if (!highlighted)
        return;
    if (auto* cell = table.cellForRow(*highlighted))
        cell->setHighlighted(false);
    if (rowForTouch(table, touches) == highlighted)
        table.tapRow(*highlighted);
}

void TableViewRowInput::touchesCancelled(TableView& table)
{
    if (auto highlighted = std::exchange(m_highlightedRow, std::nullopt))
        if (auto* cell = table.cellForRow(*highlighted))
            cell->setHighlighted(false);
}

std::optional<IndexPath> TableViewRowInput::nextRow(TableView& table, int step)
{
    const int sections = table.numberOfSections();
    // The neighbour, across sections.
    auto neighbour = [&](IndexPath from) -> std::optional<IndexPath> {
        int section = from.section, row = from.row + step;
        while (section >= 0 && section < sections) {
            if (row >= 0 && row < table.numberOfRows(section))
                return IndexPath { section, row };
            section += step;
            row = step > 0 ? 0 : (section >= 0 && section < sections ? table.numberOfRows(section) - 1 : -1);
        }
        return std::nullopt;
    };
    std::optional<IndexPath> next;
    auto selected = table.indexPathForSelectedRow();
    if (!selected || selected->row < 0 || selected->row >= table.numberOfRows(selected->section))
        selected = table.keyboardPlace();
    if (selected && selected->row >= 0 && selected->row < table.numberOfRows(selected->section))
        next = neighbour(*selected);
    else if (auto shown = table.indexPathsForVisibleRows(); !shown.empty())
        next = step > 0 ? shown.front() : shown.back();
    // Rows that cannot be chosen are passed over.
    auto d = table.tableDelegate();
    while (next && d && !d->canSelectRow(table, *next))
        next = neighbour(*next);
    return next;
}

} // namespace ui
