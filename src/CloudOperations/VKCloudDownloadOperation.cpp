#include "CloudOperations/VKCloudDownloadOperation.h"

#include "CloudOperations/VKCloudDeleteOperation.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/ErrorAdditions.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Downloads/VKDownloadFileResource.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <limits>

std::shared_ptr<VKCloudDownloadOperation> VKCloudDownloadOperation::initWithResources(
    std::vector<std::shared_ptr<VKFileResource>> resources)
{
    return std::shared_ptr<VKCloudDownloadOperation>(new VKCloudDownloadOperation(std::move(resources)));
}

VKCloudDownloadOperation::VKCloudDownloadOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKCloudFileOperation(std::move(resources))
    , m_selection(this->resources())
{
    m_mayBeCancelled = true;
    m_indeterminate = true;
    setLabel(core::localized("Preparing..."));
}

std::string VKCloudDownloadOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized(m_deleteOriginals ? "Move of {} items failed" : "Copy of {} items failed")),
        m_errorCount.load());
}

// MARK: Preparing

void VKCloudDownloadOperation::run()
{
    auto keep = shared_from_this();
    if (m_deleteOriginals
        && std::any_of(m_selection.begin(), m_selection.end(), [](const auto& resource) { return resource->isUpload(); })) {
        endWithError(errorWithDomain(VKFileOperationErrorDomain, -2,
            core::localized("Cannot move items which are currently uploading")));
        return;
    }
    auto destination = this->destination();
    const std::string folder = destination ? destination->path() : std::string();
    if (folder.empty()) {
        endWithError(errorWithDomain(core::Error::POSIXDomain, ENOENT, "No destination folder"));
        return;
    }
    if (!core::fs::isDirectory(folder)) {
        core::Error error;
        if (!core::fs::createDirectory(folder, true, &error)) {
            endWithError(error);
            return;
        }
    }
    for (const auto& resource : m_selection) {
        if (auto folderResource = cloudResource(resource); folderResource && folderResource->isDirectory())
            m_metadataQueue.push_back(folderResource);
        // Browsers hide what is being moved away at once.
        if (m_deleteOriginals)
            resource->setMarkedDeleted(true);
    }
    beginBackgroundTask();
    if (m_metadataQueue.empty())
        beginFetchWithQuotaConfirmation(true);
    else
        processMetadataQueue();
}

void VKCloudDownloadOperation::processMetadataQueue()
{
    if (isCancelled() || m_ended)
        return;
    if (m_metadataQueue.empty()) {
        beginFetchWithQuotaConfirmation(true);
        return;
    }
    // One folder at a time, so that the sizes are current for the estimate.
    auto folder = m_metadataQueue.front();
    m_metadataQueue.erase(m_metadataQueue.begin());
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*folder);
    m_awaitedMetadata = folder->cloudPath();
    if (!service || m_awaitedMetadata->empty()) {
        metadataDidFail(*m_awaitedMetadata);
        return;
    }
    service->updateMetadataForResource(folder, callback());
}

void VKCloudDownloadOperation::metadataDidArrive(const std::string&)
{
    if (m_ended || !m_awaitedMetadata)
        return;
    auto keep = shared_from_this();
    m_awaitedMetadata.reset();
    processMetadataQueue();
}

void VKCloudDownloadOperation::cloudServiceDidUpdateMetadataAtPath(VKCloudService&, const std::string& path)
{
    metadataDidArrive(path);
}

void VKCloudDownloadOperation::cloudServiceMetadataUnchangedAtPath(VKCloudService&, const std::string& path)
{
    metadataDidArrive(path);
}

void VKCloudDownloadOperation::cloudServiceMetadataUpdateFailedForPath(VKCloudService&, const std::string& path)
{
    metadataDidFail(path);
}

void VKCloudDownloadOperation::metadataDidFail(const std::string& path)
{
    if (m_ended || !m_awaitedMetadata)
        return;
    auto keep = shared_from_this();
    m_awaitedMetadata.reset();
    core::log("metadataUpdateFailedForPath: {}", path);
    m_errorCount = static_cast<uint32_t>(m_selection.size());
    sendDidEndDelegateMessage();
}

// MARK: Downloading

