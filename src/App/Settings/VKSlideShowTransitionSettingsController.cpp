#include "App/Settings/VKSlideShowTransitionSettingsController.h"

#include "Kit/VKFunctions.h"
#include "Platform/Core/Localized.h"

namespace {

std::vector<core::Value> transitionValues()
{
    std::vector<core::Value> values;
    for (std::string_view type : { VKTransitionFade(), VKTransitionReveal(), VKTransitionMoveIn(), VKTransitionPush() })
        values.emplace_back(std::string(type));
    return values;
}

std::vector<std::string> transitionLabels()
{
    std::vector<std::string> labels;
    for (const char* label : { "Fade In", "Reveal", "Move In", "Push Out" })
        labels.push_back(core::localized(label, "Settings"));
    return labels;
}

} // namespace

std::shared_ptr<VKSlideShowTransitionSettingsController>
VKSlideShowTransitionSettingsController::slideShowTransitionSettingsController()
{
    return std::make_shared<VKSlideShowTransitionSettingsController>();
}

VKSlideShowTransitionSettingsController::VKSlideShowTransitionSettingsController()
    : VKSettingsListController("VKSlideShowTransitionType", transitionValues(), transitionLabels())
{
    setTitle(core::localized("Slide Transition", "Settings"));
}
