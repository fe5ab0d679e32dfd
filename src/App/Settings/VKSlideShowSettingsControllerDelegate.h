#pragma once

class VKSlideShowSettingsController;

// Hears the "Start Slideshow" row of the slide-show settings; the row shows
// only while the page has a delegate.
class VKSlideShowSettingsControllerDelegate {
public:
    virtual ~VKSlideShowSettingsControllerDelegate() = default;
    virtual void slideShowSettingsControllerDidSelectStartSlideShowButton(VKSlideShowSettingsController& controller) = 0;
};
