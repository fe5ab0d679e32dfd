#include "CloudOperations/VKCloudSyncOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"

#include <fmt/format.h>

#include <algorithm>

std::shared_ptr<VKCloudSyncOperation> VKCloudSyncOperation::initWithResources(
    std::vector<std::shared_ptr<VKFileResource>> resources)
{
    return std::shared_ptr<VKCloudSyncOperation>(new VKCloudSyncOperation(std::move(resources)));
}

VKCloudSyncOperation::VKCloudSyncOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKCloudFileOperation(std::move(resources))
{
    setLabel(core::localized("Syncing..."));
    m_mayBeCancelled = true;
    m_indeterminate = false;
}

std::string VKCloudSyncOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized("Sync failed for {} items")), m_errorCount.load());
}

void VKCloudSyncOperation::run()
{
    auto keep = shared_from_this();
    for (const auto& item : resources()) {
        auto resource = cloudResource(item);
        if (!resource || resource->isUpload())
            continue;
        m_totalBytes.set(resource->cloudPath(), resource->isDirectory() ? resource->sizeOfChildren() : resource->size());
        m_fetchQueue.push_back(resource);
    }
    if (m_fetchQueue.empty()) {
        // Nothing to fetch is no failure.
        m_ended = true;
        if (auto delegate = this->delegate())
            delegate->fileOperationDidEnd(*this, std::nullopt);
        return;
    }
    processFetchQueue();
}

void VKCloudSyncOperation::processFetchQueue()
{
    if (m_ended || m_processing)
        return;
    auto keep = shared_from_this();
    // A fetch that completes while it is being started comes back here;
    // the loop below goes on with it instead.
    m_processing = true;
    while (!isCancelled() && !m_fetchQueue.empty() && m_activeFetches.size() < MaximumActiveFetches) {
        auto resource = m_fetchQueue.front();
        m_fetchQueue.pop_front();
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource);
        if (!service) {
            ++m_errorCount;
            continue;
        }
        m_activeFetches.push_back(resource);
        service->fetchResource(resource, callback());
        if (m_ended)
            break;
    }
    m_processing = false;
    if (m_activeFetches.empty() && !m_ended)
        sendDidEndDelegateMessage();
}

bool VKCloudSyncOperation::removeActiveFetch(const std::string& path)
{
    auto found = std::find_if(m_activeFetches.begin(), m_activeFetches.end(),
        [&](const auto& resource) { return resource->cloudPath() == path; });
    if (found == m_activeFetches.end())
        return false;
    m_activeFetches.erase(found);
    return true;
}

void VKCloudSyncOperation::cloudServiceFetchForPathDidUpdateProgress(VKCloudService&, const std::string& path,
    float progress)
{
    const uint64_t* total = m_totalBytes.find(path);
    if (m_ended || !total)
        return;
    m_fetchedBytes.set(path, cloudbytes::scaled(*total, progress));
    cloudbytes::reportProgress(*this, m_fetchedBytes, m_totalBytes);
}

void VKCloudSyncOperation::cloudServiceFetchCompletedForPath(VKCloudService&, const std::string& path)
{
    if (m_ended || !removeActiveFetch(path))
        return;
    auto keep = shared_from_this();
    if (const uint64_t* total = m_totalBytes.find(path))
        m_fetchedBytes.set(path, *total);
    processFetchQueue();
}

void VKCloudSyncOperation::cloudServiceFetchFailedForPath(VKCloudService&, const std::string& path)
{
    if (m_ended || !removeActiveFetch(path))
        return;
    auto keep = shared_from_this();
    core::log("VKCloudSyncOperation fetchFailedForPath: {}", path);
    ++m_errorCount;
    processFetchQueue();
}

void VKCloudSyncOperation::cloudServiceDidCancelFetchForPath(VKCloudService&, const std::string& path)
{
    if (m_ended || !removeActiveFetch(path))
        return;
    auto keep = shared_from_this();
    m_totalBytes.erase(path);
    m_fetchedBytes.erase(path);
    if (!isCancelled())
        processFetchQueue();
}

void VKCloudSyncOperation::cancel()
{
    auto keep = shared_from_this();
    setCancelled(true);
    if (m_ended)
        return;
    m_fetchQueue.clear();
    const auto active = m_activeFetches;
    for (const auto& resource : active) {
        if (auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource))
            service->cancelFetchOfItemAtPath(resource->cloudPath());
    }
    sendDidEndDelegateMessage();
}
