#include "App/Settings/VKQuotaSettingsController.h"

#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/TextField.h"

std::shared_ptr<VKQuotaSettingsController> VKQuotaSettingsController::quotaSettingsController()
{
    return std::make_shared<VKQuotaSettingsController>();
}

VKQuotaSettingsController::VKQuotaSettingsController()
{
    setTitle(core::localized("Disk Quota", "Settings"));
}

std::string VKQuotaSettingsController::statusText()
{
    auto defaults = core::UserDefaults::standard();
    if (!defaults->boolForKey("VKQuotaEnabled"))
        return core::localized("Off", "Settings");
    return defaults->stringForKey("VKQuotaLimit") + " " + core::localized("MB");
}

void VKQuotaSettingsController::loadTableGroups()
{
    auto enabled = VKSwitchCell::initWithLabel(core::localized("Enable Quota", "Settings"), "VKQuotaEnabled");
    auto limit = VKTextFieldCell::initWithLabel(core::localized("Quota Size (MB)", "Settings"), "VKQuotaLimit");
    limit->textField().setKeyboardType(ui::TextInput::KeyboardType::NumberPad);
    setTableGroups({ { enabled, limit } });
    setFooterText(core::localized("Enable the Disk Quota to set a limit on how much space Tandry will use for storage. "
                                  "The storage limit can be changed by editing the Quota Size value",
        "Settings"));
}
