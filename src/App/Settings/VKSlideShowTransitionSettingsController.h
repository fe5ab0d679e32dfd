#pragma once

// How the slides of the image viewer's slide show change: a list over
// "VKSlideShowTransitionType" of the view transition styles.

#include "Shell/Settings/VKSettingsListController.h"

class VKSlideShowTransitionSettingsController : public VKSettingsListController {
public:
    static std::shared_ptr<VKSlideShowTransitionSettingsController> slideShowTransitionSettingsController();
    VKSlideShowTransitionSettingsController();
};
