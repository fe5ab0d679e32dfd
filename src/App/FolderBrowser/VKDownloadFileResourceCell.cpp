#include "App/FolderBrowser/VKDownloadFileResourceCell.h"

#include "Platform/Core/Date.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include <fmt/format.h>

namespace {

constexpr float DimmedAlpha = 0.6f;

std::string text(const char* key)
{
    return core::localized(key, "WebBrowser");
}

} // namespace

std::shared_ptr<VKDownloadFileResourceCell> VKDownloadFileResourceCell::create(std::string reuseIdentifier)
{
    return ui::View::make<VKDownloadFileResourceCell>(gfx::Rect { 0, 0, 320, RowHeight }, std::move(reuseIdentifier));
}

VKDownloadFileResourceCell::VKDownloadFileResourceCell(std::string reuseIdentifier)
    : VKNetworkFileResourceCell(std::move(reuseIdentifier))
{
    titleLabel().setAlpha(DimmedAlpha);
    iconView().setAlpha(DimmedAlpha);
    extensionLabel().setAlpha(DimmedAlpha);
    m_progressFormatter.setStripZeros(false);
}

void VKDownloadFileResourceCell::setResource(std::shared_ptr<VKFileResource> resource)
{
    m_stateObservation.reset();
    m_progressObservation.reset();
    m_item = std::dynamic_pointer_cast<VKDownloadFileResource>(resource);
    VKNetworkFileResourceCell::setResource(std::move(resource));
    if (!m_item)
        return;
    std::weak_ptr<core::Object> weak = weak_from_this();
    std::weak_ptr<VKDownloadFileResource> item = m_item;
    // A change reaches the row only while it still shows that item.
    auto showing = [weak, item]() -> VKDownloadFileResourceCell* {
        auto self = std::static_pointer_cast<VKDownloadFileResourceCell>(weak.lock());
        auto current = item.lock();
        return self && current && self->m_item == current ? self.get() : nullptr;
    };
    m_stateObservation = m_item->observeValueForKey("downloadState", [showing] {
        if (auto* cell = showing())
            cell->networkStateDidUpdate(cell->m_item->downloadState());
    });
    m_progressObservation = m_item->observeValueForKey("downloadProgress", [showing] {
        if (auto* cell = showing())
            cell->transferProgressDidChange();
    });
    progressView().setProgress(m_item->downloadProgress());
    networkStateDidUpdate(m_item->downloadState());
    if (m_item->expectedSize() < 0)
        progressView().setHidden(true);
}

void VKDownloadFileResourceCell::networkStateDidUpdate(int state)
{
    VKNetworkFileResourceCell::networkStateDidUpdate(state);
    if (!m_item)
        return;
    if (const auto& error = m_item->downloadError(); error && !error->localizedDescription().empty()) {
        sizeLabel().setText(fmt::format(fmt::runtime(text("Failed: {}")), error->localizedDescription()));
        setNeedsLayout();
    } else if (state == VKNetworkStatePaused) {
        sizeLabel().setText(fmt::format(fmt::runtime(text("Paused - {}")),
            VKBytesFormatter::sharedFormatter().formatBytesAsString(m_item->size())));
        setNeedsLayout();
    } else if (state == VKNetworkStateDownloading) {
        downloadProgressDidUpdate();
    }
}

void VKDownloadFileResourceCell::downloadProgressDidUpdate()
{
    // A refresh put off until after the transfer stopped leaves the row's
    // word for what happened ("Failed: ...", "Paused - ...") alone.
    if (!m_item || m_item->downloadState() != VKNetworkStateDownloading)
        return;
    setLastUpdateTime(core::Date::now().timeIntervalSinceReferenceDate());
    std::string received = m_progressFormatter.formatBytesAsString(m_item->size());
    int64_t expected = m_item->expectedSize();
    if (expected <= 0) {
        progressView().setProgress(-1);
        progressView().setHidden(true);
        sizeLabel().setText(fmt::format(fmt::runtime(text("{} received")), received));
    } else {
        progressView().setProgress(m_item->downloadProgress());
        sizeLabel().setText(fmt::format(fmt::runtime(text("{} of {}")), received,
            VKBytesFormatter::sharedFormatter().formatBytesAsString(uint64_t(expected))));
    }
    setNeedsLayout();
}

bool VKDownloadFileResourceCell::isActive() const
{
    return m_item && m_item->isActive();
}

void VKDownloadFileResourceCell::togglePause()
{
    if (!m_item)
        return;
    auto manager = VKDownloadManager::sharedManager();
    if (m_item->isActive())
        manager->stopDownloadForResource(m_item);
    else if (m_item->downloadState() != VKNetworkStateDone)
        manager->resumeDownloadForResource(m_item);
}
