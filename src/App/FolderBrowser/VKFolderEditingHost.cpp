#include "App/FolderBrowser/VKFolderEditingHost.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"

#include <unordered_set>

void VKFolderEditingHost::setMarking(bool editing, bool animated)
{
    VKFolderController& screen = m_screen;
    screen.ui::ViewController::setEditing(editing, animated);
    screen.setIndexViewHidden(editing, animated);
    if (!editing)
        screen.updateIndexView();
    ui::NavigationItem& item = screen.navigationItem();
    item.setHidesBackButton(editing, animated);
    screen.editing().clear();
    if (auto* bar = screen.searchBar())
        bar->textField().setEnabled(!editing);
    screen.updateEditButton();
    if (editing) {
        std::shared_ptr<ui::BarButtonItem> newFolder;
        if (screen.resource()->supportedFileOperations() & VKFileResourceOperationCreateFolder) {
            newFolder = barButtonItemWithTitle(core::localized("New Folder"), ui::BarButtonItem::Style::Bordered, nullptr,
                VKFolderEditing::NewFolderAction, [weak = m_screen.weak_from_this()](ui::BarButtonItem& button) {
                    if (auto screen = std::static_pointer_cast<VKFolderController>(weak.lock()))
                        screen->commands().createNewFolder(button.shared_from_this());
                });
        }
        item.setLeftBarButtonItem(newFolder, animated);
        if (screen.editingToolbarItems().empty())
            screen.setEditingToolbarItems(screen.editing().makeToolbarItems(screen.commands().toolbarButtons()));
        screen.editing().fitToolbarItems();
        screen.setToolbarItems(screen.editingToolbarItems(), animated);
        screen.editing().updateBars();
    } else {
        item.setLeftBarButtonItem(screen.isRootViewController() ? screen.barItems().helpItem() : nullptr, animated);
        item.setPrompt("");
        screen.updateToolbarItems();
    }
    for (auto* cell : screen.tableView().visibleCells())
        cell->setEditing(editing, animated);
}

const std::vector<VKFolderRow>& VKFolderEditingHost::editingRows()
{
    return m_screen.listing().builtRows();
}

uint64_t VKFolderEditingHost::editingSizeOfItem(const VKFileResource& resource) const
{
    return resource.contentSize();
}

void VKFolderEditingHost::editingMarksReset()
{
    if (m_screen.isViewLoaded())
        m_screen.activeTableView().reloadData();
}

bool VKFolderEditingHost::editingIsActive() const
{
    return m_screen.isEditing();
}

ui::NavigationItem& VKFolderEditingHost::editingNavigationItem()
{
    return m_screen.navigationItem();
}

const std::vector<std::shared_ptr<ui::BarButtonItem>>& VKFolderEditingHost::editingBarItems() const
{
    return m_screen.editingToolbarItems();
}

ui::Toolbar* VKFolderEditingHost::editingToolbar() const
{
    auto* navigation = m_screen.navigationController();
    return navigation ? &navigation->toolbar() : nullptr;
}

VKFolderControllerBase& VKFolderEditingHost::commandScreen()
{
    return m_screen;
}

const std::shared_ptr<VKFileResource>& VKFolderEditingHost::commandFolder() const
{
    return m_screen.resource();
}

VKFolderEditing& VKFolderEditingHost::commandMarks()
{
    return m_screen.editing();
}

ui::TableView* VKFolderEditingHost::commandTable()
{
    return m_screen.isViewLoaded() ? &m_screen.activeTableView() : nullptr;
}

size_t VKFolderEditingHost::commandRowCount()
{
    return m_screen.listing().count();
}

std::optional<ui::IndexPath> VKFolderEditingHost::commandRowOf(const VKFileResource& resource)
{
    return m_screen.indexPathOfResource(resource);
}

bool VKFolderEditingHost::commandScreenIsOnTop() const
{
    return m_screen.isTopViewController();
}

bool VKFolderEditingHost::commandScreenIsVisible() const
{
    return m_screen.isVisibleViewController();
}

bool VKFolderEditingHost::commandNameIsTaken(const std::string& name, bool ignoringCase)
{
    return m_screen.listing().hasChildNamed(name, ignoringCase);
}

bool VKFolderEditingHost::commandShowsHiddenFiles() const
{
    return VKFolderListing::showsHiddenFiles();
}

void VKFolderEditingHost::commandMarkAll(bool marked)
{
    marked ? m_screen.markAllItems() : m_screen.unmarkAllItems();
}

