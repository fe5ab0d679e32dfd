#pragma once

class VKSettingsController;

// What the settings tell the one who showed them.
class VKSettingsControllerDelegate {
public:
    virtual ~VKSettingsControllerDelegate() = default;
    // The person is done with the settings (the root page's "Done").
    virtual void settingsControllerDidEnd(VKSettingsController& controller) { (void)controller; }
    // The version row's question was answered "Rebuild": the disk use is
    // to be counted afresh.
    virtual void rebuildDiskQuota() {}
};
