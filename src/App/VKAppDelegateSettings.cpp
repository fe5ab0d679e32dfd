// The application delegate's part in the settings and the help: showing
// them, and applying what the settings changed when the person is done.

#include "App/VKAppDelegate.h"

#include "App/Settings/VKSettingsController.h"
#include "App/VKAppDiskQuota.h"
#include "App/VKAppScreens.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/NavigationController.h"

void VKAppDelegate::showSettings(const std::shared_ptr<core::Object>&, int group)
{
    auto self = sharedAs<VKAppDelegate>();
    VKAppScreens::showSettings(navigationController().get(), group, std::static_pointer_cast<VKAppServerState>(self),
        std::static_pointer_cast<VKSettingsControllerDelegate>(self));
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

void VKAppDelegate::showHelp(const std::shared_ptr<core::Object>&)
{
    VKAppScreens::showHelp(navigationController().get(), std::static_pointer_cast<VKAppServerState>(sharedAs<VKAppDelegate>()));
}

void VKAppDelegate::showHelpViewControllerWithName(std::string_view name, std::string_view title, bool animated)
{
    VKAppScreens::showHelpPage(navigationController().get(),
        std::static_pointer_cast<VKAppServerState>(sharedAs<VKAppDelegate>()), name, title, animated);
}

bool VKAppDelegate::diskQuotaHelpMayShow() const
{
    return !(navigationController() && navigationController()->modalViewController());
}

void VKAppDelegate::diskQuotaShowHelp()
{
    showHelpViewControllerWithName("general_quota", core::localized("Disk Quota"), true);
}
