// The folder screen's rows: their cells, what a touch, a mark, a swipe and a
// long touch do (what a row opens and its sheets are VKFolderRowOpener's),
// revealing a row, and the scroll position (VKFolderScrollMemory keeps it).

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderRowCells.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Downloads/VKDownloadFileResource.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"

#include <algorithm>
#include <climits>

// MARK: Cells (VKFolderRowCells)

int VKFolderController::numberOfSections(ui::TableView&)
{
    return tableSectionForResources() + 1;
}

int VKFolderController::numberOfRows(ui::TableView&, int section)
{
    if (section != tableSectionForResources())
        return 0;
    return int(std::min<size_t>(listing().count(), INT_MAX));
}


std::shared_ptr<ui::TableViewCell> VKFolderController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    bool results = isSearching() && searchScope() == 1 && listing().showsSearchResults();
    return VKFolderRowCells::make(table, resourceAtIndexPath(path), results);
}

void VKFolderController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath)
{
    if (!m_thumbnailCreationDisabled)
        VKFolderRowCells::askThumbnail(cell);
    VKFolderRowCells::dress(cell, isEditing(), editing(), m_strip->isWanted());
}

void VKFolderController::setThumbnailCreationDisabled(bool disabled)
{
    m_thumbnailCreationDisabled = disabled;
    if (disabled || !isTopViewController() || !isViewLoaded())
        return;
    core::log("VKFolderController restarting thumbnail creation...");
    for (auto* cell : activeTableView().visibleCells())
        VKFolderRowCells::askThumbnail(*cell);
}

// MARK: Selecting and opening

std::optional<ui::IndexPath> VKFolderController::willSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (isEditing()) {
        // Return on the row the arrows reached marks or unmarks it (a
        // click on a row marks it in the row itself).
        auto* cell = dynamic_cast<VKFileResourceCell*>(table.cellForRow(path));
        if (cell && editingMode(table) == VKMultiEditTableView::MultiEditMode && cell->isEditing())
            cell->toggleMark();
        return std::nullopt;
    }
    if (!rowOpener().canSelect(resourceAtIndexPath(path)))
        return std::nullopt;
    return path;
}

void VKFolderController::didSelectRow(ui::TableView&, ui::IndexPath path)
{
    if (isEditing())
        return;
    if (isSearching() && searchBar())
        searchBar()->textField().resignFirstResponder();
    rowOpener().select(resourceAtIndexPath(path));
}

void VKFolderController::openResource(const std::shared_ptr<VKFileResource>& resource)
{
    rowOpener().open(resource);
}

void VKFolderController::showActionSheet(ui::ActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource)
{
    dismissActiveActionSheet(*this);
    ::showActionSheet(*this, sheet, resource);
}

void VKFolderController::longTouchGestureForCell(ui::TableView&, ui::TableViewCell& cell)
{
    if (!isSearching())
        return;
    auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell);
    auto resource = fileCell ? fileCell->resource() : nullptr;
    if (!resource) {
        core::log("Warning, invalid resource for long touch gesture");
        return;
    }
    rowOpener().askOpenOrReveal(resource);
}

// MARK: Editing and marking

