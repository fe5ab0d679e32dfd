#include "App/Settings/VKRemoteAuthSettingsController.h"

#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Shell/VKKeychain.h"
#include "App/VKAppServerState.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/TextField.h"

#include <fmt/format.h>

std::shared_ptr<VKRemoteAuthSettingsController> VKRemoteAuthSettingsController::remoteAuthSettingsController(
    std::weak_ptr<VKAppServerState> server)
{
    auto page = std::make_shared<VKRemoteAuthSettingsController>();
    page->m_server = std::move(server);
    return page;
}

VKRemoteAuthSettingsController::VKRemoteAuthSettingsController()
{
    setTitle(core::localized("Authentication", "Settings"));
}

std::string VKRemoteAuthSettingsController::statusText()
{
    bool user = !core::UserDefaults::standard()->stringForKey("VKLoginUsername").empty();
    auto password = VKKeychain::sharedKeychain()->passwordForUser(VKLoginPasswordService, VKLoginPasswordService);
    // A password set but lost still keeps the server closed.
    const bool guarded = (password && !password->empty()) || VKKeychain::wasLoginPasswordSet();
    return core::localized(user && guarded ? "On" : "Off", "Settings");
}

void VKRemoteAuthSettingsController::loadTableGroups()
{
    auto username = VKTextFieldCell::initWithLabel(core::localized("Username", "Settings"), "VKLoginUsername");
    auto password = VKTextFieldCell::initWithLabelKeychainKey(core::localized("Password", "Settings"), VKLoginPasswordService);
    password->textField().setSecureTextEntry(true);
    for (auto* field : { &username->textField(), &password->textField() })
        field->setClearButtonMode(ui::TextField::ViewMode::WhileEditing);
    auto guests = VKSwitchCell::initWithLabel(core::localized("Remote Guest Access", "Settings"), "VKRemoteGuestAccess");
    setTableGroups({ { username, password, guests } });
    updateFooterText();
}

void VKRemoteAuthSettingsController::viewWillAppear(bool animated)
{
    VKTableSubviewController::viewWillAppear(animated);
    updateFooterText();
}

void VKRemoteAuthSettingsController::updateFooterText()
{
    auto state = m_server.lock();
    auto server = state ? state->httpServer() : nullptr;
    auto host = server ? server->hostURL() : std::nullopt;
    std::string address = host ? host->absoluteString() : core::localized("http://192.168.1.2");
    setFooterText(fmt::format(fmt::runtime(core::localized("Enter an empty password to disable remote authentication.\n\n"
                                                          "Guests can connect without authenticating by appending "
                                                          "\"Public\" to the WebDAV URL\n{}/Public",
                                  "Settings")),
        address));
}
