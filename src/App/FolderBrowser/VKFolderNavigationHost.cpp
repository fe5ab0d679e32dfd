#include "App/FolderBrowser/VKFolderNavigationHost.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderStack.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"

bool VKFolderNavigationHost::openerIsSearching() const
{
    return m_screen.isSearching();
}

void VKFolderNavigationHost::openerPush(const std::shared_ptr<ui::ViewController>& pushed,
    const std::optional<std::string>& backTitle)
{
    auto& item = m_screen.navigationItem();
    std::optional<std::string> current;
    if (item.backBarButtonItem())
        current = item.backBarButtonItem()->title();
    if (current != backTitle)
        item.setBackBarButtonItem(backTitle ? barButtonItemWithTitle(*backTitle, ui::BarButtonItem::Style::Plain) : nullptr);
    if (pushed && m_screen.navigationController())
        m_screen.navigationController()->pushViewController(pushed, true);
    else
        openerDeselect();
}

void VKFolderNavigationHost::openerDeselect()
{
    ui::TableView& table = m_screen.activeTableView();
    if (auto selected = table.indexPathForSelectedRow())
        table.deselectRow(*selected, true);
}

void VKFolderNavigationHost::openerShowSheet(VKActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource)
{
    m_screen.showActionSheet(sheet, resource);
}

void VKFolderNavigationHost::openerItemVanished()
{
    m_screen.listing().rebuild(true);
    m_screen.updateView();
}

std::weak_ptr<ui::ActionSheetDelegate> VKFolderNavigationHost::openerSheetDelegate()
{
    return m_screen.commands().selfAs<ui::ActionSheetDelegate>();
}

std::shared_ptr<VKViewerFolderHost> VKFolderNavigationHost::openerViewerHost()
{
    return std::static_pointer_cast<VKFolderController>(m_screen.weak_from_this().lock());
}

std::weak_ptr<VKFolderBrowserServices> VKFolderNavigationHost::openerServices() const
{
    return m_screen.services();
}

void VKFolderNavigationHost::folderSearchWillBegin()
{
    VKFolderStack::repair(m_screen);
    m_screen.setIndexViewHidden(true, true);
}

void VKFolderNavigationHost::folderSearchWillEnd()
{
    m_screen.changes().cancelModelUpdate();
    m_screen.updateModelAndView();
    // The strip comes back once the search is no longer active, if the
    // screen is still there then.
    core::RunLoop::main().performAfter(m_screen.sharedAs<VKFolderController>(), 0, [](VKFolderController& screen) {
        screen.setIndexViewHidden(false, false);
    });
}

void VKFolderNavigationHost::folderSearchChanged(double delay)
{
    m_screen.changes().scheduleModelUpdate(delay);
}

void VKFolderNavigationHost::folderSearchBarResized()
{
    m_screen.tableView().reloadData();
}

std::optional<gfx::Color> VKFolderNavigationHost::folderSearchBarTint() const
{
    auto services = m_screen.services();
    return services ? services->browserBarTint() : std::nullopt;
}

void VKFolderNavigationHost::toolbarShowDownloads()
{
    m_screen.showDownloadViewController();
}

void VKFolderNavigationHost::toolbarBeginSearch()
{
    m_screen.beginSearch();
}

void VKFolderNavigationHost::toolbarUploadsChanged()
{
    m_screen.updateUploadProgressView();
    m_screen.updateEditButton();
}
