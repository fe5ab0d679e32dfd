#pragma once

// The "Remote Access" page: the server's on/off switch, the row of the
// authentication page and the keep-awake switch, with a note under them
// saying where the server can be reached. The page only edits settings:
// the application delegate starts or stops the server when the settings
// are done. The note follows "VKServerEnabled" for as long as the page
// lives, and the server's address, announcement and the Wi-Fi link as
// they change, as the application's server state tells them.

#include "Shell/Settings/VKTableSubviewController.h"
#include "Platform/Core/Observation.h"

#include <memory>
#include <vector>

class VKAppServerState;

class VKRemoteAccessSettingsController : public VKTableSubviewController {
public:
    // `server` is held weakly and handed to the authentication page.
    static std::shared_ptr<VKRemoteAccessSettingsController> remoteAccessSettingsController(
        std::weak_ptr<VKAppServerState> server);
    VKRemoteAccessSettingsController();

    // "Enabled" or "Disabled", after "VKServerEnabled".
    std::string statusText() override;
    void loadTableGroups() override;
    void viewWillAppear(bool animated) override;
    // Off: an empty note. On, with an address and Wi-Fi: the address (and
    // the announced one). Otherwise: that there is no Wi-Fi.
    void updateFooterText();

private:
    void observe();

    std::vector<core::Observation> m_observations;
    std::weak_ptr<VKAppServerState> m_server;
};
