#pragma once

// The disk-quota page: a switch over "VKQuotaEnabled" and the limit in
// megabytes over "VKQuotaLimit" (digits only). The quota manager reads both
// keys whenever it answers, so the server enforces a new limit at once.

#include "Shell/Settings/VKTableSubviewController.h"

class VKQuotaSettingsController : public VKTableSubviewController {
public:
    static std::shared_ptr<VKQuotaSettingsController> quotaSettingsController();
    VKQuotaSettingsController();

    // "Off", or the stored limit and "MB".
    std::string statusText() override;
    void loadTableGroups() override;
};