void VKCloudDownloadOperation::beginFetchWithQuotaConfirmation(bool confirm)
{
    if (m_ended || isCancelled())
        return;
    auto keep = shared_from_this();
    m_downloads.clear();
    m_totalBytes.clear();
    m_bytesLoaded.clear();
    uint64_t total = 0;
    for (const auto& resource : m_selection) {
        uint64_t bytes = resource->size();
        if (resource->isDirectory())
            bytes += std::min(resource->sizeOfChildren(), std::numeric_limits<uint64_t>::max() - bytes);
        m_totalBytes.set(resource->cloudPath(), bytes);
        total = bytes > std::numeric_limits<uint64_t>::max() - total ? std::numeric_limits<uint64_t>::max() : total + bytes;
    }
    auto quota = VKQuotaManager::defaultManager();
    const auto available = quota ? quota->quotaAvailableBytes() : std::nullopt;
    if (confirm && available && total >= *available) {
        if (auto withdraw = std::exchange(m_withdrawQuestion, nullptr))
            withdraw();
        if (auto questions = VKTransferQuestions::current()) {
            std::weak_ptr<VKCloudDownloadOperation> weak = sharedAs<VKCloudDownloadOperation>();
            m_withdrawQuestion = questions->askToExceedQuota(total, *available, !VKQuotaManager::isQuotaEnforced(),
                [weak](VKTransferAnswer answer) {
                    if (auto operation = weak.lock())
                        operation->quotaQuestionAnswered(answer);
                });
        }
        return;
    }
    m_indeterminate = false;
    if (auto delegate = std::dynamic_pointer_cast<VKCloudDownloadOperationDelegate>(this->delegate()))
        delegate->cloudDownloadOperationWillStart(*this);
    if (m_ended || isCancelled())
        return;

    auto destination = this->destination();
    const std::string folder = destination ? destination->path() : std::string();
    auto manager = VKDownloadManager::sharedManager();
    const std::shared_ptr<VKDownloadManagerCallback> downloadCallback(keep, static_cast<VKDownloadManagerCallback*>(this));
    // Items of the same name already there go to the trash, together, so
    // that a download that then fails has destroyed nothing. A group some
    // other operation holds open is joined rather than emptied.
    const bool ownGroup = !isInTrashGroup();
    if (ownGroup)
        beginTrashGroup();
    m_downloading = true;
    for (const auto& resource : m_selection) {
        auto item = cloudResource(resource);
        const std::string target = core::path::appendingPathComponent(folder, resource->name());
        bool skip = !item || folder.empty();
        if (!skip && core::fs::attributes(target)) {
            auto existing = VKFileResource::resourceWithPath(target);
            if (!existing || moveFileResourceToTrash(existing) != VKRemoveResultDone) {
                core::log("Warning, failed to remove existing item: {}", core::path::abbreviatingWithTildeInPath(target));
                skip = true;
            }
        }
        auto download = skip ? nullptr : manager->startDownloadOfCloudResource(item, folder, downloadCallback);
        if (!download) {
            // Nothing of it will arrive: one failed item, out of the progress.
            ++m_errorCount;
            m_totalBytes.erase(resource->cloudPath());
            continue;
        }
        m_downloads.push_back(download);
        if (m_ended)
            break;
    }
    m_downloading = false;
    if (ownGroup)
        endTrashGroup();
    if (m_downloads.empty())
        downloadDidEnd();
}

std::shared_ptr<VKDownloadFileResource> VKCloudDownloadOperation::takeDownload(const VKDownloadFileResource& item)
{
    if (m_ended)
        return nullptr;
    auto found = std::find_if(m_downloads.begin(), m_downloads.end(),
        [&](const auto& download) { return download.get() == &item || download->isEqual(item); });
    if (found == m_downloads.end())
        return nullptr;
    auto download = *found;
    m_downloads.erase(found);
    return download;
}

void VKCloudDownloadOperation::updateProgress()
{
    cloudbytes::reportProgress(*this, m_bytesLoaded, m_totalBytes);
}

void VKCloudDownloadOperation::downloadManagerDidUpdateProgress(VKDownloadManager&, float progress,
    VKDownloadFileResource& item)
{
    const uint64_t* total = m_totalBytes.find(item.cloudPath());
    if (m_ended || !total)
        return;
    m_bytesLoaded.set(item.cloudPath(), cloudbytes::scaled(*total, progress));
    updateProgress();
}

