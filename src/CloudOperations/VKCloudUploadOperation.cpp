#include "CloudOperations/VKCloudUploadOperation.h"

#include "CloudOperations/VKCloudFileOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Cloud/VKNetworkState.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/ErrorAdditions.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>

namespace {

// Folder flag, size and date of the item at `path` onto the node.
void describe(VKCloudManagedObject& node, const std::string& path)
{
    auto attributes = core::fs::attributes(path);
    if (!attributes)
        return;
    node.setIsDirectory(attributes->isDirectory());
    node.setSize(attributes->size > uint64_t(std::numeric_limits<int64_t>::max())
            ? std::numeric_limits<int64_t>::max()
            : static_cast<int64_t>(attributes->size));
    node.setModificationDate(attributes->modificationDate());
}

} // namespace

std::shared_ptr<VKCloudUploadOperation> VKCloudUploadOperation::initWithResources(
    std::vector<std::shared_ptr<VKFileResource>> resources)
{
    return std::shared_ptr<VKCloudUploadOperation>(new VKCloudUploadOperation(std::move(resources)));
}

VKCloudUploadOperation::VKCloudUploadOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKFileOperation(std::move(resources))
{
    m_mayBeCancelled = true;
    m_indeterminate = true;
    setLabel(core::localized("Preparing..."));
}

std::shared_ptr<VKCloudUploadOperationDelegate> VKCloudUploadOperation::uploadDelegate() const
{
    return std::dynamic_pointer_cast<VKCloudUploadOperationDelegate>(delegate());
}

std::shared_ptr<VKCloudServiceDelegate> VKCloudUploadOperation::callback()
{
    return std::shared_ptr<VKCloudServiceDelegate>(shared_from_this(), static_cast<VKCloudServiceDelegate*>(this));
}

std::shared_ptr<VKCloudFileResource> VKCloudUploadOperation::cloudDestination() const
{
    return std::dynamic_pointer_cast<VKCloudFileResource>(destination());
}

std::string VKCloudUploadOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized("Copy of {} items failed")), m_errorCount.load());
}

// MARK: Preparing

void VKCloudUploadOperation::run()
{
    auto destination = cloudDestination();
    m_service = destination ? VKCloudServicesManager::sharedManager()->cloudServiceForResource(*destination) : nullptr;
    if (!m_service) {
        m_errorCount = static_cast<uint32_t>(resources().size());
        sendDidEndDelegateMessage(std::nullopt);
        return;
    }
    const uint64_t limit = m_service->uploadSizeLimit();
    if (limit != 0) {
        for (const auto& resource : resources()) {
            if (resource->size() > limit) {
                sendDidEndDelegateMessage(
                    fmt::format(fmt::runtime(core::localized("One or more items exceed the upload size limit ({}).")),
                        VKBytesFormatter::sharedFormatter().formatBytesAsString(limit)));
                return;
            }
        }
    }
    if (m_deleteOriginals) {
        for (const auto& resource : resources())
            resource->setMarkedDeleted(true);
    }
    beginBackgroundTask();
    m_awaitingMetadata = true;
    m_service->updateMetadataForResource(destination, callback());
}

void VKCloudUploadOperation::cloudServiceDidUpdateMetadataAtPath(VKCloudService&, const std::string&)
{
    metadataDidArrive();
}

void VKCloudUploadOperation::cloudServiceMetadataUnchangedAtPath(VKCloudService&, const std::string&)
{
    metadataDidArrive();
}

void VKCloudUploadOperation::metadataDidArrive()
{
    if (!m_awaitingMetadata || m_ended)
        return;
    m_awaitingMetadata = false;
    if (isCancelled())
        sendDidEndDelegateMessage(std::nullopt);
    else
        checkForConflicts();
}

void VKCloudUploadOperation::cloudServiceMetadataUpdateFailedForPath(VKCloudService&, const std::string& path)
{
    if (!m_awaitingMetadata)
        return;
    m_awaitingMetadata = false;
    core::log("VKCloudUploadOperation metadataUpdateFailedForPath: {}", path);
    m_errorCount = static_cast<uint32_t>(resources().size());
    sendDidEndDelegateMessage(std::nullopt);
}

// MARK: Conflicts