void VKFolderController::setEditing(bool editing, bool animated)
{
    if (editing == isEditing())
        return;
    auto* multiEdit = dynamic_cast<VKMultiEditTableView*>(isViewLoaded() ? &tableView() : nullptr);
    // A row's Delete still showing goes first, and with it the swipe mode.
    if (editing && multiEdit && multiEdit->swipedRow())
        multiEdit->cancelDeletion();
    bool marking = !isSearching() && multiEdit && multiEdit->editingMode() != VKMultiEditTableView::SwipeMode;
    if (!marking) {
        VKFolderControllerBase::setEditing(editing, animated);
        if (isViewLoaded())
            activeTableView().setEditing(editing, animated);
        if (!editing) {
            if (multiEdit)
                multiEdit->setEditingMode(VKMultiEditTableView::MultiEditMode);
            updateFolderInfo();
        }
        return;
    }
    // The table's own editing stays off: the rows show their check boxes.
    ui::ViewController::setEditing(editing, animated);
    setIndexViewHidden(editing, animated);
    if (editing)
        setIndexViewHidden(true, animated);
    else
        updateIndexView();
    navigationItem().setHidesBackButton(editing, animated);
    m_editing->clear();
    if (searchBar())
        searchBar()->textField().setEnabled(!editing);
    updateEditButton();
    if (editing) {
        std::shared_ptr<ui::BarButtonItem> newFolder;
        if (m_resource->supportedFileOperations() & VKFileResourceOperationCreateFolder) {
            std::weak_ptr<VKFolderController> weak = self();
            newFolder = barButtonItemWithTitle(core::localized("New Folder"), ui::BarButtonItem::Style::Bordered, nullptr,
                CreateNewFolderAction, [weak](ui::BarButtonItem& item) {
                    if (auto controller = weak.lock())
                        controller->commands().createNewFolder(item.shared_from_this());
                });
        }
        navigationItem().setLeftBarButtonItem(newFolder, animated);
        loadEditingToolbarItems();
        VKFolderController::editing().fitToolbarItems();
        setToolbarItems(editingToolbarItems(), animated);
        VKFolderController::editing().updateBars();
    } else {
        navigationItem().setLeftBarButtonItem(isRootViewController() ? barItems().helpItem() : nullptr, animated);
        navigationItem().setPrompt("");
        updateToolbarItems();
    }
    for (auto* cell : tableView().visibleCells())
        cell->setEditing(editing, animated);
}

void VKFolderController::willBeginEditingRow(ui::TableView& table, ui::IndexPath)
{
    if (&table == &tableView())
        setIndexViewHidden(true, false);
}

void VKFolderController::didEndEditingRow(ui::TableView& table, ui::IndexPath)
{
    auto* multiEdit = dynamic_cast<VKMultiEditTableView*>(&table);
    if (!multiEdit || &table != &tableView() || isEditing())
        return;
    multiEdit->setEditingMode(VKMultiEditTableView::MultiEditMode);
    setIndexViewHidden(false, false);
}

std::optional<bool> VKFolderController::tableViewCanHandleSwipes(VKMultiEditTableView& table)
{
    if (isGuest())
        return false;
    if (!isEditing())
        return true;
    return table.editingMode() != VKMultiEditTableView::MultiEditMode;
}

void VKFolderController::didMarkCell(ui::TableView&, ui::IndexPath path)
{
    if (auto resource = resourceAtIndexPath(path)) {
        editing().mark(*resource);
        editing().updateBars();
    }
}

void VKFolderController::didUnmarkCell(ui::TableView&, ui::IndexPath path)
{
    if (auto resource = resourceAtIndexPath(path)) {
        editing().unmark(*resource);
        editing().updateBars();
    }
}

// MARK: Deleting

std::optional<ui::TableViewCell::EditingStyle> VKFolderController::editingStyleForRow(ui::TableView&, ui::IndexPath)
{
    return ui::TableViewCell::EditingStyle::Delete;
}

bool VKFolderController::canEditRow(ui::TableView&, ui::IndexPath)
{
    return !isGuest() && !VKBrowserOperation::isOperationInProgress();
}

// A running download's row offers to cancel it: the delete stops the
// transfer and removes its partial data (the download hooks' removal).
std::optional<std::string> VKFolderController::titleForDeleteConfirmationButton(ui::TableView&, ui::IndexPath path)
{
    auto* download = dynamic_cast<VKDownloadFileResource*>(resourceAtIndexPath(path).get());
    if (download && download->isActive())
        return core::localized("Cancel");
    return std::nullopt;
}

void VKFolderController::commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle style, ui::IndexPath path)
{
    if (style != ui::TableViewCell::EditingStyle::Delete)
        return;
    auto resource = resourceAtIndexPath(path);
    if (!resource)
        return;
    if (rowOpener().askToDeleteFolder(resource))
        return;
    int result = moveResourceToTrash(resource);
    if (result == TrashMoved)
        return;
    showAlertViewWithMessage(core::localized(result == TrashLocked ? "The file is locked and cannot currently be deleted"
                                                                   : "Failed to delete"),
        core::localized("OK"));
}

