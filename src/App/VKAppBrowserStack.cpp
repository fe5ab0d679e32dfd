#include "App/VKAppBrowserStack.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKRootFolderController.h"
#include "App/Viewers/VKViewController.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"

namespace {

// The resource a screen of the stack shows: a folder's or a viewer's file.
std::shared_ptr<VKFileResource> resourceOfController(const ui::ViewController* controller)
{
    if (auto folder = dynamic_cast<const VKFolderController*>(controller))
        return folder->resource();
    if (auto viewer = dynamic_cast<const VKViewController*>(controller))
        return viewer->resource();
    return nullptr;
}

std::string standardizedPath(const std::shared_ptr<VKFileResource>& resource)
{
    return resource ? core::path::standardizingPath(resource->path()) : std::string();
}

} // namespace

bool VKAppBrowserStack::isGuest() const
{
    auto services = m_services.lock();
    return services && services->browserIsGuest();
}

std::shared_ptr<ui::ViewController> VKAppBrowserStack::createRootViewController() const
{
    auto application = VKApplication::sharedApplication();
    if (isGuest())
        return VKFolderController::folderControllerWithResource(
            VKFileResource::resourceWithPath(application->publicDirectory()), m_services);
    auto root = VKRootFolderController::create({ application->documentsDirectory(), application->publicDirectory() });
    root->setServices(m_services);
    return root;
}

std::shared_ptr<VKViewController> VKAppBrowserStack::contentViewController() const
{
    if (!m_navController || m_navController->viewControllers().empty())
        return nullptr;
    return std::dynamic_pointer_cast<VKViewController>(m_navController->viewControllers().back());
}

void VKAppBrowserStack::pushViewControllersForPath(const std::string& requestedPath, bool animated)
{
    if (!m_navController)
        return;
    const auto target = VKFileResource::resourceWithPath(requestedPath);
    if (!target) {
        core::log("Warning, invalid resource for: {}", requestedPath);
        return;
    }
    const auto path = standardizedPath(target);
    const auto& current = m_navController->viewControllers();
    if (!current.empty() && standardizedPath(resourceOfController(current.back().get())) == path)
        return;
    const bool isFile = !target->isDirectory();
    const auto folderPath = isFile ? core::path::deletingLastPathComponent(path) : path;

    auto application = VKApplication::sharedApplication();
    const bool guest = isGuest();
    std::string root;
    if (guest) {
        // A guest sees the public folder and nothing beside it.
        if (!core::path::isWithin(folderPath, application->publicDirectory()))
            return;
        root = core::path::standardizingPath(application->publicDirectory());
    } else if (target->isCloudResource()) {
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForPath(folderPath);
        if (!service || !service->isLinked())
            return;
        root = core::path::standardizingPath(service->localPath());
    } else if (core::path::isWithin(folderPath, application->publicDirectory())) {
        root = core::path::standardizingPath(application->publicDirectory());
    } else if (core::path::isWithin(folderPath, application->documentsDirectory())) {
        root = core::path::standardizingPath(application->documentsDirectory());
    } else {
        return;
    }
    // The stack is built from the root's parent down, so that the root
    // itself is the first folder screen above the root list.
    const auto base = core::path::deletingLastPathComponent(root);

    std::vector<std::shared_ptr<ui::ViewController>> stack;
    std::vector<std::shared_ptr<ui::ViewController>> remaining(current.begin(), current.end());
    if (!remaining.empty() && std::dynamic_pointer_cast<VKRootFolderController>(remaining.front())) {
        stack.push_back(remaining.front());
        remaining.erase(remaining.begin());
    } else if (!guest) {
        stack.push_back(createRootViewController());
    }
    // Screens already on the stack are kept while they match the path's
    // levels, so that going to a sibling keeps its parents' scroll positions.
    std::vector<std::shared_ptr<ui::ViewController>> candidates;
    if (!remaining.empty() && standardizedPath(resourceOfController(remaining.front().get())) == base) {
        stack.push_back(remaining.front());
        candidates = std::move(remaining);
    }
    size_t candidate = 1;
    bool reusing = true;
    std::string prefix = base;
    const auto relative = folderPath.substr(std::min(base.size(), folderPath.size()));
    for (const auto& component : core::path::pathComponents(relative)) {
        if (component == "/")
            continue;
        prefix = core::path::appendingPathComponent(prefix, component);
        auto resource = VKFileResource::resourceWithPath(prefix);
        if (!resource) {
            core::log("Warning, invalid resource for: {}", prefix);
            return;
        }
        if (reusing && candidate < candidates.size()
            && standardizedPath(resourceOfController(candidates[candidate].get())) == standardizedPath(resource)) {
            stack.push_back(candidates[candidate++]);
            continue;
        }
        reusing = false;
        stack.push_back(VKFolderController::folderControllerWithResource(resource, m_services));
    }
    if (isFile && core::UserDefaults::standard()->boolForKey("VKLastKnownDocumentEnabled") && !stack.empty()) {
        if (auto folder = std::dynamic_pointer_cast<VKFolderController>(stack.back()))
            if (auto viewer = VKViewController::viewControllerWithResource(target, folder)) {
                if (auto services = m_services.lock())
                    viewer->setOrientationLock(std::static_pointer_cast<VKAppOrientationLock>(services));
                stack.push_back(std::move(viewer));
            }
    }
    m_navController->setViewControllers(std::move(stack), animated);
}

