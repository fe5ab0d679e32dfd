#include "Shell/VKNavigationController.h"

#include "Shell/VKNavigationBar.h"
#include "Platform/UI/Application.h"

std::shared_ptr<VKNavigationController> VKNavigationController::create(const std::shared_ptr<ui::ViewController>& root)
{
    auto navigation = std::make_shared<VKNavigationController>();
    if (root)
        navigation->setViewControllers({ root }, false);
    return navigation;
}

VKNavigationController::VKNavigationController()
    : ui::NavigationController([] { return VKNavigationBar::create(); })
{
}

void VKNavigationController::viewWillAppear(bool animated)
{
    ui::NavigationController::viewWillAppear(animated);
    applyStatusBarStyle(animated);
}

void VKNavigationController::topViewControllerDidChange(bool animated)
{
    if (isOnScreen())
        applyStatusBarStyle(animated);
}

void VKNavigationController::applyStatusBarStyle(bool animated)
{
    auto* application = ui::Application::shared();
    auto* top = topViewController();
    if (application && top)
        application->setStatusBarStyle(top->statusBarStyle(), animated);
}
