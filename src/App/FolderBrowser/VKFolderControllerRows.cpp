// The folder screen's rows: their cells, what a touch, a mark, a swipe and a
// long touch do, how an item opens, the walks the viewers ask for, revealing
// a row, and the scroll position kept per folder.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "App/FolderBrowser/VKFolderTableView.h"
#include "App/FolderBrowser/VKIndexView.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "App/Viewers/VKViewController.h"
#include "Downloads/VKDownloadFileResource.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double HighlightInterval = 0.5;

// Offsets by folder ("~/Documents/Work"); the main thread's only.
std::map<std::string, float>& folderContentOffsets()
{
    static std::map<std::string, float> offsets;
    return offsets;
}

std::string offsetKey(const std::string& folderPath)
{
    return core::path::abbreviatingWithTildeInPath(folderPath);
}

bool hasPrefix(const VKFileResource& resource, const std::optional<std::string>& mimePrefix)
{
    return !mimePrefix || mimePrefix->empty() || resource.mimeType().starts_with(*mimePrefix);
}

bool conformsToAny(const VKFileResource& resource, const std::vector<std::string>& identifiers)
{
    return std::any_of(identifiers.begin(), identifiers.end(),
        [&](const std::string& identifier) { return resource.conformsToUTIdentifier(identifier); });
}

} // namespace

std::optional<float> VKFolderController::storedContentOffset(const std::string& folderPath)
{
    auto& offsets = folderContentOffsets();
    auto found = offsets.find(offsetKey(folderPath));
    return found == offsets.end() ? std::nullopt : std::optional<float>(found->second);
}

void VKFolderController::forgetStoredContentOffsets()
{
    folderContentOffsets().clear();
}

// MARK: Cells

std::string VKFolderController::parentNameForResult(const VKFileResource& resource) const
{
    auto application = VKApplication::sharedApplication();
    std::string parent = core::path::deletingLastPathComponent(resource.path());
    auto root = application->rootDirectoryForPath(resource.path());
    std::string prefix = application->localizedPrefixForPath(resource.path());
    if (!root)
        return prefix;
    auto relative = stringByAbbreviatingRelativeToPath(parent, *root);
    if (!relative || relative->empty() || *relative == ".")
        return prefix;
    return core::path::appendingPathComponent(prefix, *relative);
}

std::shared_ptr<ui::TableViewCell> VKFolderController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto resource = resourceAtIndexPath(path);
    auto cell = VKFolderTransferRows::dequeueCell(table, resource.get());
    cell->setFrame({ 0, 0, table.bounds().width(), VKFileResourceCell::RowHeight });
    cell->setResource(resource);
    bool results = resource && isSearching() && searchScope() == 1 && listing().showsSearchResults();
    cell->setParentName(results ? parentNameForResult(*resource) : std::string());
    return cell;
}

void VKFolderController::askThumbnailForCell(ui::TableViewCell& cell)
{
    auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell);
    if (!fileCell || !fileCell->resource())
        return;
    const auto& resource = fileCell->resource();
    if (!resource->isImageType() || resource->isDownloadResource())
        return;
    auto thumbnails = VKThumbnailManager::sharedManager();
    if (!thumbnails->thumbnailForResource(*resource))
        thumbnails->generateThumbnailAndScreenPreviewForResource(resource);
}

void VKFolderController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath)
{
    if (!m_thumbnailCreationDisabled)
        askThumbnailForCell(cell);
    cell.setEditing(isEditing(), false);
    if (auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell); fileCell && fileCell->resource())
        fileCell->setMarked(editing().isMarked(*fileCell->resource()));
    cell.setAccessoryType(shouldDisplayIndexView() ? ui::TableViewCell::Accessory::None
                                                   : ui::TableViewCell::Accessory::DisclosureIndicator);
}

void VKFolderController::setThumbnailCreationDisabled(bool disabled)
{
    m_thumbnailCreationDisabled = disabled;
    if (disabled || !isTopViewController() || !isViewLoaded())
        return;
    core::log("VKFolderController restarting thumbnail creation...");
    for (auto* cell : activeTableView().visibleCells())
        askThumbnailForCell(*cell);
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
    auto resource = resourceAtIndexPath(path);
    if (resource && resource->isDownloadResource()) {
        showAlertViewWithMessage(core::localized("Can't view incomplete downloads."), core::localized("OK"));
        return std::nullopt;
    }
    return path;
}

