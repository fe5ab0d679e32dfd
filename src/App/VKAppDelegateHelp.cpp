// The application delegate's part in the help: showing the topics, or one
// page, over the browser.

#include "App/VKAppDelegate.h"

#include "App/Help/VKHelpController.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/NavigationController.h"

namespace {

// The help in a navigation controller of its own, as a form sheet.
std::shared_ptr<ui::NavigationController> helpNavigation(const std::shared_ptr<VKHelpController>& help)
{
    auto navigation = ui::NavigationController::create(help);
    navigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    return navigation;
}

// The screen the help goes over: the top of the stack's modal chain (the
// settings, when the help is asked for there).
ui::ViewController* presenter(ui::ViewController& base)
{
    ui::ViewController* top = &base;
    while (top->modalViewController())
        top = top->modalViewController();
    return top;
}

} // namespace

void VKAppDelegate::showHelp(const std::shared_ptr<core::Object>&)
{
    if (!navigationController()) {
        core::log("Warning, showHelp without a navigation controller");
        return;
    }
    auto help = VKHelpController::create();
    help->setServerState(sharedAs<VKAppDelegate>());
    presenter(*navigationController())->presentModalViewController(helpNavigation(help), true);
}

void VKAppDelegate::showHelpViewControllerWithName(std::string_view name, std::string_view title, bool animated)
{
    if (!navigationController()) {
        core::log("Warning, showHelp without a navigation controller");
        return;
    }
    auto help = VKHelpController::create();
    help->setServerState(sharedAs<VKAppDelegate>());
    auto navigation = helpNavigation(help);
    help->pushHelpViewControllerWithName(name, title, false);
    presenter(*navigationController())->presentModalViewController(navigation, animated);
}

bool VKAppDelegate::diskQuotaHelpMayShow() const
{
    return !(navigationController() && navigationController()->modalViewController());
}

void VKAppDelegate::diskQuotaShowHelp()
{
    showHelpViewControllerWithName("general_quota", core::localized("Disk Quota"), true);
}