void VKCloudUploadOperation::checkForConflicts()
{
    auto destination = cloudDestination();
    auto store = VKCloudFileStore::sharedStore();
    if (!destination || !store) {
        m_errorCount = static_cast<uint32_t>(resources().size());
        sendDidEndDelegateMessage(std::nullopt);
        return;
    }
    // The service decides what counts as the same name: one that ignores
    // case would replace "report.pdf" with "Report.pdf" without a word.
    const bool caseSensitive = m_service->isCaseSensitive();
    const std::string folder = destination->path();
    m_conflicts.clear();
    for (const auto& resource : resources()) {
        const std::string path = core::path::appendingPathComponent(folder, resource->name());
        auto node = store->managedObjectForPath(path);
        if (!node && !caseSensitive)
            node = store->managedObjectForPath(path, false);
        auto existing = node ? VKCloudFileResource::resourceWithManagedObject(node) : nullptr;
        if (existing)
            m_conflicts.insert(existing->cloudPath());
    }
    if (m_conflicts.empty()) {
        doLocalCopy();
        return;
    }
    const std::string title = fmt::format(fmt::runtime(core::localized("Upload to \"{}\"")), destination->name());
    const std::string overwrite = m_conflicts.size() == 1
        ? core::localized("Overwrite 1 Item?")
        : fmt::format(fmt::runtime(core::localized("Overwrite {} Items?")), m_conflicts.size());
    m_sheet = ui::ActionSheet::create(title,
        std::static_pointer_cast<ui::ActionSheetDelegate>(
            std::shared_ptr<ui::ActionSheetDelegate>(shared_from_this(), static_cast<ui::ActionSheetDelegate*>(this))),
        core::localized("Cancel"), overwrite);
    if (auto delegate = uploadDelegate())
        delegate->showActionSheet(m_sheet, *this);
}

void VKCloudUploadOperation::clickedButton(ui::ActionSheet& sheet, int index)
{
    if (&sheet != m_sheet.get())
        return;
    if (m_ended || !m_service) {
        m_sheet.reset();
        return;
    }
    auto keep = m_sheet;
    m_sheet.reset();
    if (index != sheet.destructiveButtonIndex() || isCancelled()) {
        sendDidEndDelegateMessage(std::nullopt);
        return;
    }
    const auto paths = m_conflicts;
    for (const auto& path : paths)
        m_service->deletePath(path, callback());
}

void VKCloudUploadOperation::cloudServiceDidDeletePath(VKCloudService& service, const std::string& path)
{
    if (!m_conflicts.count(path) || m_ended || !m_service)
        return;
    if (auto resource = service.resourceForCloudPath(path)) {
        // The item is gone from the cloud: so are its node and its stored copy.
        const std::string localPath = resource->path();
        if (auto store = VKCloudFileStore::sharedStore())
            store->deleteObject(resource->managedObject());
        if (!localPath.empty())
            core::fs::removeItem(localPath);
    }
    m_conflicts.erase(path);
    if (m_conflicts.empty())
        doLocalCopy();
}

void VKCloudUploadOperation::cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& path, const core::Error&)
{
    if (!m_conflicts.count(path) || m_ended)
        return;
    m_conflicts.clear();
    m_errorCount = static_cast<uint32_t>(resources().size());
    sendDidEndDelegateMessage(std::nullopt);
}

// MARK: Staging

void VKCloudUploadOperation::doLocalCopy()
{
    if (isCancelled() || m_ended) {
        sendDidEndDelegateMessage(std::nullopt);
        return;
    }
    auto destination = cloudDestination();
    auto store = VKCloudFileStore::sharedStore();
    if (!destination || !store || !store->acquireLock(destination->managedObject())) {
        core::log("acquireLock failed for: {}", destination ? destination->description() : std::string());
        m_errorCount = static_cast<uint32_t>(resources().size());
        sendDidEndDelegateMessage(std::nullopt);
        return;
    }
    std::vector<std::string> sources;
    for (const auto& resource : resources())
        sources.push_back(resource->path());
    store->saveContext();
    auto self = std::static_pointer_cast<VKCloudUploadOperation>(shared_from_this());
    const std::string folder = destination->path();
    core::Thread::detach("VKCloudUploadOperation staging",
        [self, folder, sources] { self->doLocalCopyInBackground(folder, sources); });
}

