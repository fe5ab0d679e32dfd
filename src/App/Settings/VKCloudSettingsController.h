#pragma once

// The "Cloud Servers" page: a switch that shows or hides the cloud services
// (in the root list and here) and, while they show, one row per registered
// service that opens its account page, or its login form while it is not
// linked. The row on the settings root sums up how many are linked.

#include "Shell/Settings/VKTableSubviewController.h"
#include "Platform/Core/Observation.h"

#include <memory>
#include <vector>

// The settings key that hides the cloud services.
inline constexpr const char* VKHideCloudServersKey = "VKHideCloudServers";

class VKCloudSettingsController : public VKTableSubviewController {
public:
    static std::shared_ptr<VKCloudSettingsController> cloudSettingsController();
    VKCloudSettingsController();

    // "Hidden", nothing with no linked service, else "n Linked".
    std::string statusText() override;
    void loadTableGroups() override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

private:
    void observe();
    VKSettingsGroups makeTableGroups();
    // Rebuilds the groups and fades the services' section in or out by
    // how the number of groups changed.
    void hideCloudServersDidChange();

    std::vector<core::Observation> m_observations;
};
