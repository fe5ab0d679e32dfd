#pragma once

// Where the cloud layer takes over a viewer whose file lies in a cloud
// mirror: fetching the file before it shows, and the three fetch
// notifications. Wired in at start-up; without it a cloud file loads like
// a local one and the notifications change nothing.

#include "Kit/VKHookSlot.h"

namespace core {
class Notification;
}
class VKViewController;

class VKViewerCloudHooks : public VKHookSlot<VKViewerCloudHooks> {
public:
    virtual ~VKViewerCloudHooks() = default;

    // Shows the stored copy when it is whole, else fetches it (the viewer's
    // placeholder tells the progress).
    virtual void startCloudFileFetch(VKViewController& viewer) = 0;
    // The fetch notifications, from any service, as the viewer hears them;
    // each concerns the viewer only when its local path is the viewer's.
    virtual void cloudFileFetchWillStartDownload(VKViewController& viewer, const core::Notification& notification) = 0;
    virtual void cloudFileFetchDidComplete(VKViewController& viewer, const core::Notification& notification) = 0;
    virtual void cloudFileFetchFailed(VKViewController& viewer, const core::Notification& notification) = 0;
};