void VKCloudDownloadOperation::downloadManagerDownloadCompletedForResource(VKDownloadManager&, VKDownloadFileResource& item)
{
    auto download = takeDownload(item);
    if (!download)
        return;
    auto keep = shared_from_this();
    const std::string cloudPath = download->cloudPath();
    if (const uint64_t* total = m_totalBytes.find(cloudPath))
        m_bytesLoaded.set(cloudPath, *total);
    updateProgress();
    if (m_deleteOriginals) {
        auto source = std::find_if(m_selection.begin(), m_selection.end(),
            [&](const auto& resource) { return resource->cloudPath() == cloudPath; });
        if (source != m_selection.end())
            m_downloadedResources.push_back(*source);
    }
    downloadDidEnd();
}

void VKCloudDownloadOperation::downloadManagerDownloadFailedForResource(VKDownloadManager& manager,
    VKDownloadFileResource& item)
{
    downloadDidStop(manager, item, true);
}

void VKCloudDownloadOperation::downloadManagerDidCancelDownloadForResource(VKDownloadManager& manager,
    VKDownloadFileResource& item)
{
    downloadDidStop(manager, item, false);
}

void VKCloudDownloadOperation::downloadDidStop(VKDownloadManager& manager, VKDownloadFileResource& item, bool failed)
{
    auto download = takeDownload(item);
    if (!download)
        return;
    auto keep = shared_from_this();
    if (failed)
        ++m_errorCount;
    // Out of the progress, and no record of it stays behind.
    m_totalBytes.erase(download->cloudPath());
    m_bytesLoaded.erase(download->cloudPath());
    manager.deleteDownloadResource(download);
    downloadDidEnd();
}

void VKCloudDownloadOperation::downloadDidEnd()
{
    if (m_ended || m_downloading || !m_downloads.empty())
        return;
    if (m_deleteOriginals && !isCancelled() && !m_downloadedResources.empty()) {
        // Only what arrived is removed from the cloud.
        m_deleteOperation = VKCloudDeleteOperation::initWithResources(m_downloadedResources);
        m_deleteOperation->setDelegate(std::shared_ptr<VKFileOperationDelegate>(shared_from_this(),
            static_cast<VKFileOperationDelegate*>(this)));
        m_deleteOperation->run();
        return;
    }
    sendDidEndDelegateMessage();
}

void VKCloudDownloadOperation::fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>&)
{
    // Only the delete's own end counts (not its background time running
    // out), and its error is not this operation's: what it could not
    // remove was copied all the same.
    if (m_ended || !m_deleteOperation || &operation != m_deleteOperation.get() || !m_deleteOperation->hasEnded())
        return;
    auto keep = shared_from_this();
    // The removed items leave the list, so only what still exists shows again.
    std::erase_if(m_selection, [](const auto& resource) { return !resource->exists(); });
    sendDidEndDelegateMessage();
}

// MARK: The quota question

void VKCloudDownloadOperation::quotaQuestionAnswered(VKTransferAnswer answer)
{
    // A question the system took away leaves the operation waiting.
    if (answer == VKTransferAnswer::Dismissed)
        return;
    auto keep = shared_from_this();
    m_withdrawQuestion = nullptr;
    if (m_ended)
        return;
    if (answer == VKTransferAnswer::Decline)
        sendDidEndDelegateMessage();
    else
        beginFetchWithQuotaConfirmation(false);
}

// MARK: Cancelling and ending

void VKCloudDownloadOperation::cancel()
{
    auto keep = shared_from_this();
    VKFileOperation::cancel();
    if (m_ended)
        return;
    if (m_deleteOperation) {
        m_deleteOperation->cancel();
    } else {
        const auto running = std::move(m_downloads);
        m_downloads.clear();
        auto manager = VKDownloadManager::sharedManager();
        for (const auto& download : running)
            manager->deleteDownloadResource(download);
    }
    sendDidEndDelegateMessage();
}

void VKCloudDownloadOperation::sendDidEndDelegateMessage()
{
    if (m_ended)
        return;
    // A question still shown (the operation was cancelled meanwhile) has
    // nothing left to decide.
    if (auto withdraw = std::exchange(m_withdrawQuestion, nullptr))
        withdraw();
    if (m_deleteOriginals) {
        for (const auto& resource : m_selection) {
            if (resource->exists())
                resource->setMarkedDeleted(false);
        }
    }
    VKCloudFileOperation::sendDidEndDelegateMessage();
}
