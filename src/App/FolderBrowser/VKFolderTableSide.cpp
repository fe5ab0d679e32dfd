#include "App/FolderBrowser/VKFolderTableSide.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderRowCells.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKMultiEditTableView.h"
#include "Downloads/VKDownloadFileResource.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/TextField.h"

#include <algorithm>
#include <climits>

int VKFolderTableSide::numberOfSections(ui::TableView&)
{
    return m_screen.tableSectionForResources() + 1;
}

int VKFolderTableSide::numberOfRows(ui::TableView&, int section)
{
    if (section != m_screen.tableSectionForResources())
        return 0;
    return int(std::min<size_t>(m_screen.listing().count(), INT_MAX));
}

std::shared_ptr<ui::TableViewCell> VKFolderTableSide::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    bool results = m_screen.isSearching() && m_screen.searchScope() == 1 && m_screen.listing().showsSearchResults();
    return VKFolderRowCells::make(table, m_screen.resourceAtIndexPath(path), results);
}

void VKFolderTableSide::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath)
{
    m_screen.dressCell(cell);
}

std::optional<ui::IndexPath> VKFolderTableSide::willSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (m_screen.isEditing()) {
        auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow(path));
        if (cell && editingMode(table) == VKMultiEditTableView::MultiEditMode && cell->isEditing())
            cell->toggleMark();
        return std::nullopt;
    }
    if (!m_screen.rowOpener().canSelect(m_screen.resourceAtIndexPath(path)))
        return std::nullopt;
    return path;
}

void VKFolderTableSide::didSelectRow(ui::TableView&, ui::IndexPath path)
{
    if (m_screen.isEditing())
        return;
    if (m_screen.isSearching() && m_screen.searchBar())
        m_screen.searchBar()->textField().resignFirstResponder();
    m_screen.rowOpener().select(m_screen.resourceAtIndexPath(path));
}

std::optional<ui::TableViewCell::EditingStyle> VKFolderTableSide::editingStyleForRow(ui::TableView&, ui::IndexPath)
{
    return ui::TableViewCell::EditingStyle::Delete;
}

bool VKFolderTableSide::canEditRow(ui::TableView&, ui::IndexPath)
{
    return !m_screen.isGuest() && !VKBrowserOperation::isOperationInProgress();
}

std::optional<std::string> VKFolderTableSide::titleForDeleteConfirmationButton(ui::TableView&, ui::IndexPath path)
{
    auto resource = m_screen.resourceAtIndexPath(path);
    auto* download = dynamic_cast<VKDownloadFileResource*>(resource.get());
    if (download && download->isActive())
        return core::localized("Cancel");
    return std::nullopt;
}

void VKFolderTableSide::commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle style, ui::IndexPath path)
{
    if (style != ui::TableViewCell::EditingStyle::Delete)
        return;
    auto resource = m_screen.resourceAtIndexPath(path);
    if (!resource || m_screen.rowOpener().askToDeleteFolder(resource))
        return;
    m_screen.commands().moveToTrash(resource, "The file is locked and cannot currently be deleted");
}

void VKFolderTableSide::willBeginEditingRow(ui::TableView& table, ui::IndexPath)
{
    if (&table == &m_screen.tableView())
        m_screen.setIndexViewHidden(true, false);
}

void VKFolderTableSide::didEndEditingRow(ui::TableView& table, ui::IndexPath)
{
    auto* multiEdit = dynamic_cast<VKMultiEditTableView*>(&table);
    if (!multiEdit || &table != &m_screen.tableView() || m_screen.isEditing())
        return;
    multiEdit->setEditingMode(VKMultiEditTableView::MultiEditMode);
    m_screen.setIndexViewHidden(false, false);
}

std::optional<bool> VKFolderTableSide::tableViewCanHandleSwipes(VKMultiEditTableView& table)
{
    if (m_screen.isGuest())
        return false;
    if (!m_screen.isEditing())
        return true;
    return table.editingMode() != VKMultiEditTableView::MultiEditMode;
}

void VKFolderTableSide::didMarkCell(ui::TableView&, ui::IndexPath path)
{
    if (auto resource = m_screen.resourceAtIndexPath(path)) {
        m_screen.editing().mark(*resource);
        m_screen.editing().updateBars();
    }
}

void VKFolderTableSide::didUnmarkCell(ui::TableView&, ui::IndexPath path)
{
    if (auto resource = m_screen.resourceAtIndexPath(path)) {
        m_screen.editing().unmark(*resource);
        m_screen.editing().updateBars();
    }
}

void VKFolderTableSide::longTouchGestureForCell(ui::TableView&, ui::TableViewCell& cell)
{
    if (!m_screen.isSearching())
        return;
    auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell);
    auto resource = fileCell ? fileCell->resource() : nullptr;
    if (!resource) {
        core::log("Warning, invalid resource for long touch gesture");
        return;
    }
    m_screen.rowOpener().askOpenOrReveal(resource);
}
