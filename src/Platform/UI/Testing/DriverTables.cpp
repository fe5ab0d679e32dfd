#include "Platform/UI/Testing/DriverTables.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Testing/DriverTouches.h"

#include <fmt/format.h>

namespace ui::testing {

namespace {

TableViewCell& shownCell(const TableView& table, IndexPath path)
{
    auto* cell = table.cellForRow(path);
    if (!cell)
        throw core::Exception(DriverFailure, fmt::format("row {} is not shown", path.description()));
    return *cell;
}

} // namespace

DriverTables::DriverTables(DriverTouches& touches)
    : m_touches(touches)
{
}

void DriverTables::tapRow(const TableView& table, IndexPath path)
{
    settle();
    m_touches.tap(shownCell(table, path));
}

void DriverTables::tapAccessory(const TableView& table, IndexPath path)
{
    settle();
    View* accessory = shownCell(table, path).shownAccessoryView();
    if (!accessory)
        failStep(fmt::format("row {} has no accessory", path.description()), {});
    m_touches.tap(*accessory);
}

void DriverTables::tapIndexTitle(const TableView& table, int index)
{
    settle();
    View* index_view = table.indexView();
    int count = int(table.sectionIndexTitles().size());
    if (!index_view || index_view->isHidden() || index < 0 || index >= count)
        failStep(fmt::format("no index title {}", index), {});
    float step = index_view->bounds().height() / float(count);
    m_touches.tapAt(*index_view, { index_view->bounds().width() / 2, step * (float(index) + 0.5f) });
}

void DriverTables::swipeRow(const TableView& table, IndexPath path)
{
    settle();
    m_touches.swipe(shownCell(table, path), 2);
    settle();
}

void DriverTables::confirmDeletion(const TableView& table)
{
    settle();
    for (auto* cell : table.visibleCells())
        if (auto* button = cell->deleteConfirmationButton())
            return m_touches.tap(*button);
    failStep("no row shows a delete confirmation", {});
}

void DriverTables::deleteRow(TableView& table, IndexPath path)
{
    settle();
    if (!table.isEditing())
        failStep("the table is not editing", { &table });
    shownCell(table, path);
    table.commitEdit(path);
    settle();
}

void DriverTables::moveRow(TableView& table, IndexPath from, IndexPath to)
{
    settle();
    if (!table.isEditing())
        failStep("the table is not editing", { &table });
    table.moveRow(from, to);
    settle();
}

void DriverTables::scrollToRow(TableView& table, IndexPath path)
{
    table.scrollToRow(path, TableView::ScrollPosition::Middle, false);
    settle();
}

std::vector<std::string> DriverTables::cellTexts(const TableView& table)
{
    settle();
    std::vector<std::string> texts;
    for (auto* cell : table.visibleCells())
        texts.push_back(cell->debugText());
    return texts;
}

} // namespace ui::testing
