// The application delegate's alerts about the server: its address at start,
// a changed port, the information behind the toolbar's server button, the
// note of the port change of an older version, and what their buttons do.

#include "App/VKAppDelegate.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/ObjectAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"

namespace {

bool isRecounting()
{
    auto quota = VKQuotaManager::defaultManager();
    return quota && quota->rebuildingIndex();
}

} // namespace

bool VKAppDelegate::shouldShowPortNumberMigrationUpdateNote() const
{
    return !m_guestMode && m_server.isPortNoteDue();
}

void VKAppDelegate::showPortNumberMigrationUpdateNote(bool animated)
{
    core::UserDefaults::standard()->set("VKDidShowPortNumberMigrationUpdateNote", core::Value(true));
    showHelpViewControllerWithName("general_updatenotes", core::localized("Update Notes"), animated);
}

void VKAppDelegate::showServerPortChangedAlert()
{
    showAlertViewWithMessage(m_server.portChangedMessage(), core::localized("OK"));
}

void VKAppDelegate::showStartupAlertIfNecessary()
{
    if (m_passcodeLock->isUp()) {
        core::log("Warning, showStartupAlertIfNecessary called but VKPasscodeController active");
        return;
    }
    if (!core::UserDefaults::standard()->boolForKey("VKDisplayServerURLAtStartup") || m_stack.contentViewController())
        return;
    const auto message = m_server.startupMessage();
    if (!message)
        return;
    auto alert = ui::AlertView::create({}, *message, std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKAppDelegate>()),
        std::nullopt, { core::localized("Quick Start"), core::localized("OK") });
    alert->setCancelButtonIndex(1);
    // Return acknowledges; the offer beside it is no answer to fall into.
    alert->setPreferredButtonIndex(1);
    vkSetTag(*alert, Alert::Startup);
    alert->show();
}

std::string VKAppDelegate::serverInfoMessage(bool portrait) const
{
    return m_server.infoMessage(portrait, m_netReachability.get());
}

void VKAppDelegate::showServerInfo(const std::shared_ptr<core::Object>& /*sender*/)
{
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
        const bool started = m_server.isStarted();
        alert = ui::AlertView::create({}, message, self, std::nullopt,
            { core::localized(started ? "Stop Server" : "Start Server"), core::localized("OK") });
        alert->setCancelButtonIndex(1);
        alert->setPreferredButtonIndex(1);
    }
    vkSetTag(*alert, Alert::ServerInfo);
    alert->show();
}

void VKAppDelegate::clickedButton(ui::AlertView& alert, int index)
{
    auto keep = shared_from_this();
    auto kind = vkTagOf<Alert>(alert);
    if (index == alert.cancelButtonIndex() || !kind)
        return;
    switch (*kind) {
    case Alert::Startup:
        showHelpViewControllerWithName("connecting_quickstart", core::localized("Quick Start"), true);
        break;
    case Alert::ServerInfo:
        startHTTPServer(!m_server.isStarted());
        break;
    default:
        core::log("Warning, unhandled VKAppDelegate alert tag: {}", alert.tag());
        break;
    }
}
