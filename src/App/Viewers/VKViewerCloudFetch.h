#pragma once

// A viewer's fetch of a file in a cloud mirror: whether the stored copy can
// show at once, the fetch through the file's service, the placeholder's
// progress display ("Loading <size>", the bar, Cancel, "Download Failed"),
// the fade of the content over it, and the observation of the file's fetch
// progress. The viewer owns it as a member and keeps the overridable steps;
// this part does the base's share of each.

#include "Platform/Core/Notification.h"
#include "Platform/Core/Observation.h"

class VKViewController;

class VKViewerCloudFetch {
public:
    explicit VKViewerCloudFetch(VKViewController& viewer) : m_viewer(viewer) { }
    VKViewerCloudFetch(const VKViewerCloudFetch&) = delete;
    VKViewerCloudFetch& operator=(const VKViewerCloudFetch&) = delete;

    void start();
    void showProgress();
    void hideProgress();
    // Stops the fetch and pops the viewer when it is the top screen.
    void cancel();
    void willStartDownload(const core::Notification& notification);
    void didComplete(const core::Notification& notification);
    void failed(const core::Notification& notification);
    // Follows the fetch progress of the viewer's file, when it is a cloud
    // file, into the placeholder's bar.
    void observeProgress();

private:
    // Whether a fetch notification is about the viewer's file.
    bool isForResource(const core::Notification& notification) const;
    void showCancelButton();
    void showFailed();

    VKViewController& m_viewer;
    core::Observation m_progressObservation;
};