void VKFolderController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (isEditing())
        return;
    if (isSearching() && searchBar())
        searchBar()->textField().resignFirstResponder();
    auto resource = resourceAtIndexPath(path);
    if (!resource)
        return;
    if (!resource->exists()) {
        showAlertViewWithMessage(fmt::format(fmt::runtime(core::localized("{} no longer exists")), resource->name()),
            core::localized("OK"));
        updateModelFlushingCache(true);
        updateView();
        return;
    }
    if (resource->isMarkedDeleted()) {
        table.deselectRow(path, true);
        return;
    }
    openResource(resource);
}

void VKFolderController::openResource(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return;
    auto deselect = [this] {
        ui::TableView& table = activeTableView();
        if (auto selected = table.indexPathForSelectedRow())
            table.deselectRow(*selected, true);
    };
    std::shared_ptr<ui::ViewController> next;
    std::optional<std::string> backTitle;
    if (resource->isCollection()) {
        if (resource->isCloudResource() && resource->isUpload()) {
            deselect();
            return;
        }
        next = folderControllerWithResource(resource, services());
        if (isSearching())
            backTitle = core::localized("Search");
    } else if (core::path::pathExtension(resource->name()) == "zip") {
        if (!(resource->supportedFileOperations() & VKFileResourceOperationUncompress)) {
            showAlertViewWithTitle(core::localized("Warning"), core::localized("Unzip is not supported in this folder"),
                core::localized("OK"));
        } else {
            auto sheet = VKActionSheet::create(fmt::format(fmt::runtime(core::localized("Unzip \"{}\"?")), resource->name()),
                commands().selfAs<ui::ActionSheetDelegate>());
            vkSetTag(*sheet, Sheet::Unzip);
            sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
            sheet->addButtonWithTitle(core::localized("Unzip"), VKActionSheet::UntaggedButton);
            sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
            showActionSheet(*sheet, resource);
        }
        deselect();
        return;
    } else {
        auto viewer = VKViewController::viewControllerWithResource(resource, std::static_pointer_cast<VKViewerFolderHost>(self()));
        viewer->setOrientationLock(services());
        next = viewer;
        backTitle = core::localized("Back");
    }
    auto& item = navigationItem();
    std::optional<std::string> current;
    if (item.backBarButtonItem())
        current = item.backBarButtonItem()->title();
    if (current != backTitle)
        item.setBackBarButtonItem(backTitle ? barButtonItemWithTitle(*backTitle, ui::BarButtonItem::Style::Plain) : nullptr);
    if (next && navigationController())
        navigationController()->pushViewController(next, true);
    else
        deselect();
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
    auto sheet = VKActionSheet::create(resource->name(), commands().selfAs<ui::ActionSheetDelegate>());
    vkSetTag(*sheet, Sheet::LongTouch);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
    vkAddButton(*sheet, core::localized("Open"), EditAction::Open);
    vkAddButton(*sheet, core::localized("Reveal in Folder"), EditAction::Reveal);
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    showActionSheet(*sheet, resource);
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
        navigationItem().setLeftBarButtonItem(isRootViewController() ? helpBarButtonItem() : nullptr, animated);
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
    return !isGuest() && !isOperationInProgress();
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
    if (resource->isCollection()) {
        auto names = resource->childNames();
        if (names && !names->empty()) {
            auto sheet = VKActionSheet::create(fmt::format(fmt::runtime(core::localized("\"{}\" is not empty")), resource->name()),
                commands().selfAs<ui::ActionSheetDelegate>());
            vkSetTag(*sheet, Sheet::DeleteFolder);
            sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
            sheet->setDestructiveButtonIndex(sheet->addButtonWithTitle(core::localized("Delete"), VKActionSheet::UntaggedButton));
            sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
            showActionSheet(*sheet, resource);
            return;
        }
    }
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
    beginModelUpdates();
    removeResourceFromModel(resource);
    endModelUpdates();
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

// MARK: The viewers' walks

bool VKFolderController::isViewableResource(const VKFileResource& resource) const
{
    return !resource.isCollection() && !resource.isDownloadResource();
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderController::getAllViewableResourcesWithType(
    const std::optional<std::string>& mimePrefix)
{
    std::vector<std::shared_ptr<VKFileResource>> viewable;
    for (auto& resource : filteredResources())
        if (isViewableResource(*resource) && hasPrefix(*resource, mimePrefix))
            viewable.push_back(std::move(resource));
    return viewable;
}

std::shared_ptr<VKFileResource> VKFolderController::walkViewable(const std::shared_ptr<VKFileResource>& from, int step,
    const std::function<bool(const VKFileResource&)>& accepts)
{
    if (!from)
        return nullptr;
    auto row = listing().indexOf(from->path());
    if (!row)
        return nullptr;
    const auto& rows = listing().rows();
    for (long i = long(*row) + step; i >= 0 && size_t(i) < rows.size(); i += step) {
        const auto& resource = rows[size_t(i)].resource;
        if (isViewableResource(*resource) && accepts(*resource))
            return resource;
    }
    return nullptr;
}

std::shared_ptr<VKFileResource> VKFolderController::getNextViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix)
{
    return walkViewable(resource, 1, [&](const VKFileResource& r) { return hasPrefix(r, mimePrefix); });
}

std::shared_ptr<VKFileResource> VKFolderController::getPreviousViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& mimePrefix)
{
    return walkViewable(resource, -1, [&](const VKFileResource& r) { return hasPrefix(r, mimePrefix); });
}