void VKAppBrowserStack::store() const
{
    auto defaults = core::UserDefaults::standard();
    if (!isGuest() && m_navController) {
        core::Value::Array states;
        for (const auto& screen : m_navController->viewControllers()) {
            core::Value state;
            if (auto folder = std::dynamic_pointer_cast<VKFolderController>(screen))
                state = folder->currentStateDictionary();
            else if (auto viewer = std::dynamic_pointer_cast<VKViewController>(screen))
                state = viewer->currentStateDictionary();
            if (state.isDictionary())
                states.push_back(std::move(state));
        }
        const auto& screens = m_navController->viewControllers();
        auto top = screens.empty() ? nullptr : resourceOfController(screens.back().get());
        if (top)
            defaults->set("VKStatePathKey", core::Value(core::path::abbreviatingWithTildeInPath(top->path())));
        else
            defaults->remove("VKStatePathKey");
        defaults->set("VKStateArrayKey", core::Value(std::move(states)));
    }
}

void VKAppBrowserStack::restore()
{
    auto defaults = core::UserDefaults::standard();
    const auto storedPath = defaults->object("VKStatePathKey");
    const auto storedStates = defaults->object("VKStateArrayKey");
    // Read once, whatever it held: a state that fails is never tried again.
    defaults->remove("VKStatePathKey");
    defaults->remove("VKStateArrayKey");
    if (!storedPath.isString() || !m_navController)
        return;
    const auto path = core::path::expandingTildeInPath(storedPath.toString());
    auto resource = VKFileResource::resourceWithPath(path);
    if (!resource)
        return;
    pushViewControllersForPath(path, false);
    if (!storedStates.isArray())
        return;
    const auto& states = storedStates.array();
    for (const auto& state : states)
        if (!state.isDictionary())
            return;
    // The folder screens above the root list (a guest's root is its bottom
    // folder screen); a file's viewer has the array's last entry.
    auto folders = folderControllers();
    if (!folders.empty() && (isGuest() || std::dynamic_pointer_cast<VKRootFolderController>(
                                               m_navController->viewControllers().front()) == nullptr))
        folders.erase(folders.begin());
    const bool isFile = !resource->isDirectory();
    const size_t count = states.size() - ((isFile && !states.empty()) ? 1 : 0);
    if (count == folders.size() && count >= 2)
        for (size_t i = 1; i < count; ++i)
            folders[i]->restoreStateFromDictionary(states[i]);
    if (auto viewer = contentViewController(); viewer && !states.empty()) {
        viewer->restoreStateFromDictionary(states.back());
        const auto& screens = m_navController->viewControllers();
        if (screens.size() >= 2)
            screens[screens.size() - 2]->navigationItem().setBackBarButtonItem(
                ui::BarButtonItem::create(core::localized("Back")));
    }
}

std::vector<std::shared_ptr<VKFolderController>> VKAppBrowserStack::folderControllers() const
{
    std::vector<std::shared_ptr<VKFolderController>> controllers;
    if (!m_navController)
        return controllers;
    for (const auto& controller : m_navController->viewControllers())
        if (auto folder = std::dynamic_pointer_cast<VKFolderController>(controller))
            controllers.push_back(std::move(folder));
    return controllers;
}

void VKAppBrowserStack::setFolderControllers(std::vector<std::shared_ptr<VKFolderController>> controllers)
{
    if (!m_navController)
        return;
    std::vector<std::shared_ptr<ui::ViewController>> stack;
    const auto& current = m_navController->viewControllers();
    if (!isGuest() && !current.empty() && !std::dynamic_pointer_cast<VKFolderController>(current.front()))
        stack.push_back(current.front());
    for (auto& controller : controllers)
        if (controller)
            stack.push_back(std::move(controller));
    m_navController->setViewControllers(std::move(stack), false);
}

void VKAppBrowserStack::popCloudServiceControllersIfNecessary()
{
    if (!m_navController || m_navController->viewControllers().size() < 2)
        return;
    const auto* top = m_navController->topViewController();
    // By the path the screen was opened with: an unlinked service's mirror
    // nodes are gone, and with them their resources' paths.
    std::string path;
    if (auto folder = dynamic_cast<const VKFolderController*>(top))
        path = folder->folderPath();
    else if (auto viewer = contentViewController(); viewer && viewer->resource())
        path = viewer->resource()->path();
    if (path.empty())
        return;
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForPath(path);
    if (service && (core::UserDefaults::standard()->boolForKey("VKHideCloudServers") || !service->isLinked()))
        m_navController->popToRootViewController(true);
}

