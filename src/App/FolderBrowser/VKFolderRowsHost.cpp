#include "App/FolderBrowser/VKFolderRowsHost.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "FileModel/VKFileResource.h"

std::optional<VKFolderListing::Query> VKFolderRowsHost::listingQuery() const
{
    auto screen = m_screen.lock();
    auto text = screen ? screen->searchText() : std::nullopt;
    if (!text || text->empty())
        return std::nullopt;
    return VKFolderListing::Query { *text, screen->searchScope() == 1 ? screen->localFilesRoots() : std::vector<std::string> {} };
}

bool VKFolderRowsHost::listingIsOnTop() const
{
    auto screen = m_screen.lock();
    return screen && screen->isTopViewController();
}

void VKFolderRowsHost::listingDidRebuild()
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    screen->editing().prune();
    if (screen->isEditing() && screen->isViewLoaded())
        screen->editing().updateBars();
}

void VKFolderRowsHost::listingDidChange()
{
    if (auto screen = m_screen.lock())
        screen->updateView();
}

void VKFolderRowsHost::listingFolderMayBeGone()
{
    if (auto screen = m_screen.lock())
        screen->folderMayBeGone();
}

void VKFolderRowsHost::changesFolderChanged(bool burst)
{
    if (auto screen = m_screen.lock())
        screen->listing().folderDidChange(burst);
}

void VKFolderRowsHost::changesReloadTable()
{
    if (auto screen = m_screen.lock(); screen && screen->isViewLoaded())
        screen->reloadTableKeepingPlace();
}

std::optional<std::string> VKFolderRowsHost::changesSearchText() const
{
    auto screen = m_screen.lock();
    return screen ? screen->searchText() : std::nullopt;
}

bool VKFolderRowsHost::changesSearchesEverywhere() const
{
    auto screen = m_screen.lock();
    return screen && screen->searchScope() == 1;
}

void VKFolderRowsHost::changesSearchMayFindMore()
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    screen->listing().rebuild(screen->searchScope() == 1);
    screen->updateView();
}

void VKFolderRowsHost::changesContentSizeChanged(const std::string& path)
{
    auto screen = m_screen.lock();
    if (!screen || !screen->isLocalFolder())
        return;
    screen->updateFolderInfo();
    if (screen->isViewLoaded() && screen->listing().contentSizeDidChange(path))
        screen->tableView().reloadData();
}

void VKFolderRowsHost::changesSettingChanged(const std::string& key)
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    // The folder on top follows at once, also behind the settings sheet, so
    // that it shows the new settings when the sheet closes.
    if (key == "VKDisplayFileExtensions") {
        if (screen->isTopViewController() && screen->isViewLoaded())
            screen->activeTableView().reloadData();
        return;
    }
    screen->listing().settingDidChange(key);
}

void VKFolderRowsHost::changesUpdateModel()
{
    if (auto screen = m_screen.lock())
        screen->updateModelAndView();
}

bool VKFolderRowsHost::transferIsListed(const std::shared_ptr<VKFileResource>& download)
{
    auto screen = m_screen.lock();
    return screen && screen->listing().listsChild(download);
}

void VKFolderRowsHost::transferStarted(const std::shared_ptr<VKFileResource>& download)
{
    if (auto screen = m_screen.lock())
        screen->listing().add(download);
}

void VKFolderRowsHost::transferFinished(const std::shared_ptr<VKFileResource>& download,
    const std::shared_ptr<VKFileResource>& file)
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    if (file)
        screen->listing().replace(download, file);
    else
        screen->listing().remove(download);
}

void VKFolderRowsHost::transferDeleted()
{
    auto screen = m_screen.lock();
    if (!screen || screen->isVisibleViewController())
        return;
    screen->listing().rebuild(true);
    screen->updateView();
}

void VKFolderRowsHost::transferFailed(const std::shared_ptr<VKFileResource>& download)
{
    auto screen = m_screen.lock();
    if (!screen || !screen->isViewLoaded())
        return;
    if (auto path = screen->indexPathOfResource(*download))
        screen->activeTableView().reloadRows({ *path }, ui::TableView::RowAnimation::None);
}

void VKFolderRowsHost::transfersChanged()
{
    if (auto screen = m_screen.lock())
        screen->updateDownloadsBadgeValue();
}

ui::TableView* VKFolderRowsHost::revealTable()
{
    auto screen = m_screen.lock();
    return screen && screen->isViewLoaded() ? &screen->activeTableView() : nullptr;
}

std::optional<ui::IndexPath> VKFolderRowsHost::revealRowOf(const VKFileResource& resource)
{
    auto screen = m_screen.lock();
    return screen ? screen->indexPathOfResource(resource) : std::nullopt;
}
