#pragma once

// The "Authentication" page of remote access: the user name (a default),
// the password (the keychain's "VKLoginPasswordService" item, typed
// secretly) and guest access to "/Public". Open connections take a change
// at once; the note names the address guests use.

#include "Shell/Settings/VKTableSubviewController.h"

#include <memory>

class VKAppServerState;

class VKRemoteAuthSettingsController : public VKTableSubviewController {
public:
    // The note asks `server` (held weakly) for the address.
    static std::shared_ptr<VKRemoteAuthSettingsController> remoteAuthSettingsController(
        std::weak_ptr<VKAppServerState> server);
    VKRemoteAuthSettingsController();

    // "On" exactly when the server asks for credentials: a user name and a
    // password are both stored. Else "Off".
    std::string statusText() override;
    void loadTableGroups() override;
    void viewWillAppear(bool animated) override;

private:
    void updateFooterText();

    std::weak_ptr<VKAppServerState> m_server;
};
