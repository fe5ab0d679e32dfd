#pragma once

// How long each slide of the image viewer's slide show stays: a list over
// "VKSlideShowTimeout" of whole seconds (the show reads them as a float).

#include "Shell/Settings/VKSettingsListController.h"

class VKSlideShowTimeoutSettingsController : public VKSettingsListController {
public:
    static std::shared_ptr<VKSlideShowTimeoutSettingsController> slideShowTimeoutSettingsController();
    VKSlideShowTimeoutSettingsController();
};
