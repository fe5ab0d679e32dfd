#pragma once

#include "Platform/Core/Observation.h"

#include <memory>
#include <vector>

class VKFolderControllerBase;
class VKOperationProgressView;

namespace ui {
class BarButtonItem;
}

// The folder screen's toolbar: the server and settings at the left; in the
// middle the browser's running operation, else the uploads ("Uploading 3
// Items" over their total progress, followed while they run), else the
// folder's summary; the downloads (with their count) and search buttons at
// the right. A guest gets neither settings nor downloads. The pieces every
// folder screen shares (the server button, the summary, the operation's
// progress) are the screen's; the presenter lays them out on it.
class VKFolderToolbar {
public:
    // What the buttons ask of the folder screen, held weakly.
    class Host {
    public:
        virtual ~Host() = default;
        virtual void toolbarShowDownloads() = 0;
        virtual void toolbarBeginSearch() = 0;
        // An upload started or ended (on the main thread).
        virtual void toolbarUploadsChanged() = 0;
    };
    // The downloads button's tag.
    enum class Button : int { Downloads = 1001 };
    static constexpr const char* ShowDownloadsAction = "showDownloadViewController";
    static constexpr const char* BeginSearchAction = "beginSearch";

    // Builds the bar's items on `screen`; its buttons tell `host`.
    void update(VKFolderControllerBase& screen, std::weak_ptr<Host> host, bool guest);
    // The uploads' text and progress; the item comes or goes with them, and
    // the screen builds its toolbar again.
    void updateUploads(VKFolderControllerBase& screen);
    // Tells `host` of each upload's start and end, from whichever thread
    // the cloud layer posts them, until the toolbar goes.
    void observeUploads(std::weak_ptr<Host> host);
    // The downloads button's count of web downloads (none at zero).
    void updateDownloadsBadge(const VKFolderControllerBase& screen) const;
    VKOperationProgressView* uploadProgressView() const;

private:
    std::shared_ptr<ui::BarButtonItem> uploadItem(VKFolderControllerBase& screen);

    std::shared_ptr<ui::BarButtonItem> m_uploadItem;
    // The uploads' total progress, followed while the upload item shows.
    core::Observation m_uploadProgressObservation;
    std::vector<core::Observation> m_uploadObservations;
};
