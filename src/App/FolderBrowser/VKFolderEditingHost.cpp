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

#include <cstdlib>
#include <unordered_set>

VKFolderController& VKFolderEditingHost::screen() const
{
    auto screen = m_screen.lock();
    if (!screen)
        std::abort();
    return *screen;
}

void VKFolderEditingHost::setMarking(bool editing, bool animated)
{
    auto shared = m_screen.lock();
    if (!shared)
        return;
    VKFolderController& screen = *shared;
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
                VKFolderEditing::NewFolderAction, [weak = m_screen](ui::BarButtonItem& button) {
                    if (auto screen = weak.lock())
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
    static const std::vector<VKFolderRow> none;
    auto screen = m_screen.lock();
    return screen ? screen->listing().builtRows() : none;
}

uint64_t VKFolderEditingHost::editingSizeOfItem(const VKFileResource& resource) const
{
    return resource.contentSize();
}

void VKFolderEditingHost::editingMarksReset()
{
    if (auto screen = m_screen.lock(); screen && screen->isViewLoaded())
        screen->activeTableView().reloadData();
}

bool VKFolderEditingHost::editingIsActive() const
{
    auto screen = m_screen.lock();
    return screen && screen->isEditing();
}

ui::NavigationItem& VKFolderEditingHost::editingNavigationItem()
{
    return screen().navigationItem();
}

const std::vector<std::shared_ptr<ui::BarButtonItem>>& VKFolderEditingHost::editingBarItems() const
{
    return screen().editingToolbarItems();
}

ui::Toolbar* VKFolderEditingHost::editingToolbar() const
{
    auto screen = m_screen.lock();
    auto* navigation = screen ? screen->navigationController() : nullptr;
    return navigation ? &navigation->toolbar() : nullptr;
}

VKFolderControllerBase& VKFolderEditingHost::commandScreen()
{
    return screen();
}

const std::shared_ptr<VKFileResource>& VKFolderEditingHost::commandFolder() const
{
    return screen().resource();
}

VKFolderEditing& VKFolderEditingHost::commandMarks()
{
    return screen().editing();
}

ui::TableView* VKFolderEditingHost::commandTable()
{
    auto screen = m_screen.lock();
    return screen && screen->isViewLoaded() ? &screen->activeTableView() : nullptr;
}

size_t VKFolderEditingHost::commandRowCount()
{
    auto screen = m_screen.lock();
    return screen ? screen->listing().count() : 0;
}

std::optional<ui::IndexPath> VKFolderEditingHost::commandRowOf(const VKFileResource& resource)
{
    auto screen = m_screen.lock();
    return screen ? screen->indexPathOfResource(resource) : std::nullopt;
}

bool VKFolderEditingHost::commandScreenIsOnTop() const
{
    auto screen = m_screen.lock();
    return screen && screen->isTopViewController();
}

bool VKFolderEditingHost::commandScreenIsVisible() const
{
    auto screen = m_screen.lock();
    return screen && screen->isVisibleViewController();
}

bool VKFolderEditingHost::commandNameIsTaken(const std::string& name, bool ignoringCase)
{
    auto screen = m_screen.lock();
    return screen && screen->listing().hasChildNamed(name, ignoringCase);
}

bool VKFolderEditingHost::commandShowsHiddenFiles() const
{
    return VKFolderListing::showsHiddenFiles();
}

void VKFolderEditingHost::commandMarkAll(bool marked)
{
    if (auto screen = m_screen.lock())
        marked ? screen->markAllItems() : screen->unmarkAllItems();
}

void VKFolderEditingHost::commandOpen(const std::shared_ptr<VKFileResource>& resource)
{
    if (auto screen = m_screen.lock())
        screen->openResource(resource);
}

void VKFolderEditingHost::commandReveal(const std::shared_ptr<VKFileResource>& resource)
{
    if (auto screen = m_screen.lock())
        screen->revealResource(resource);
}

int VKFolderEditingHost::trashRow(const std::shared_ptr<VKFileResource>& resource)
{
    auto screen = m_screen.lock();
    if (!screen || !resource)
        return 0;
    auto& center = core::NotificationCenter::defaultCenter();
    center.post(VKFolderControllerWillDeleteResourceNotification, screen,
        core::Value::Dictionary { { "Path", core::Value(resource->path()) } });
    int result = int(moveFileResourceToDesktopTrash(resource));
    if (result != VKViewerFolderHost::TrashMoved)
        return result;
    auto row = screen->indexPathOfResource(*resource);
    VKFolderListing& listing = screen->listing();
    listing.beginUpdates();
    listing.remove(resource);
    listing.endUpdates();
    screen->editing().unmark(*resource);
    center.post(VKFolderControllerCollectionDidUpdateNotification, screen,
        core::Value::Dictionary { { "Path", core::Value(screen->resource()->path()) } });
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
    auto screen = m_screen.lock();
    return screen ? screen->moveResourceToTrash(resource) : 0;
}

void VKFolderEditingHost::commandHoldList(bool hold)
{
    if (auto screen = m_screen.lock())
        hold ? screen->listing().beginUpdates() : screen->listing().endUpdates();
}

void VKFolderEditingHost::commandAdded(const std::shared_ptr<VKFileResource>& resource)
{
    if (auto screen = m_screen.lock())
        screen->listing().add(resource);
}

void VKFolderEditingHost::commandReplaced(const std::shared_ptr<VKFileResource>& from,
    const std::shared_ptr<VKFileResource>& to)
{
    if (auto screen = m_screen.lock())
        screen->listing().replace(from, to);
}

void VKFolderEditingHost::commandRemoved(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    if (auto screen = m_screen.lock())
        screen->listing().remove(resources);
}

void VKFolderEditingHost::commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& trashed)
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    auto& listing = screen->listing();
    int section = screen->tableSectionForResources();
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
    if (trashed.empty() || !screen->isViewLoaded())
        return;
    if (rowsGone.size() == trashed.size()) {
        screen->activeTableView().deleteRows(rowsGone, ui::TableView::RowAnimation::None);
        screen->updateIndexView();
        screen->updateFolderInfo();
    } else {
        screen->updateModelAndView();
    }
}

void VKFolderEditingHost::commandListChanged()
{
    if (auto screen = m_screen.lock()) {
        screen->updateModelAndView();
        screen->updateFolderInfo();
    }
}

void VKFolderEditingHost::commandScrollTo(const std::shared_ptr<VKFileResource>& resource,
    ui::TableView::ScrollPosition position)
{
    if (auto screen = m_screen.lock())
        screen->rowReveal().scrollTo(resource, position, true);
}

void VKFolderEditingHost::commandHighlight(const std::shared_ptr<VKFileResource>& resource)
{
    if (auto screen = m_screen.lock())
        screen->revealAndHighlightResource(resource);
}
