// What the folder list does for its search (VKFolderSearch): the bar as
// the list's header, the rows rebuilt when the search asks, and the repair
// of a navigation stack reached through a "Local Files" result.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderNavigationHost.h"
#include "App/FolderBrowser/VKFolderTableSide.h"

#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "Shell/VKApplication.h"
#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "FileModel/VKFileResource.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"

#include <fmt/format.h>

bool VKFolderController::performKeyCommand(ui::KeyCommand command)
{
    if (command == ui::KeyCommand::Find && searchBar() && searchBar()->window()) {
        // The bar heads the list: in sight first.
        ui::TableView& table = tableView();
        table.setContentOffset({ table.contentOffset().x, table.minimumContentOffset().y });
        searchBar()->becomeFirstResponder();
        return true;
    }
    if (command == ui::KeyCommand::Delete && isEditing() && !editing().markedResources().empty()) {
        commands().deleteMarkedItems(nullptr);
        return true;
    }
    if (command == ui::KeyCommand::Escape && isEditing()) {
        setEditing(false, true);
        return true;
    }
    return VKFolderControllerBase::performKeyCommand(command);
}

void VKFolderController::updateSearchControllerIfNecessary()
{
    if (!m_search->isLoaded()) {
        float width = isViewLoaded() ? tableView().bounds().width() : 0;
        attachHosts();
        m_search->load(m_navigationHost, isLocalFolder(), self(), width, tableView().rowHeight(), m_tableSide, m_tableSide);
    }
    tableView().setTableHeaderView(m_search->bar());
}

void VKFolderController::beginSearch()
{
    if (!isViewLoaded())
        return;
    updateSearchControllerIfNecessary();
    tableView().setContentOffset(tableView().minimumContentOffset());
    searchBar()->becomeFirstResponder();
}