void VKFolderEditingHost::commandOpen(const std::shared_ptr<VKFileResource>& resource)
{
    m_screen.openResource(resource);
}

void VKFolderEditingHost::commandReveal(const std::shared_ptr<VKFileResource>& resource)
{
    m_screen.revealResource(resource);
}

int VKFolderEditingHost::trashRow(const std::shared_ptr<VKFileResource>& resource)
{
    // Held through the notices, whose observers may let the screen go.
    auto screen = std::static_pointer_cast<VKFolderController>(m_screen.weak_from_this().lock());
    if (!screen || !resource)
        return 0;
    auto& center = core::NotificationCenter::defaultCenter();
    center.post(VKFolderControllerWillDeleteResourceNotification, screen, { resource->path() });
    int result = int(moveFileResourceToDesktopTrash(resource));
    if (result != VKViewerFolderHost::TrashMoved)
        return result;
    auto row = screen->indexPathOfResource(*resource);
    VKFolderListing& listing = screen->listing();
    listing.beginUpdates();
    listing.remove(resource);
    listing.endUpdates();
    screen->editing().unmark(*resource);
    center.post(VKFolderControllerCollectionDidUpdateNotification, screen, { screen->resource()->path() });
    if (isInTrashGroup())
        return result;
    if (row && screen->isViewLoaded()) {
        screen->activeTableView().deleteRows({ *row }, ui::TableView::RowAnimation::Fade);
        screen->updateFolderInfo();
    } else {
        screen->updateModelAndView();
    }
    return result;
}

int VKFolderEditingHost::commandMoveToTrash(const std::shared_ptr<VKFileResource>& resource)
{
    return m_screen.moveResourceToTrash(resource);
}

void VKFolderEditingHost::commandHoldList(bool hold)
{
    hold ? m_screen.listing().beginUpdates() : m_screen.listing().endUpdates();
}

void VKFolderEditingHost::commandAdded(const std::shared_ptr<VKFileResource>& resource)
{
    m_screen.listing().add(resource);
}

void VKFolderEditingHost::commandReplaced(const std::shared_ptr<VKFileResource>& from,
    const std::shared_ptr<VKFileResource>& to)
{
    m_screen.listing().replace(from, to);
}

void VKFolderEditingHost::commandRemoved(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    m_screen.listing().remove(resources);
}

void VKFolderEditingHost::commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& trashed)
{
    auto& listing = m_screen.listing();
    int section = m_screen.tableSectionForResources();
    // The rows of the trashed items, in one pass over the rows.
    // (The resources are the rows' own unless a rebuild made new ones.)
    std::vector<ui::IndexPath> rowsGone;
    if (listing.isBuilt() && !trashed.empty()) {
        const auto& listed = listing.rows();
        std::unordered_set<const VKFileResource*> objects;
        for (const auto& resource : trashed)
            objects.insert(resource.get());
        for (size_t i = 0; i < listed.size(); ++i)
            if (objects.contains(listed[i].resource.get()))
                rowsGone.push_back({ section, int(i) });
        if (rowsGone.size() != trashed.size()) {
            rowsGone.clear();
            std::unordered_set<std::string> paths;
            for (const auto& resource : trashed)
                paths.insert(core::path::standardizingPath(resource->path()));
            for (size_t i = 0; i < listed.size(); ++i)
                if (paths.contains(core::path::standardizingPath(listed[i].resource->path())))
                    rowsGone.push_back({ section, int(i) });
        }
    }
    listing.remove(trashed);
    listing.endUpdates();
    if (trashed.empty() || !m_screen.isViewLoaded())
        return;
    if (rowsGone.size() == trashed.size()) {
        m_screen.activeTableView().deleteRows(rowsGone, ui::TableView::RowAnimation::None);
        m_screen.updateIndexView();
        m_screen.updateFolderInfo();
    } else {
        m_screen.updateModelAndView();
    }
}

void VKFolderEditingHost::commandListChanged()
{
    m_screen.updateModelAndView();
    m_screen.updateFolderInfo();
}

void VKFolderEditingHost::commandScrollTo(const std::shared_ptr<VKFileResource>& resource,
    ui::TableView::ScrollPosition position)
{
    m_screen.rowReveal().scrollTo(resource, position, true);
}

void VKFolderEditingHost::commandHighlight(const std::shared_ptr<VKFileResource>& resource)
{
    m_screen.revealAndHighlightResource(resource);
}
