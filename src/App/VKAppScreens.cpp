#include "App/VKAppScreens.h"

#include "App/Help/VKHelpController.h"
#include "App/Settings/VKSettingsController.h"
#include "App/VKAppServerState.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"

namespace {

// The help in a navigation controller of its own, as a form sheet.
std::shared_ptr<ui::NavigationController> appHelpNavigation(const std::shared_ptr<VKHelpController>& help)
{
    auto navigation = ui::NavigationController::create(help);
    navigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    return navigation;
}

// The screen the help goes over: the top of the stack's modal chain (the
// settings, when the help is asked for there).
ui::ViewController* appHelpPresenter(ui::ViewController& base)
{
    ui::ViewController* top = &base;
    while (top->modalViewController())
        top = top->modalViewController();
    return top;
}

} // namespace

void VKAppScreens::showHelp(ui::NavigationController* browser, std::weak_ptr<VKAppServerState> server)
{
    if (!browser) {
        core::log("Warning, showHelp without a navigation controller");
        return;
    }
    auto help = VKHelpController::create();
    help->setServerState(std::move(server));
    appHelpPresenter(*browser)->presentModalViewController(appHelpNavigation(help), true);
}

void VKAppScreens::showHelpPage(ui::NavigationController* browser, std::weak_ptr<VKAppServerState> server,
    std::string_view name, std::string_view title, bool animated)
{
    if (!browser) {
        core::log("Warning, showHelp without a navigation controller");
        return;
    }
    auto help = VKHelpController::create();
    help->setServerState(std::move(server));
    auto navigation = appHelpNavigation(help);
    help->pushHelpViewControllerWithName(name, title, false);
    appHelpPresenter(*browser)->presentModalViewController(navigation, animated);
}

void VKAppScreens::showSettings(ui::NavigationController* browser, int group, std::weak_ptr<VKAppServerState> server,
    std::weak_ptr<VKSettingsControllerDelegate> delegate)
{
    if (!browser) {
        core::log("Warning, showSettings without a navigation controller");
        return;
    }
    if (browser->modalViewController()) {
        core::log("Warning, showSettings while another screen is presented");
        return;
    }
    if (auto* top = browser->topViewController(); top && top->isEditing())
        top->setEditing(false, true);
    auto* application = ui::Application::shared();
    auto settings = VKSettingsController::initWithOrientation(
        application ? application->statusBarOrientation() : ui::Orientation::Portrait, std::move(server));
    settings->setDelegate(std::move(delegate));
    auto settingsNavigation = ui::NavigationController::create(settings);
    settingsNavigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    if (group != 0)
        settings->pushSettingsGroup(group, false);
    browser->presentModalViewController(settingsNavigation, true);
}
