// The folder list's search: the bar in the list's header, the debounced
// rebuilds while typing, and the repair of a navigation stack reached
// through a "Local Files" result.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "Shell/VKApplication.h"
#include "App/VKAppDelegate.h"
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

constexpr double KeystrokeDelay = 0.4;
constexpr const char* SearchModelUpdateTag = "updateModelAndView";

std::optional<gfx::Color> barTintColor()
{
    auto delegate = VKAppDelegate::sharedAppDelegate();
    return delegate ? delegate->barTintColor() : std::nullopt;
}

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

void VKFolderController::loadSearchDisplayController()
{
    float width = isViewLoaded() ? tableView().bounds().width() : 0;
    m_searchBar = VKFolderSearchBar::create({ 0, 0, width, 0 });
    m_searchBar->setPlaceholder(core::localized(isLocalFolder() ? "Search" : "Search Folder"));
    m_searchBar->textField().setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    m_searchBar->textField().setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    m_searchBar->setTintColor(barTintColor());
    if (isLocalFolder())
        m_searchBar->setScopeButtonTitles({ core::localized("Folder"), core::localized("Local Files") });
    m_searchBar->sizeToFit();
    m_searchController = ui::SearchDisplayController::create(m_searchBar, self());
    m_searchController->setDelegate(self());
    m_searchController->setSearchResultsDataSource(self());
    m_searchController->setSearchResultsDelegate(self());
    // The results cover the list below the bar, also past their last row.
    ui::TableView& results = m_searchController->searchResultsTableView();
    results.setRowHeight(tableView().rowHeight());
    results.setBackgroundColor(ui::StandardColors::white());
}

bool VKFolderController::performKeyCommand(ui::KeyCommand command)
{
    if (command == ui::KeyCommand::Find && m_searchBar && m_searchBar->window()) {
        // The bar heads the list: in sight first.
        ui::TableView& table = tableView();
        table.setContentOffset({ table.contentOffset().x, table.minimumContentOffset().y });
        m_searchBar->becomeFirstResponder();
        return true;
    }
    if (command == ui::KeyCommand::Delete && isEditing() && !markedResources().empty()) {
        deleteMarkedItems(nullptr);
        return true;
    }
    return VKFolderControllerBase::performKeyCommand(command);
}

void VKFolderController::updateSearchControllerIfNecessary()
{
    if (!m_searchController)
        loadSearchDisplayController();
    tableView().setTableHeaderView(m_searchBar);
}

void VKFolderController::beginSearch()
{
    if (!isViewLoaded())
        return;
    updateSearchControllerIfNecessary();
    tableView().setContentOffset(tableView().minimumContentOffset());
    m_searchBar->becomeFirstResponder();
}

bool VKFolderController::isSearching() const
{
    return m_searchController && m_searchController->isActive() && !m_endingSearch;
}

std::optional<std::string> VKFolderController::searchText() const
{
    if (!isSearching() || !m_searchBar)
        return std::nullopt;
    return m_searchBar->text();
}

int VKFolderController::searchScope() const
{
    return m_searchBar && m_searchBar->selectedScopeButtonIndex() == 1 ? 1 : 0;
}

void VKFolderController::willBeginSearch(ui::SearchDisplayController&)
{
    auto keep = self();
    repairNavigationStack();
    m_searchBar->setTintColor(std::nullopt);
    setIndexViewHidden(true, true);
    int scope = 0;
    if (isLocalFolder())
        scope = core::UserDefaults::standard()->integerForKey("VKFolderSearchScope") == 1 ? 1 : 0;
    m_searchBar->setSelectedScopeButtonIndex(scope);
    if (isLocalFolder())
        showScopeBar(true);
}

void VKFolderController::willEndSearch(ui::SearchDisplayController&)
{
    auto keep = self();
    cancelModelUpdate();
    // The controller is still active while it ends: the rows go back to the
    // folder's now.
    m_endingSearch = true;
    updateModelAndView();
    m_endingSearch = false;
    if (isLocalFolder()) {
        core::UserDefaults::standard()->set("VKFolderSearchScope", core::Value(int64_t(m_searchBar->selectedScopeButtonIndex())));
        showScopeBar(false);
    }
    m_searchBar->setTintColor(barTintColor());
    // The strip comes back once the controller is no longer active.
    std::weak_ptr<VKFolderController> weak = self();
    core::RunLoop::main().performAfter(0, [weak] {
        if (auto controller = weak.lock())
            controller->setIndexViewHidden(false, false);
    });
}

// The scopes show under the field while searching; the list makes room
// (the bar stays where it is: it may be taking the keyboard).
void VKFolderController::showScopeBar(bool shown)
{
    if (m_searchBar->showsScopeBar() == shown)
        return;
    m_searchBar->setShowsScopeBar(shown);
    tableView().reloadData();
}

bool VKFolderController::shouldReloadForSearchString(ui::SearchDisplayController&, const std::string&)
{
    cancelModelUpdate();
    scheduleModelUpdate(KeystrokeDelay);
    return false;
}

bool VKFolderController::shouldReloadForSearchScope(ui::SearchDisplayController&, int)
{
    cancelModelUpdate();
    scheduleModelUpdate(0);
    return false;
}

// A folder opened from a "Local Files" result may sit on a stack that does
// not lead to it. When a search begins there, the stack is made again: one
// screen per folder from the root down to this one, keeping the screens
// that already lead here.
void VKFolderController::repairNavigationStack()
{
    auto appDelegate = VKAppDelegate::sharedAppDelegate();
    if (!appDelegate)
        return;
    auto controllers = appDelegate->folderControllers();
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
        if (auto controller = folderControllerWithResource(VKFileResource::resourceWithPath(base)))
            controllers.push_back(std::move(controller));
    }
    controllers.push_back(keep);
    core::log("Re-grafting folderControllers: {}", describeControllers(controllers));
    appDelegate->setFolderControllers(std::move(controllers));
}