std::shared_ptr<VKFileResource> VKFolderController::getNextViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers)
{
    return walkViewable(resource, 1, [&](const VKFileResource& r) { return !conformsToAny(r, ignoredIdentifiers); });
}

std::shared_ptr<VKFileResource> VKFolderController::getPreviousViewableResourceRelativeToResource(
    const std::shared_ptr<VKFileResource>& resource, const std::vector<std::string>& ignoredIdentifiers)
{
    return walkViewable(resource, -1, [&](const VKFileResource& r) { return !conformsToAny(r, ignoredIdentifiers); });
}

std::shared_ptr<VKFileResource> VKFolderController::getFirstViewableResourceIgnoringUTIdentifiers(
    const std::vector<std::string>& ignoredIdentifiers)
{
    for (const auto& resource : filteredResources())
        if (isViewableResource(*resource) && !conformsToAny(*resource, ignoredIdentifiers))
            return resource;
    return nullptr;
}

// MARK: Reveal, select, scroll

void VKFolderController::revealAndHighlightResource(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource || !isViewLoaded())
        return;
    ui::TableView& table = activeTableView();
    if (auto selected = table.indexPathForSelectedRow())
        table.deselectRow(*selected, false);
    auto path = indexPathOfResource(*resource);
    if (!path)
        return;
    table.scrollToRow(*path, ui::TableView::ScrollPosition::Middle, false);
    // The row's cell exists once the table has laid out its new offset.
    table.layoutIfNeeded();
    table.deselectRow(*path, false);
    highlightResource(resource, 0);
}

void VKFolderController::highlightResource(const std::shared_ptr<VKFileResource>& resource, int count)
{
    if (!isViewLoaded())
        return;
    // Selected on even steps: a reload between them cannot leave it on.
    if (auto path = indexPathOfResource(*resource))
        if (auto* cell = activeTableView().cellForRow(*path))
            cell->setSelected(count % 2 == 0, true);
    if (count >= 3)
        return;
    std::weak_ptr<VKFolderController> weak = self();
    core::RunLoop::main().performAfter(HighlightInterval, [weak, resource, count] {
        if (auto controller = weak.lock())
            controller->highlightResource(resource, count + 1);
    });
}

void VKFolderController::selectResource(const std::shared_ptr<VKFileResource>& resource, bool animated)
{
    if (!resource || !isViewLoaded() || rowCount() == 0)
        return;
    auto path = indexPathOfResource(*resource);
    if (!path)
        return;
    ui::TableView& table = activeTableView();
    if (auto selected = table.indexPathForSelectedRow())
        table.deselectRow(*selected, false);
    table.selectRow(*path, animated, ui::TableView::ScrollPosition::None);
}

