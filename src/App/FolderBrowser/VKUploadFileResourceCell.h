#pragma once

#include "App/FolderBrowser/VKNetworkFileResourceCell.h"
#include "Platform/Core/Observation.h"

#include <memory>

class VKCloudFileResource;

// The row of a cloud item being uploaded, or whose upload is paused or
// failed: dimmed icon, the item's upload state and progress followed as the
// upload queue changes them, and a button that cancels a running or queued
// upload (it then shows paused) and resumes a paused or failed one through
// the queue's existence check.
class VKUploadFileResourceCell : public VKNetworkFileResourceCell {
public:
    static std::shared_ptr<VKUploadFileResourceCell> create(std::string reuseIdentifier);
    explicit VKUploadFileResourceCell(std::string reuseIdentifier);

    // The cloud item, or null when the row shows another resource.
    const std::shared_ptr<VKCloudFileResource>& cloudFileResource() const { return m_item; }

    // Follows the new item's "uploadState" and "uploadProgress" only.
    void setResource(std::shared_ptr<VKFileResource> resource) override;
    // After the state: "Upload Failed", or the progress at once when the
    // upload begins.
    void networkStateDidUpdate(int state) override;
    // "Uploading 1.2 MB" (the file's size) or "Uploading..." for a folder,
    // and the bar, while the item uploads.
    void uploadProgressDidUpdate();
    void showTransferProgress() override { uploadProgressDidUpdate(); }
    // States 2, 3, 5 and 6.
    bool isActive() const override;
    // Cancels a running or queued upload, resumes a paused or failed one; an
    // item awaiting its existence check is left alone, so one resume never
    // asks twice.
    void togglePause() override;
    // A running upload can be cancelled up to its last step.
    bool canTogglePauseInState(int state) const override;
    std::shared_ptr<gfx::Image> resumeButtonImage() const override;

private:
    std::shared_ptr<VKCloudFileResource> m_item;
    core::Observation m_stateObservation;
    core::Observation m_progressObservation;
};