void VKCloudUploadOperation::doLocalCopyInBackground(const std::string& destination,
    const std::vector<std::string>& sources)
{
    m_errorCount = 0;
    auto store = VKCloudFileStore::create();
    auto self = std::static_pointer_cast<VKCloudUploadOperation>(shared_from_this());
    std::vector<std::string> targets;
    core::Error error;
    if (!core::fs::isDirectory(destination) && !core::fs::createDirectory(destination, true, &error)) {
        core::log("Warning, failed to create copy desintation: {}", core::path::abbreviatingWithTildeInPath(destination));
        m_errorCount = static_cast<uint32_t>(sources.size());
    }
    // Takes a target and every node made for it away again.
    const auto discard = [&](const std::string& target) {
        core::fs::removeItem(target);
        if (auto node = store ? store->managedObjectForPath(target) : nullptr)
            store->deleteObject(node);
    };
    if (core::fs::isDirectory(destination)) {
        for (const auto& source : sources) {
            const std::string target = core::path::appendingPathComponent(destination, core::path::lastPathComponent(source));
            core::fs::removeItem(target);
            core::Error copyError;
            if (copyWithUpdatesItemAtPath(source, target, &copyError, this)) {
                targets.push_back(target);
            } else {
                core::log("copyItemAtPath:toPath: error: {}", copyError);
                ++m_errorCount;
                // A source that vanished or could not be read leaves nothing
                // half made behind; the others go on.
                discard(target);
            }
            if (isCancelled())
                break;
        }
        if (isCancelled()) {
            // Nothing of a cancelled staging stays, neither on disk nor as a
            // node the browser would show.
            for (const auto& target : targets)
                discard(target);
            targets.clear();
        }
    }
    if (store)
        store->saveContext();
    core::performOnMainThread([self, targets] { self->localCopyDidComplete(targets); });
}

bool VKCloudUploadOperation::shouldCopyItemAtPath(const std::string& from, const std::string& to)
{
    if (isCancelled())
        return false;
    auto store = VKCloudFileStore::storeForCurrentThread();
    core::Error error;
    auto node = store ? store->insertObjectForPath(to, &error) : nullptr;
    if (!node) {
        core::log("Warning, insertObjectForPath failed: {}", core::path::abbreviatingWithTildeInPath(to));
        return false;
    }
    describe(*node, from);
    return true;
}

bool VKCloudUploadOperation::copyingItemAtPath(const std::string&, const std::string&, uint64_t)
{
    return !isCancelled();
}

void VKCloudUploadOperation::didCopyItemAtPath(const std::string&, const std::string& to)
{
    auto store = VKCloudFileStore::storeForCurrentThread();
    auto node = store ? store->managedObjectForPath(to) : nullptr;
    if (!node) {
        core::log("Warning, copyItemAtPath failed for {}", to);
        return;
    }
    describe(*node, to);
}

// MARK: Uploading

void VKCloudUploadOperation::localCopyDidComplete(const std::vector<std::string>& targets)
{
    auto store = VKCloudFileStore::sharedStore();
    auto destination = cloudDestination();
    if (store && destination)
        store->releaseLock(destination->managedObject());
    if (store)
        store->saveContext();
    if (isCancelled() || targets.empty() || m_ended) {
        sendDidEndDelegateMessage(std::nullopt);
        return;
    }
    m_indeterminate = false;
    if (auto delegate = uploadDelegate())
        delegate->cloudUploadOperationWillStart(*this);
    m_queue.clear();
    for (const auto& target : targets) {
        auto resource = VKCloudFileResource::resourceWithPath(target);
        if (!resource) {
            ++m_errorCount;
            continue;
        }
        resource->setMarkedDeleted(false);
        uint64_t bytes = resource->size();
        if (resource->isDirectory())
            bytes += resource->sizeOfChildren();
        m_totalBytes.set(resource->cloudPath(), bytes);
        resource->managedObject()->setUploadState(VKNetworkStateWaiting);
        m_queue.push_back(resource);
    }
    if (store)
        store->saveContext();
    processUploadQueue();
}

void VKCloudUploadOperation::processUploadQueue()
{
    // A cancelled operation ends in its cancel routine, after the uploads
    // it cancels have answered.
    if (m_ended || isCancelled())
        return;
    while (!isCancelled() && !m_queue.empty() && m_activeUploadCount < 2) {
        ++m_activeUploadCount;
        auto resource = m_queue.front();
        m_queue.erase(m_queue.begin());
        m_service->uploadResource(resource, callback());
        if (m_ended)
            return;
    }
    if (m_queue.empty() && m_activeUploadCount == 0)
        sendDidEndDelegateMessage(std::nullopt);
}

void VKCloudUploadOperation::updateProgress()
{
    cloudbytes::reportProgress(*this, m_bytesLoaded, m_totalBytes);
}

void VKCloudUploadOperation::setUploadStateForPath(const std::string& cloudPath, int32_t state)
{
    auto resource = m_service ? m_service->resourceForCloudPath(cloudPath) : nullptr;
    if (resource && resource->managedObject()->isValid())
        resource->managedObject()->setUploadState(state);
}

