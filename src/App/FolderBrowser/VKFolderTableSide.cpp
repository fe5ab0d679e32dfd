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
    auto screen = m_screen.lock();
    return screen ? screen->tableSectionForResources() + 1 : 0;
}

int VKFolderTableSide::numberOfRows(ui::TableView&, int section)
{
    auto screen = m_screen.lock();
    if (!screen || section != screen->tableSectionForResources())
        return 0;
    return int(std::min<size_t>(screen->listing().count(), INT_MAX));
}

std::shared_ptr<ui::TableViewCell> VKFolderTableSide::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    bool results = screen && screen->isSearching() && screen->searchScope() == 1 && screen->listing().showsSearchResults();
    return VKFolderRowCells::make(table, screen ? screen->resourceAtIndexPath(path) : nullptr, results);
}

void VKFolderTableSide::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath)
{
    if (auto screen = m_screen.lock())
        screen->dressCell(cell);
}

std::optional<ui::IndexPath> VKFolderTableSide::willSelectRow(ui::TableView& table, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    if (!screen)
        return std::nullopt;
    if (screen->isEditing()) {
        auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow(path));
        if (cell && editingMode(table) == VKMultiEditTableView::MultiEditMode && cell->isEditing())
            cell->toggleMark();
        return std::nullopt;
    }
    if (!screen->rowOpener().canSelect(screen->resourceAtIndexPath(path)))
        return std::nullopt;
    return path;
}

void VKFolderTableSide::didSelectRow(ui::TableView&, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    if (!screen || screen->isEditing())
        return;
    if (screen->isSearching() && screen->searchBar())
        screen->searchBar()->textField().resignFirstResponder();
    screen->rowOpener().select(screen->resourceAtIndexPath(path));
}

std::optional<ui::TableViewCell::EditingStyle> VKFolderTableSide::editingStyleForRow(ui::TableView&, ui::IndexPath)
{
    return ui::TableViewCell::EditingStyle::Delete;
}

bool VKFolderTableSide::canEditRow(ui::TableView&, ui::IndexPath)
{
    auto screen = m_screen.lock();
    return screen && !screen->isGuest() && !VKBrowserOperation::isOperationInProgress();
}

std::optional<std::string> VKFolderTableSide::titleForDeleteConfirmationButton(ui::TableView&, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    auto resource = screen ? screen->resourceAtIndexPath(path) : nullptr;
    auto* download = dynamic_cast<VKDownloadFileResource*>(resource.get());
    if (download && download->isActive())
        return core::localized("Cancel");
    return std::nullopt;
}

void VKFolderTableSide::commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle style, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    if (!screen || style != ui::TableViewCell::EditingStyle::Delete)
        return;
    auto resource = screen->resourceAtIndexPath(path);
    if (!resource || screen->rowOpener().askToDeleteFolder(resource))
        return;
    screen->commands().moveToTrash(resource, "The file is locked and cannot currently be deleted");
}

void VKFolderTableSide::willBeginEditingRow(ui::TableView& table, ui::IndexPath)
{
    auto screen = m_screen.lock();
    if (screen && &table == &screen->tableView())
        screen->setIndexViewHidden(true, false);
}

void VKFolderTableSide::didEndEditingRow(ui::TableView& table, ui::IndexPath)
{
    auto screen = m_screen.lock();
    auto* multiEdit = dynamic_cast<VKMultiEditTableView*>(&table);
    if (!screen || !multiEdit || &table != &screen->tableView() || screen->isEditing())
        return;
    multiEdit->setEditingMode(VKMultiEditTableView::MultiEditMode);
    screen->setIndexViewHidden(false, false);
}

std::optional<bool> VKFolderTableSide::tableViewCanHandleSwipes(VKMultiEditTableView& table)
{
    auto screen = m_screen.lock();
    if (!screen || screen->isGuest())
        return false;
    if (!screen->isEditing())
        return true;
    return table.editingMode() != VKMultiEditTableView::MultiEditMode;
}

void VKFolderTableSide::didMarkCell(ui::TableView&, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    if (auto resource = screen ? screen->resourceAtIndexPath(path) : nullptr) {
        screen->editing().mark(*resource);
        screen->editing().updateBars();
    }
}

void VKFolderTableSide::didUnmarkCell(ui::TableView&, ui::IndexPath path)
{
    auto screen = m_screen.lock();
    if (auto resource = screen ? screen->resourceAtIndexPath(path) : nullptr) {
        screen->editing().unmark(*resource);
        screen->editing().updateBars();
    }
}

void VKFolderTableSide::longTouchGestureForCell(ui::TableView&, ui::TableViewCell& cell)
{
    auto screen = m_screen.lock();
    if (!screen || !screen->isSearching())
        return;
    auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell);
    auto resource = fileCell ? fileCell->resource() : nullptr;
    if (!resource) {
        core::log("Warning, invalid resource for long touch gesture");
        return;
    }
    screen->rowOpener().askOpenOrReveal(resource);
}
