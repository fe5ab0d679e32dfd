#include "App/Settings/VKSlideShowTimeoutSettingsController.h"

#include "Platform/Core/Localized.h"

#include <fmt/format.h>

namespace {

constexpr int64_t Timeouts[] = { 1, 2, 3, 5, 10, 20 };

std::vector<core::Value> timeoutValues()
{
    std::vector<core::Value> values;
    for (int64_t seconds : Timeouts)
        values.emplace_back(seconds);
    return values;
}

std::vector<std::string> timeoutLabels()
{
    std::vector<std::string> labels;
    for (int64_t seconds : Timeouts) {
        if (seconds == 1)
            labels.push_back(core::localized("1 second", "Settings"));
        else
            labels.push_back(fmt::format(fmt::runtime(core::localized("{} seconds", "Settings")), seconds));
    }
    return labels;
}

} // namespace

std::shared_ptr<VKSlideShowTimeoutSettingsController> VKSlideShowTimeoutSettingsController::slideShowTimeoutSettingsController()
{
    return std::make_shared<VKSlideShowTimeoutSettingsController>();
}

VKSlideShowTimeoutSettingsController::VKSlideShowTimeoutSettingsController()
    : VKSettingsListController("VKSlideShowTimeout", timeoutValues(), timeoutLabels())
{
    setTitle(core::localized("Play Slide For", "Settings"));
}
