#include "App/FolderBrowser/VKFolderStack.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/NavigationController.h"


namespace {

// Whether `folder` lies above `path` (strictly).
bool isStackAncestor(const std::string& folder, const std::string& path)
{
    auto relative = stringByAbbreviatingRelativeToPath(path, folder);
    return relative && !relative->empty();
}

} // namespace

void VKFolderStack::repair(VKFolderController& screen)
{
    auto appDelegate = screen.services();
    if (!appDelegate)
        return;
    auto controllers = appDelegate->browserFolderScreens();
    if (controllers.empty() || controllers.front().get() == &screen)
        return;
    const std::string& folderPath = screen.folderPath();
    auto root = VKApplication::sharedApplication()->rootDirectoryForPath(folderPath);
    if (!root)
        return;
    std::string rootPath = core::path::standardizingPath(*root);
    auto endSearchOf = [&screen](VKFolderController& controller) {
        if (&controller == &screen || !controller.isSearching())
            return false;
        bool scoped = controller.searchScope() == 0;
        controller.searchDisplayController()->setActive(false);
        return scoped;
    };

    std::string base;
    if (controllers.front()->folderPath() != rootPath) {
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
            bool onTheWay = &controller == &screen || isStackAncestor(controller.folderPath(), folderPath);
            if (!followsPath || !onTheWay) {
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

    auto relative = stringByAbbreviatingRelativeToPath(folderPath, base);
    if (!relative)
        return;
    auto keep = std::static_pointer_cast<VKFolderController>(screen.shared_from_this());
    for (const auto& component : core::path::pathComponents(*relative)) {
        base = core::path::appendingPathComponent(base, component);
        if (base == folderPath)
            break;
        if (auto controller = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(base), appDelegate))
            controllers.push_back(std::move(controller));
    }
    controllers.push_back(keep);
    appDelegate->browserSetFolderScreens(std::move(controllers));
}

void VKFolderStack::reveal(VKFolderController& screen, const std::shared_ptr<VKFileResource>& resource)
{
    auto parent = resource ? resource->parent() : nullptr;
    if (!parent)
        return;
    // The stack may let this screen go on the way.
    auto keep = std::static_pointer_cast<VKFolderController>(screen.shared_from_this());
    // The screen on top once the stack has changed shows the row a pass
    // later, when its list is laid out.
    auto revealOnTop = [resource](ui::NavigationController* navigation) {
        if (!navigation)
            return;
        std::weak_ptr<ui::NavigationController> weak =
            std::static_pointer_cast<ui::NavigationController>(navigation->shared_from_this());
        core::RunLoop::main().post([weak, resource] {
            auto stack = weak.lock();
            auto top = stack ? std::dynamic_pointer_cast<VKFolderController>(stack->topViewController()
                                   ? stack->topViewController()->shared_from_this() : nullptr)
                             : nullptr;
            if (top)
                top->revealAndHighlightResource(resource);
        });
    };
    if (screen.isSearching()) {
        screen.openResource(parent);
        revealOnTop(screen.navigationController());
        return;
    }
    if (core::path::standardizingPath(parent->path()) == screen.folderPath()) {
        screen.revealAndHighlightResource(resource);
        return;
    }
    // Another folder: the application delegate builds the stack down to it.
    auto services = screen.services();
    if (!services) {
        core::log("Warning, no application delegate to reveal {}", resource->path());
        return;
    }
    ui::NavigationController* navigation = services->browserNavigation();
    services->browserShowFolder(parent->path(), false);
    revealOnTop(navigation);
}
