#include "App/FolderBrowser/VKFolderRowsHost.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "FileModel/VKFileResource.h"

std::optional<VKFolderListing::Query> VKFolderRowsHost::listingQuery() const
{
    auto text = m_screen.searchText();
    if (!text || text->empty())
        return std::nullopt;
    return VKFolderListing::Query { *text, m_screen.searchScope() == 1 ? m_screen.localFilesRoots() : std::vector<std::string> {} };
}

bool VKFolderRowsHost::listingIsOnTop() const
{
    return m_screen.isTopViewController();
}

void VKFolderRowsHost::listingDidRebuild()
{
    m_screen.editing().prune();
    if (m_screen.isEditing() && m_screen.isViewLoaded())
        m_screen.editing().updateBars();
}

void VKFolderRowsHost::listingDidChange()
{
    m_screen.updateView();
}

void VKFolderRowsHost::listingFolderMayBeGone()
{
    m_screen.folderMayBeGone();
}

void VKFolderRowsHost::changesFolderChanged(bool burst)
{
    m_screen.listing().folderWasReported(burst);
}

void VKFolderRowsHost::changesReloadTable()
{
    if (m_screen.isViewLoaded())
        m_screen.reloadTableKeepingPlace();
}

std::optional<std::string> VKFolderRowsHost::changesSearchText() const
{
    return m_screen.searchText();
}

bool VKFolderRowsHost::changesSearchesEverywhere() const
{
    return m_screen.searchScope() == 1;
}

void VKFolderRowsHost::changesSearchMayFindMore()
{
    m_screen.listing().rebuild(m_screen.searchScope() == 1);
    m_screen.updateView();
}

void VKFolderRowsHost::changesContentSizeChanged(const std::string& path)
{
    if (!m_screen.isLocalFolder())
        return;
    m_screen.updateFolderInfo();
    if (m_screen.isViewLoaded() && m_screen.listing().contentSizeDidChange(path))
        m_screen.tableView().reloadData();
}

void VKFolderRowsHost::changesSettingChanged(const std::string& key)
{
    // The folder on top follows at once, also behind the settings sheet, so
    // that it shows the new settings when the sheet closes.
    if (key == "VKDisplayFileExtensions") {
        if (m_screen.isTopViewController() && m_screen.isViewLoaded())
            m_screen.activeTableView().reloadData();
        return;
    }
    m_screen.listing().settingDidChange(key);
}

void VKFolderRowsHost::changesUpdateModel()
{
    m_screen.updateModelAndView();
}

bool VKFolderRowsHost::transferIsListed(const std::shared_ptr<VKFileResource>& download)
{
    return m_screen.listing().listsChild(download);
}

void VKFolderRowsHost::transferStarted(const std::shared_ptr<VKFileResource>& download)
{
    m_screen.listing().add(download);
}

void VKFolderRowsHost::transferFinished(const std::shared_ptr<VKFileResource>& download,
    const std::shared_ptr<VKFileResource>& file)
{
    if (file)
        m_screen.listing().replace(download, file);
    else
        m_screen.listing().remove(download);
}

void VKFolderRowsHost::transferDeleted()
{
    if (m_screen.isVisibleViewController())
        return;
    m_screen.listing().rebuild(true);
    m_screen.updateView();
}

void VKFolderRowsHost::transferFailed(const std::shared_ptr<VKFileResource>& download)
{
    if (!m_screen.isViewLoaded())
        return;
    if (auto path = m_screen.indexPathOfResource(*download))
        m_screen.activeTableView().reloadRows({ *path }, ui::TableView::RowAnimation::None);
}

void VKFolderRowsHost::transfersChanged()
{
    m_screen.updateDownloadsBadgeValue();
}

ui::TableView* VKFolderRowsHost::revealTable()
{
    return m_screen.isViewLoaded() ? &m_screen.activeTableView() : nullptr;
}

std::optional<ui::IndexPath> VKFolderRowsHost::revealRowOf(const VKFileResource& resource)
{
    return m_screen.indexPathOfResource(resource);
}
