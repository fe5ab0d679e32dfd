#include "App/FolderBrowser/VKUploadFileResourceCell.h"

#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKNetworkState.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float UploadDimmedAlpha = 0.6f;

double now()
{
    return core::Date::now().timeIntervalSinceReferenceDate();
}

// The bar's value: a share in [0, 1], whatever the store holds.
float share(float progress)
{
    return std::isnan(progress) ? 0.0f : std::clamp(progress, 0.0f, 1.0f);
}

} // namespace

std::shared_ptr<VKUploadFileResourceCell> VKUploadFileResourceCell::create(std::string reuseIdentifier)
{
    return ui::View::make<VKUploadFileResourceCell>(gfx::Rect { 0, 0, 320, RowHeight }, std::move(reuseIdentifier));
}

VKUploadFileResourceCell::VKUploadFileResourceCell(std::string reuseIdentifier)
    : VKNetworkFileResourceCell(std::move(reuseIdentifier))
{
    iconView().setAlpha(UploadDimmedAlpha);
    extensionLabel().setAlpha(UploadDimmedAlpha);
}

void VKUploadFileResourceCell::setResource(std::shared_ptr<VKFileResource> resource)
{
    m_stateObservation.reset();
    m_progressObservation.reset();
    m_item = std::dynamic_pointer_cast<VKCloudFileResource>(resource);
    VKNetworkFileResourceCell::setResource(std::move(resource));
    if (!m_item)
        return;
    std::weak_ptr<core::Object> weak = weak_from_this();
    std::weak_ptr<VKCloudFileResource> item = m_item;
    // A change reaches the row only while it still shows that item.
    auto showing = [weak, item]() -> VKUploadFileResourceCell* {
        auto self = std::static_pointer_cast<VKUploadFileResourceCell>(weak.lock());
        auto current = item.lock();
        return self && current && self->m_item == current ? self.get() : nullptr;
    };
    m_stateObservation = m_item->observeValueForKey("uploadState", [showing] {
        if (auto* cell = showing())
            cell->networkStateDidUpdate(cell->m_item->uploadState());
    });
    m_progressObservation = m_item->observeValueForKey("uploadProgress", [showing] {
        auto* cell = showing();
        if (!cell)
            return;
        if (cell->m_item->isUploading())
            cell->progressView().setProgress(share(cell->m_item->uploadProgress()));
        cell->transferProgressDidChange();
    });
    progressView().setProgress(share(m_item->uploadProgress()));
    networkStateDidUpdate(m_item->uploadState());
}

void VKUploadFileResourceCell::networkStateDidUpdate(int state)
{
    VKNetworkFileResourceCell::networkStateDidUpdate(state);
    if (!m_item)
        return;
    if (state == VKNetworkStateFailed) {
        sizeLabel().setText(core::localized("Upload Failed"));
        setNeedsLayout();
    } else if (state == VKNetworkStateUploading) {
        uploadProgressDidUpdate();
    }
}

void VKUploadFileResourceCell::uploadProgressDidUpdate()
{
    setLastUpdateTime(now());
    if (!m_item || !m_item->isUploading())
        return;
    progressView().setProgress(share(m_item->uploadProgress()));
    if (m_item->isDirectory())
        sizeLabel().setText(core::localized("Uploading..."));
    else
        sizeLabel().setText(fmt::format(fmt::runtime(core::localized("Uploading {}")),
            VKBytesFormatter::sharedFormatter().formatBytesAsString(m_item->size())));
    setNeedsLayout();
}

bool VKUploadFileResourceCell::isActive() const
{
    return m_item && m_item->isUploading();
}

bool VKUploadFileResourceCell::canTogglePauseInState(int state) const
{
    return state != VKNetworkStateChecking;
}

void VKUploadFileResourceCell::togglePause()
{
    if (!m_item || m_item->uploadState() == VKNetworkStateChecking)
        return;
    auto manager = VKCloudUploadManager::sharedManager();
    if (m_item->isUploading())
        manager->cancelUploadOfCloudResource(m_item);
    else
        manager->resumeUploadOfCloudResource(m_item);
}

std::shared_ptr<gfx::Image> VKUploadFileResourceCell::resumeButtonImage() const
{
    return ui::Images::imageNamed("VKTableCellResumeUpload.png");
}
