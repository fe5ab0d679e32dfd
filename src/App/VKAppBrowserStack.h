#pragma once

#include <memory>
#include <string>
#include <vector>

class VKFolderBrowserServices;
class VKFolderController;
class VKNavigationController;
class VKViewController;

namespace ui {
class ViewController;
}

// The browser's navigation stack: its root, opening a stored path as one
// folder screen per level (the file's viewer on top), and the stack saved
// at the end of a run ("VKStatePathKey", "VKStateArrayKey") and given back
// at the next launch. It holds the navigation controller and, weakly, the
// services the folder screens it makes are handed (which also say whether
// a guest uses the program).
class VKAppBrowserStack {
public:
    void setServices(std::weak_ptr<VKFolderBrowserServices> services) { m_services = std::move(services); }

    const std::shared_ptr<VKNavigationController>& navigationController() const { return m_navController; }
    void setNavigationController(std::shared_ptr<VKNavigationController> controller)
    {
        m_navController = std::move(controller);
    }

    // The bottom screen: a guest's folder screen on the public folder, else
    // the root list of both document folders.
    std::shared_ptr<ui::ViewController> createRootViewController() const;
    // The top screen when it is a viewer.
    std::shared_ptr<VKViewController> contentViewController() const;
    // The folder screens of the stack, bottom first.
    std::vector<std::shared_ptr<VKFolderController>> folderControllers() const;
    // Replaces the stack with the given folder screens, keeping in front its
    // bottom screen when that is no folder screen (the root list, outside
    // guest mode).
    void setFolderControllers(std::vector<std::shared_ptr<VKFolderController>> controllers);

    // Opens a path as a stack of folder screens under the root list, ending
    // in the file's viewer when it is a file and "VKLastKnownDocumentEnabled"
    // is on. Screens already on the stack are reused down to the first level
    // that differs; a path whose top is already shown, outside the document
    // folders (a guest: outside the public folder) or in a cloud service
    // that is not linked, or with a level that no longer exists, leaves the
    // stack alone.
    void pushViewControllersForPath(const std::string& path, bool animated);
    // Back to the root list when the top screen shows an item of a cloud
    // service that is no longer linked, or while the services are hidden
    // ("VKHideCloudServers").
    void popCloudServiceControllersIfNecessary();

    // Keeps the top's path and each screen's state (nothing for a guest).
    void store() const;
    // Opens the kept path and gives the screens their states; what was kept
    // is forgotten either way.
    void restore();

private:
    bool isGuest() const;

    std::weak_ptr<VKFolderBrowserServices> m_services;
    std::shared_ptr<VKNavigationController> m_navController;
};