int VKFolderController::moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return 0;
    auto& center = core::NotificationCenter::defaultCenter();
    center.post(VKFolderControllerWillDeleteResourceNotification, shared_from_this(),
        core::Value::Dictionary { { "Path", core::Value(resource->path()) } });
    int result = int(moveFileResourceToTrash(resource));
    if (result != TrashMoved)
        return result;
    auto row = indexPathOfResource(*resource);
    listing().beginUpdates();
    listing().remove(resource);
    listing().endUpdates();
    editing().unmark(*resource);
    center.post(VKFolderControllerCollectionDidUpdateNotification, shared_from_this(),
        core::Value::Dictionary { { "Path", core::Value(m_resource->path()) } });
    if (isInTrashGroup())
        return result;
    emptyTrashInBackground();
    if (row && isViewLoaded()) {
        activeTableView().deleteRows({ *row }, ui::TableView::RowAnimation::Fade);
        updateFolderInfo();
    } else {
        updateModelAndView();
    }
    return result;
}

// MARK: The viewers' walks (the row opener's)

std::vector<std::shared_ptr<VKFileResource>> VKFolderController::getAllViewableResourcesWithType(
    const std::optional<std::string>& mimePrefix)
{
    return rowOpener().viewable(mimePrefix);
}

std::shared_ptr<VKFileResource> VKFolderController::getNextViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix)
{
    return rowOpener().step(resource, 1, mimePrefix);
}

std::shared_ptr<VKFileResource> VKFolderController::getPreviousViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix)
{
    return rowOpener().step(resource, -1, mimePrefix);
}

std::shared_ptr<VKFileResource> VKFolderController::getNextViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers)
{
    return rowOpener().step(resource, 1, ignoredIdentifiers);
}

std::shared_ptr<VKFileResource> VKFolderController::getPreviousViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers)
{
    return rowOpener().step(resource, -1, ignoredIdentifiers);
}

std::shared_ptr<VKFileResource> VKFolderController::getFirstViewableResourceIgnoringUTIdentifiers(
    const std::vector<std::string>& ignoredIdentifiers)
{
    return rowOpener().firstViewable(ignoredIdentifiers);
}

// MARK: Reveal

VKFolderRowReveal& VKFolderController::rowReveal() const
{
    attachHosts();
    return *m_reveal;
}

void VKFolderController::revealAndHighlightResource(const std::shared_ptr<VKFileResource>& resource)
{
    rowReveal().revealAndHighlight(resource);
}

// MARK: The scroll position

float VKFolderController::searchBarHeight() const
{
    return m_search->isLoaded() ? searchBar()->frame().height() : 0;
}

void VKFolderController::storeScrollPosition()
{
    if (isViewLoaded())
        scrollMemory().store(activeTableView(), searchBarHeight());
}

void VKFolderController::scrollToStoredPosition()
{
    if (!isViewLoaded())
        return;
    float floor = m_search->isLoaded() && !isSearching() ? searchBarHeight() : 0;
    float bars = 0;
    if (auto* navigation = navigationController()) {
        bars = navigation->navigationBar().frame().height();
        if (!navigation->isToolbarHidden())
            bars += navigation->toolbar().frame().height();
    }
    scrollMemory().scrollBack(activeTableView(), floor, bars);
}

core::Value VKFolderController::currentStateDictionary()
{
    return VKFolderScrollMemory::state(isViewLoaded() ? VKFolderScrollMemory::fraction(activeTableView(), searchBarHeight()) : 0);
}

void VKFolderController::restoreStateFromDictionary(const core::Value& state)
{
    auto fraction = scrollMemory().restore(state);
    if (!fraction)
        return;
    std::weak_ptr<VKFolderController> weak = self();
    core::RunLoop::main().post([weak, fraction] {
        auto controller = weak.lock();
        if (!controller || !controller->isViewLoaded())
            return;
        VKFolderScrollMemory::scrollToFraction(controller->activeTableView(), *fraction);
        controller->activeTableView().flashScrollIndicators();
        // A screen below the top takes its fraction when it shows again.
        if (controller->isVisibleViewController())
            controller->scrollMemory().forgetRestored();
    });
}
