#pragma once

class VKSettingsController;

// Told when the person is done with the settings (the root page's "Done").
class VKSettingsControllerDelegate {
public:
    virtual ~VKSettingsControllerDelegate() = default;
    virtual void settingsControllerDidEnd(VKSettingsController& controller) { (void)controller; }
};
