// The application delegate's part in the settings: showing them, and
// applying what they changed when the person is done.

#include "App/VKAppDelegate.h"

#include "App/Settings/VKSettingsController.h"
#include "App/VKAppDiskQuota.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/NavigationController.h"

void VKAppDelegate::showSettings(const std::shared_ptr<core::Object>&, int group)
{
    auto navigation = navigationController();
    if (!navigation) {
        core::log("Warning, showSettings without a navigation controller");
        return;
    }
    if (navigation->modalViewController()) {
        core::log("Warning, showSettings while another screen is presented");
        return;
    }
    if (auto* top = navigation->topViewController(); top && top->isEditing())
        top->setEditing(false, true);
    auto* application = ui::Application::shared();
    auto self = sharedAs<VKAppDelegate>();
    auto settings = VKSettingsController::initWithOrientation(
        application ? application->statusBarOrientation() : ui::Orientation::Portrait, self);
    settings->setDelegate(std::static_pointer_cast<VKSettingsControllerDelegate>(self));
    auto settingsNavigation = ui::NavigationController::create(settings);
    settingsNavigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    if (group != 0)
        settings->pushSettingsGroup(group, false);
    navigation->presentModalViewController(settingsNavigation, true);
}

void VKAppDelegate::settingsControllerDidEnd(VKSettingsController& controller)
{
    auto keep = controller.shared_from_this();
    if (auto* presented = controller.navigationController())
        presented->dismissModalViewController(true);
    else
        controller.dismissModalViewController(true);
    bool enabled = core::UserDefaults::standard()->boolForKey("VKServerEnabled");
    if (httpServer() && enabled != httpServer()->isStarted()) {
        auto quota = VKQuotaManager::defaultManager();
        if (!enabled)
            startHTTPServer(false);
        else if (!(quota && quota->rebuildingIndex()))
            startHTTPServer(true);
    }
    applyKeepAwakeSetting();
}

void VKAppDelegate::applyKeepAwakeSetting()
{
    // The server keeps the device awake while clients are connected; the
    // setting must not cut a transfer short by letting it sleep.
    bool connected = httpServer() && httpServer()->numberOfHTTPConnections() > 0;
    VKApplication::sharedApplication()->setIdleTimerDisabled(
        core::UserDefaults::standard()->boolForKey("VKInsomniaEnabled") || connected);
}

void VKAppDelegate::rebuildDiskQuota()
{
    m_diskQuota->rebuild();
}