void VKCloudUploadOperation::cloudServiceUploadForPathDidUpdateProgress(VKCloudService&, const std::string& path,
    float progress)
{
    const uint64_t* total = m_totalBytes.find(path);
    if (!total)
        return;
    m_bytesLoaded.set(path, cloudbytes::scaled(*total, progress));
    updateProgress();
    if (progress == 1.0f)
        setUploadStateForPath(path, VKNetworkStateFinalizing);
}

void VKCloudUploadOperation::cloudServiceUploadCompletedForPath(VKCloudService&, const std::string& path)
{
    auto keep = shared_from_this();
    --m_activeUploadCount;
    setUploadStateForPath(path, VKNetworkStateNone);
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    if (const uint64_t* total = m_totalBytes.find(path))
        m_bytesLoaded.set(path, *total);
    updateProgress();
    if (m_deleteOriginals) {
        const std::string name = core::path::lastPathComponent(path);
        for (const auto& source : resources()) {
            if (source->name() == name) {
                moveFileResourceToTrash(source);
                break;
            }
        }
    }
    processUploadQueue();
}

void VKCloudUploadOperation::cloudServiceUploadFailedForPath(VKCloudService&, const std::string& path, const core::Error&)
{
    core::log("cloudService: uploadFailedForPath: {}", path);
    ++m_errorCount;
    uploadDidStop(path, VKNetworkStateFailed);
}

void VKCloudUploadOperation::cloudServiceDidCancelUploadForPath(VKCloudService&, const std::string& path)
{
    uploadDidStop(path, VKNetworkStatePaused);
}

void VKCloudUploadOperation::uploadDidStop(const std::string& path, int32_t state)
{
    auto keep = shared_from_this();
    --m_activeUploadCount;
    setUploadStateForPath(path, state);
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    m_totalBytes.erase(path);
    m_bytesLoaded.erase(path);
    processUploadQueue();
}

// MARK: Cancelling and ending

void VKCloudUploadOperation::cancel()
{
    if (!core::Thread::isMainThread()) {
        auto self = std::static_pointer_cast<VKCloudUploadOperation>(shared_from_this());
        VKFileOperation::cancel();
        core::performOnMainThread([self] { self->cancel(); });
        return;
    }
    auto keep = shared_from_this();
    VKFileOperation::cancel();
    if (m_ended)
        return;
    auto destination = cloudDestination();
    auto store = VKCloudFileStore::sharedStore();
    if (auto service = m_service; service && destination) {
        const std::string folder = destination->cloudPath();
        for (const auto& source : resources()) {
            const std::string target = folder == "/" ? "/" + source->name() : folder + "/" + source->name();
            if (!service->isUploadingItemAtPath(target))
                continue;
            auto resource = service->resourceForCloudPath(target);
            service->cancelUploadOfItemAtPath(target);
            // What it sent so far goes, and so does its node.
            service->deletePath(target, nullptr);
            if (store && resource && resource->managedObject()->isValid())
                store->deleteObject(resource->managedObject());
        }
    }
    // Staged items not yet handed over wait as paused uploads, which their
    // rows can resume, rather than as uploads nobody runs.
    for (const auto& waiting : m_queue) {
        if (waiting->managedObject()->isValid())
            waiting->managedObject()->setUploadState(VKNetworkStatePaused);
    }
    m_queue.clear();
    sendDidEndDelegateMessage(std::nullopt);
}

void VKCloudUploadOperation::sendDidEndDelegateMessage(std::optional<std::string> message)
{
    if (m_ended.exchange(true))
        return;
    auto keep = shared_from_this();
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    if (!message && m_errorCount != 0)
        message = localizedErrorDescription();
    std::optional<core::Error> error;
    if (message)
        error = errorWithDomain(VKCloudUploadOperationErrorDomain, VKCloudUploadOperationErrorCode, *message);
    if (m_deleteOriginals) {
        for (const auto& source : resources()) {
            if (source->exists())
                source->setMarkedDeleted(false);
        }
        if (!resources().empty()) {
            core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, keep,
                { core::path::deletingLastPathComponent(resources().front()->path()) });
        }
    }
    if (auto delegate = this->delegate())
        delegate->fileOperationDidEnd(*this, isCancelled() ? std::nullopt : error);
    endBackgroundTask();
    // A request still out holds this operation as its callback: the service
    // goes, so that the two never keep each other.
    m_service.reset();
}
