// The application delegate's view of the browser's stack as folder screens.

#include "App/VKAppDelegate.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/VKNavigationController.h"

std::vector<std::shared_ptr<VKFolderController>> VKAppDelegate::folderControllers() const
{
    std::vector<std::shared_ptr<VKFolderController>> controllers;
    if (!m_navController)
        return controllers;
    for (const auto& controller : m_navController->viewControllers())
        if (auto folder = std::dynamic_pointer_cast<VKFolderController>(controller))
            controllers.push_back(std::move(folder));
    return controllers;
}

void VKAppDelegate::setFolderControllers(std::vector<std::shared_ptr<VKFolderController>> controllers)
{
    if (!m_navController)
        return;
    std::vector<std::shared_ptr<ui::ViewController>> stack;
    const auto& current = m_navController->viewControllers();
    if (!isGuestMode() && !current.empty() && !std::dynamic_pointer_cast<VKFolderController>(current.front()))
        stack.push_back(current.front());
    for (auto& controller : controllers)
        if (controller)
            stack.push_back(std::move(controller));
    m_navController->setViewControllers(std::move(stack), false);
}
