// The application delegate's alerts about the server: its address at start,
// a changed port, the information behind the toolbar's server button, the
// note of the port change of an older version, and what their buttons do.

#include "App/VKAppDelegate.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "App/Viewers/VKViewController.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Kit/ObjectAdditions.h"
#include "Kit/VKBytesFormatter.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"

#include <fmt/format.h>

namespace {

std::string serverDisplayName()
{
    return VKMainBundleDisplayName().value_or("Tandry");
}

std::string bytes(uint64_t count)
{
    return VKBytesFormatter::sharedFormatter().formatBytesAsString(count);
}

bool isRecounting()
{
    auto quota = VKQuotaManager::defaultManager();
    return quota && quota->rebuildingIndex();
}

} // namespace

bool VKAppDelegate::shouldShowPortNumberMigrationUpdateNote() const
{
    return !core::UserDefaults::standard()->boolForKey("VKDidShowPortNumberMigrationUpdateNote") && !m_guestMode
        && m_httpServer && m_httpServer->usingDefaultPort();
}

void VKAppDelegate::showPortNumberMigrationUpdateNote(bool animated)
{
    core::UserDefaults::standard()->set("VKDidShowPortNumberMigrationUpdateNote", core::Value(true));
    showHelpViewControllerWithName("general_updatenotes", core::localized("Update Notes"), animated);
}

void VKAppDelegate::showServerPortChangedAlert()
{
    auto url = m_httpServer ? m_httpServer->hostURL() : std::nullopt;
    const auto message = fmt::format(fmt::runtime(core::localized("The {} connection URL has changed to:\n\n{}")),
        serverDisplayName(), url ? url->absoluteString() : std::string());
    showAlertViewWithMessage(message, core::localized("OK"));
}

void VKAppDelegate::showStartupAlertIfNecessary()
{
    if (m_rootPasscodeController) {
        core::log("Warning, showStartupAlertIfNecessary called but VKPasscodeController active");
        return;
    }
    if (!core::UserDefaults::standard()->boolForKey("VKDisplayServerURLAtStartup") || contentViewController()
        || !m_httpServer)
        return;
    const auto url = m_httpServer->hostURL();
    if (!url)
        return;
    auto message = fmt::format(fmt::runtime(core::localized("Connect to {} using the following WebDAV URL:\n\n{}")),
        serverDisplayName(), url->absoluteString());
    if (auto bonjour = m_httpServer->bonjourURL())
        message += fmt::format(fmt::runtime(core::localized("\nor via Bonjour:\n{}")), bonjour->absoluteString());
    auto alert = ui::AlertView::create({}, message, std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKAppDelegate>()),
        std::nullopt, { core::localized("Quick Start"), core::localized("OK") });
    alert->setCancelButtonIndex(1);
    vkSetTag(*alert, Alert::Startup);
    alert->show();
}

std::string VKAppDelegate::serverInfoMessage(bool portrait) const
{
    auto defaults = core::UserDefaults::standard();
    std::string message;
    const auto url = m_httpServer ? m_httpServer->hostURL() : std::nullopt;
    if (!m_httpServer || !m_httpServer->isStarted()) {
        message += core::localized("WebDAV server stopped") + "\n\n";
    } else if (m_netReachability && m_netReachability->isReachableUsingWifi() && url) {
        const bool tls = defaults->boolForKey("VKSSLEnabled");
        message += fmt::format(fmt::runtime(core::localized(tls ? "Connect via secure URL:\n{}" : "Connect via URL:\n{}")),
            url->absoluteString());
        if (auto bonjour = m_httpServer->bonjourURL()) {
            if (portrait)
                message += "\n";
            message += fmt::format(fmt::runtime(core::localized("\nor via Bonjour:\n{}")), bonjour->absoluteString());
        }
        message += "\n\n";
        if (portrait) {
            if (tls)
                message += core::localized("SSL enabled") + "\n";
            const auto user = defaults->stringForKey("VKLoginUsername");
            const auto password
                = VKKeychain::sharedKeychain()->passwordForUser(VKLoginPasswordService, VKLoginPasswordService);
            if (!user.empty() && password && !password->empty()) {
                message += core::localized("Password protected") + "\n";
                if (defaults->boolForKey("VKRemoteGuestAccess"))
                    message += core::localized("Remote guest access enabled") + "\n";
            }
        }
    } else {
        message += core::localized("No WiFi connection detected") + "\n\n";
    }
    auto quota = VKQuotaManager::defaultManager();
    if (isRecounting()) {
        message += core::localized("Rebuilding quota index");
        if (!m_httpServer || !m_httpServer->isStarted())
            message += "\n" + core::localized("Server temporarily disabled");
    } else if (quota) {
        if (defaults->boolForKey("VKQuotaEnabled"))
            message += fmt::format(fmt::runtime(core::localized("{} of {} used")), bytes(quota->quotaUsedBytes()),
                bytes(quota->quotaTotalBytes()));
        else
            message += fmt::format(fmt::runtime(core::localized("{} used")), bytes(quota->quotaUsedBytes()));
        if (auto available = quota->quotaAvailableBytes())
            message += "\n" + fmt::format(fmt::runtime(core::localized("{} available")), bytes(*available));
    }
    return message;
}

void VKAppDelegate::showServerInfo(const std::shared_ptr<core::Object>& /*sender*/)
{
    core::log("Server information asked for");
    auto* application = ui::Application::shared();
    if (!application)
        return;
    const bool portrait = !ui::isLandscape(application->statusBarOrientation());
    const auto message = serverInfoMessage(portrait);
    auto self = std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKAppDelegate>());
    std::shared_ptr<ui::AlertView> alert;
    if (m_guestMode || isRecounting()) {
        alert = ui::AlertView::create({}, message, self, core::localized("OK"));
    } else {
        const bool started = m_httpServer && m_httpServer->isStarted();
        alert = ui::AlertView::create({}, message, self, std::nullopt,
            { core::localized(started ? "Stop Server" : "Start Server"), core::localized("OK") });
        alert->setCancelButtonIndex(1);
    }
    vkSetTag(*alert, Alert::ServerInfo);
    alert->show();
}

void VKAppDelegate::clickedButton(ui::AlertView& alert, int index)
{
    auto keep = shared_from_this();
    if (m_quotaWarningAlert.get() == &alert)
        m_quotaWarningAlert.reset();
    auto kind = vkTagOf<Alert>(alert);
    if (index == alert.cancelButtonIndex() || !kind)
        return;
    switch (*kind) {
    case Alert::Startup:
        showHelpViewControllerWithName("connecting_quickstart", core::localized("Quick Start"), true);
        break;
    case Alert::ServerInfo:
        startHTTPServer(!(m_httpServer && m_httpServer->isStarted()));
        break;
    case Alert::QuotaWarning:
        showHelpViewControllerWithName("general_quota", core::localized("Disk Quota"), true);
        break;
    default:
        core::log("Warning, unhandled VKAppDelegate alert tag: {}", alert.tag());
        break;
    }
}
