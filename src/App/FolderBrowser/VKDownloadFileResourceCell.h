#pragma once

#include "App/FolderBrowser/VKNetworkFileResourceCell.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Observation.h"

#include <memory>

class VKDownloadFileResource;

// The row of one download, in its folder's list and in the downloads list:
// dimmed name and icon, and the item's state and progress followed as the
// download manager changes them. Its button pauses a running download and
// resumes a paused or failed one.
class VKDownloadFileResourceCell : public VKNetworkFileResourceCell {
public:
    static std::shared_ptr<VKDownloadFileResourceCell> create(std::string reuseIdentifier);
    explicit VKDownloadFileResourceCell(std::string reuseIdentifier);

    // The download item, or null when the row shows another resource.
    const std::shared_ptr<VKDownloadFileResource>& downloadFileResource() const { return m_item; }

    // Follows the new item's state and progress only.
    void setResource(std::shared_ptr<VKFileResource> resource) override;
    // After the state: a failure's reason, a paused item's bytes, or the
    // progress at once when transferring.
    void networkStateDidUpdate(int state) override;
    void togglePause() override;
    bool isActive() const override;
    // "1.0 MB of 8 MB", or "3.0 MB received" without a known length.
    void downloadProgressDidUpdate();
    void showTransferProgress() override { downloadProgressDidUpdate(); }

private:
    std::shared_ptr<VKDownloadFileResource> m_item;
    core::Observation m_stateObservation;
    core::Observation m_progressObservation;
    // The bytes so far keep their zeros ("1.0 MB") so the text does not
    // jump; a formatter of the row's own, since the shared one serves
    // other threads.
    VKBytesFormatter m_progressFormatter;
};
