// The folder screen's rows: their cells, what a touch, a mark, a swipe and a
// long touch do (what a row opens and its sheets are VKFolderRowOpener's),
// revealing a row, and the scroll position (VKFolderScrollMemory keeps it).

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderEditingHost.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderRowCells.h"
#include "App/FolderBrowser/VKFolderTableSide.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"

#include <algorithm>

// MARK: Cells (VKFolderRowCells; the table side asks)

void VKFolderController::dressCell(ui::TableViewCell& cell)
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
    for (auto* cell : activeTableView().visibleCells())
        VKFolderRowCells::askThumbnail(*cell);
}

// MARK: Opening

void VKFolderController::openResource(const std::shared_ptr<VKFileResource>& resource)
{
    rowOpener().open(resource);
}

void VKFolderController::showActionSheet(ui::ActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource)
{
    dismissActiveActionSheet(*this);
    ::showActionSheet(*this, sheet, resource);
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
    if (marking) {
        // The marks, the editing bars and the strip (VKFolderEditingHost).
        m_editingHost->setMarking(editing, animated);
        return;
    }
    VKFolderControllerBase::setEditing(editing, animated);
    if (isViewLoaded())
        activeTableView().setEditing(editing, animated);
    if (!editing) {
        if (multiEdit)
            multiEdit->setEditingMode(VKMultiEditTableView::MultiEditMode);
        updateFolderInfo();
    }
}

// MARK: Deleting

int VKFolderController::moveResourceToTrash(const std::shared_ptr<VKFileResource>& resource)
{
    return m_editingHost->trashRow(resource);
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
    core::RunLoop::main().post(self(), [fraction](VKFolderController& controller) {
        if (!controller.isViewLoaded())
            return;
        VKFolderScrollMemory::scrollToFraction(controller.activeTableView(), *fraction);
        controller.activeTableView().flashScrollIndicators();
        // A screen below the top takes its fraction when it shows again.
        if (controller.isVisibleViewController())
            controller.scrollMemory().forgetRestored();
    });
}