void VKFolderController::deselectResource(const std::shared_ptr<VKFileResource>& resource, bool animated)
{
    if (!resource || !isViewLoaded())
        return;
    if (auto path = indexPathOfResource(*resource))
        activeTableView().deselectRow(*path, animated);
}

void VKFolderController::scrollToResource(const std::shared_ptr<VKFileResource>& resource,
    ui::TableView::ScrollPosition position, bool animated)
{
    if (!resource || !isViewLoaded() || rowCount() == 0)
        return;
    auto path = indexPathOfResource(*resource);
    if (!path)
        return;
    ui::TableView& table = activeTableView();
    gfx::Rect row = table.rectForRow(*path);
    gfx::Rect visible = table.bounds();
    float top = std::max(row.minY(), visible.minY());
    float bottom = std::min(row.maxY(), visible.maxY());
    if (bottom - top < row.height())
        table.scrollToRow(*path, position, animated);
}

// MARK: The scroll position

float VKFolderController::searchBarHeight() const
{
    return m_search->isLoaded() ? searchBar()->frame().height() : 0;
}

float VKFolderController::normalisedOffset()
{
    if (!isViewLoaded())
        return 0;
    ui::TableView& table = activeTableView();
    float maximum = table.contentSize().height - table.bounds().height();
    if (maximum <= 0)
        return 0;
    float offset = table.contentOffset().y;
    if (offset < searchBarHeight())
        offset = 0;
    return std::clamp(offset / maximum, 0.0f, 1.0f);
}

void VKFolderController::setNormalisedOffset(float offset)
{
    if (!isViewLoaded() || !std::isfinite(offset))
        return;
    ui::TableView& table = activeTableView();
    float maximum = std::max(0.0f, table.contentSize().height - table.bounds().height());
    table.setContentOffset({ table.contentOffset().x, maximum * std::clamp(offset, 0.0f, 1.0f) });
}

void VKFolderController::storeFolderContentYOffset()
{
    if (!isViewLoaded())
        return;
    float y = activeTableView().contentOffset().y;
    std::string key = offsetKey(m_folderPath);
    if (!std::isfinite(y) || y <= searchBarHeight())
        folderContentOffsets().erase(key);
    else
        folderContentOffsets()[key] = y;
}

void VKFolderController::scrollToStoredFolderContentYOffset()
{
    if (!isViewLoaded())
        return;
    float y = storedContentOffset(m_folderPath).value_or(0);
    if (m_search->isLoaded() && !isSearching())
        y = std::max(y, searchBarHeight());
    ui::TableView& table = activeTableView();
    float navigationBar = 0;
    float toolbar = 0;
    if (auto* navigation = navigationController()) {
        navigationBar = navigation->navigationBar().frame().height();
        if (!navigation->isToolbarHidden())
            toolbar = navigation->toolbar().frame().height();
    }
    y = std::min(y, table.contentSize().height - (table.bounds().height() - navigationBar - toolbar));
    if (y > 0)
        table.setContentOffset({ 0, y });
}

core::Value VKFolderController::currentStateDictionary()
{
    return core::Value(core::Value::Dictionary { { StateOffsetKey, core::Value(double(normalisedOffset())) } });
}

void VKFolderController::restoreStateFromDictionary(const core::Value& state)
{
    if (!state.isDictionary())
        return;
    const core::Value& value = state[StateOffsetKey];
    if (!value.isNumber())
        return;
    double number = value.toReal();
    if (!std::isfinite(number))
        return;
    float offset = float(std::clamp(number, 0.0, 1.0));
    folderContentOffsets()[offsetKey(m_folderPath)] = offset;
    std::weak_ptr<VKFolderController> weak = self();
    core::RunLoop::main().post([weak, offset] {
        auto controller = weak.lock();
        if (!controller || !controller->isViewLoaded())
            return;
        controller->setNormalisedOffset(offset);
        controller->activeTableView().flashScrollIndicators();
    });
}
