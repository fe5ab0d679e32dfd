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
    auto screen = m_screen.lock();
    return screen && screen->isSearching();
}

void VKFolderNavigationHost::openerPush(const std::shared_ptr<ui::ViewController>& pushed,
    const std::optional<std::string>& backTitle)
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    auto& item = screen->navigationItem();
    std::optional<std::string> current;
    if (item.backBarButtonItem())
        current = item.backBarButtonItem()->title();
    if (current != backTitle)
        item.setBackBarButtonItem(backTitle ? barButtonItemWithTitle(*backTitle, ui::BarButtonItem::Style::Plain) : nullptr);
    if (pushed && screen->navigationController())
        screen->navigationController()->pushViewController(pushed, true);
    else
        openerDeselect();
}

void VKFolderNavigationHost::openerDeselect()
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    ui::TableView& table = screen->activeTableView();
    if (auto selected = table.indexPathForSelectedRow())
        table.deselectRow(*selected, true);
}

void VKFolderNavigationHost::openerShowSheet(VKActionSheet& sheet, const std::shared_ptr<VKFileResource>& resource)
{
    if (auto screen = m_screen.lock())
        screen->showActionSheet(sheet, resource);
}

void VKFolderNavigationHost::openerItemVanished()
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    screen->listing().rebuild(true);
    screen->updateView();
}

std::weak_ptr<ui::ActionSheetDelegate> VKFolderNavigationHost::openerSheetDelegate()
{
    auto screen = m_screen.lock();
    return screen ? screen->commands().selfAs<ui::ActionSheetDelegate>() : std::weak_ptr<ui::ActionSheetDelegate>();
}

std::shared_ptr<VKViewerFolderHost> VKFolderNavigationHost::openerViewerHost()
{
    return m_screen.lock();
}

std::weak_ptr<VKFolderBrowserServices> VKFolderNavigationHost::openerServices() const
{
    auto screen = m_screen.lock();
    return screen ? screen->services() : nullptr;
}

void VKFolderNavigationHost::folderSearchWillBegin()
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    VKFolderStack::repair(*screen);
    screen->setIndexViewHidden(true, true);
}

void VKFolderNavigationHost::folderSearchWillEnd()
{
    auto screen = m_screen.lock();
    if (!screen)
        return;
    screen->changes().cancelModelUpdate();
    screen->updateModelAndView();
    // The strip comes back once the search is no longer active.
    core::RunLoop::main().performAfter(0, [weak = m_screen] {
        if (auto screen = weak.lock())
            screen->setIndexViewHidden(false, false);
    });
}

void VKFolderNavigationHost::folderSearchChanged(double delay)
{
    if (auto screen = m_screen.lock())
        screen->changes().scheduleModelUpdate(delay);
}

void VKFolderNavigationHost::folderSearchBarResized()
{
    if (auto screen = m_screen.lock())
        screen->tableView().reloadData();
}

std::optional<gfx::Color> VKFolderNavigationHost::folderSearchBarTint() const
{
    auto screen = m_screen.lock();
    auto services = screen ? screen->services() : nullptr;
    return services ? services->browserBarTint() : std::nullopt;
}

void VKFolderNavigationHost::toolbarShowDownloads()
{
    if (auto screen = m_screen.lock())
        screen->showDownloadViewController();
}

void VKFolderNavigationHost::toolbarBeginSearch()
{
    if (auto screen = m_screen.lock())
        screen->beginSearch();
}

void VKFolderNavigationHost::toolbarUploadsChanged()
{
    if (auto screen = m_screen.lock()) {
        screen->updateUploadProgressView();
        screen->updateEditButton();
    }
}
