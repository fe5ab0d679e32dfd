// What the folder list does for its search (VKFolderSearch): the bar as
// the list's header, the rows rebuilt when the search asks, and the repair
// of a navigation stack reached through a "Local Files" result.

#include "App/FolderBrowser/VKFolderController.h"

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

namespace {

std::string describeControllers(const std::vector<std::shared_ptr<VKFolderController>>& controllers)
{
    std::string text = "(";
    for (size_t i = 0; i < controllers.size(); ++i)
        text += fmt::format("{}\n    {}", i ? "," : "", controllers[i]->description());
    return text + "\n)";
}

// Whether `folder` lies above `path` (strictly).
bool isAncestor(const std::string& folder, const std::string& path)
{
    auto relative = stringByAbbreviatingRelativeToPath(path, folder);
    return relative && !relative->empty();
}

} // namespace

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
        m_search->load(std::static_pointer_cast<VKFolderSearch::Host>(self()), isLocalFolder(), self(), width,
            tableView().rowHeight(), self(), self());
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

void VKFolderController::folderSearchWillBegin()
{
    auto keep = self();
    repairNavigationStack();
    setIndexViewHidden(true, true);
}

void VKFolderController::folderSearchWillEnd()
{
    auto keep = self();
    m_changes.cancelModelUpdate();
    updateModelAndView();
    // The strip comes back once the search is no longer active.
    std::weak_ptr<VKFolderController> weak = self();
    core::RunLoop::main().performAfter(0, [weak] {
        if (auto controller = weak.lock())
            controller->setIndexViewHidden(false, false);
    });
}

void VKFolderController::folderSearchChanged(double delay)
{
    m_changes.scheduleModelUpdate(delay);
}

void VKFolderController::folderSearchBarResized()
{
    tableView().reloadData();
}

std::optional<gfx::Color> VKFolderController::folderSearchBarTint() const
{
    auto services = this->services();
    return services ? services->browserBarTint() : std::nullopt;
}

// A folder opened from a "Local Files" result may sit on a stack that does
// not lead to it. When a search begins there, the stack is made again: one
// screen per folder from the root down to this one, keeping the screens
// that already lead here.
void VKFolderController::repairNavigationStack()
{
    auto appDelegate = services();
    if (!appDelegate)
        return;
    auto controllers = appDelegate->browserFolderScreens();
    if (controllers.empty() || controllers.front().get() == this)
        return;
    auto root = VKApplication::sharedApplication()->rootDirectoryForPath(m_folderPath);
    if (!root)
        return;
    std::string rootPath = core::path::standardizingPath(*root);
    auto endSearchOf = [this](VKFolderController& controller) {
        if (&controller == this || !controller.isSearching())
            return false;
        bool scoped = controller.searchScope() == 0;
        controller.searchDisplayController()->setActive(false);
        return scoped;
    };

    std::string base;
    if (controllers.front()->folderPath() != rootPath) {
        core::log("Invalid rootController: {}", controllers.front()->description());
        for (auto& controller : controllers)
            endSearchOf(*controller);
        controllers.clear();
        base = core::path::deletingLastPathComponent(rootPath);
    } else {
        std::string path = controllers.front()->folderPath();
        bool consistent = true;
        for (size_t i = 0; i < controllers.size(); ++i) {
            auto& controller = *controllers[i];
            // A stack reached through a search of the folder itself leads here.
            if (endSearchOf(controller))
                return;
            if (i == 0)
                continue;
            // A screen off the way down to this folder (a sibling's, whose
            // "Local Files" search opened this one) ends the walk as well as
            // one whose folder is not inside the one before.
            bool followsPath = core::path::deletingLastPathComponent(controller.folderPath()) == path;
            bool onTheWay = &controller == this || isAncestor(controller.folderPath(), m_folderPath);
            if (!followsPath || !onTheWay) {
                core::log("Invalid controller: {}", controller.description());
                controllers.erase(controllers.begin() + std::ptrdiff_t(i), controllers.end());
                base = path;
                consistent = false;
                break;
            }
            path = controller.folderPath();
        }
        if (consistent)
            return;
    }

    auto relative = stringByAbbreviatingRelativeToPath(m_folderPath, base);
    if (!relative)
        return;
    auto keep = self();
    for (const auto& component : core::path::pathComponents(*relative)) {
        base = core::path::appendingPathComponent(base, component);
        if (base == m_folderPath)
            break;
        if (auto controller = folderControllerWithResource(VKFileResource::resourceWithPath(base), appDelegate))
            controllers.push_back(std::move(controller));
    }
    controllers.push_back(keep);
    core::log("Re-grafting folderControllers: {}", describeControllers(controllers));
    appDelegate->browserSetFolderScreens(std::move(controllers));
}
