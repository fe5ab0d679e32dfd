#include "Cloud/VKDropboxFetchClient.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKDropboxCloudService.h"
#include "DropboxSDK/DBMetadata.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <limits>

namespace {

uint64_t saturatingAdd(uint64_t a, uint64_t b)
{
    return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max() : a + b;
}

uint64_t byteCount(int64_t size)
{
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

bool directoryExists(const std::string& path)
{
    auto attributes = core::fs::attributes(path);
    return attributes && attributes->isDirectory();
}

} // namespace

std::shared_ptr<VKDropboxFetchClient> VKDropboxFetchClient::initWithResource(
    std::shared_ptr<VKCloudFileResource> resource, VKDropboxCloudService& cloudService)
{
    return std::shared_ptr<VKDropboxFetchClient>(new VKDropboxFetchClient(std::move(resource), cloudService));
}

VKDropboxFetchClient::VKDropboxFetchClient(std::shared_ptr<VKCloudFileResource> resource,
    VKDropboxCloudService& cloudService)
    : m_resource(std::move(resource))
    , m_cloudService(&cloudService)
{
}

VKDropboxFetchClient::~VKDropboxFetchClient()
{
    m_cloudService = nullptr;
    detachRestClient();
}

void VKDropboxFetchClient::detachRestClient()
{
    if (!m_restClient)
        return;
    // Its requests end with it; a client inside one of its own callbacks
    // keeps itself alive to the end of it.
    m_restClient->setDelegate({});
    m_restClient.reset();
}

void VKDropboxFetchClient::addCallback(Callback callback)
{
    if (callback && std::find(m_callbacks.begin(), m_callbacks.end(), callback) == m_callbacks.end())
        m_callbacks.push_back(std::move(callback));
}

bool VKDropboxFetchClient::respondsTo(DBRestClientCallback callback) const
{
    switch (callback) {
    case DBRestClientCallback::LoadedMetadata:
    case DBRestClientCallback::MetadataUnchangedAtPath:
    case DBRestClientCallback::LoadMetadataFailedWithError:
    case DBRestClientCallback::LoadedFile:
    case DBRestClientCallback::LoadProgressForFile:
    case DBRestClientCallback::LoadFileFailedWithError:
        return true;
    default:
        return false;
    }
}

void VKDropboxFetchClient::fetch()
{
    m_resource->managedObject()->setFetchProgress(0);
    m_childrenToLoad.clear();
    m_loadedBytes.clear();
    m_totalBytesToLoad = 0;
    m_metadataRequestCount = 0;
    m_loadRequestCount = 0;
    detachRestClient();
    m_restClient = DBRestClient::initWithSession(DBSession::sharedSession());
    m_restClient->setDelegate(std::static_pointer_cast<VKDropboxFetchClient>(shared_from_this()));
    loadMetadataForResource(*m_resource);
}

void VKDropboxFetchClient::cancel()
{
    detachRestClient();
}

bool VKDropboxFetchClient::hasFetchCompleted() const
{
    return m_metadataRequestCount == 0 && m_childrenToLoad.empty() && m_loadRequestCount == 0;
}

void VKDropboxFetchClient::loadMetadataForResource(const VKCloudFileResource& resource)
{
    if (!m_restClient)
        return;
    ++m_metadataRequestCount;
    // With the stored hash, an unchanged folder is answered 304.
    m_restClient->loadMetadata(resource.cloudPath(), resource.cloudHash());
}

void VKDropboxFetchClient::loadResource(const VKCloudFileResource& resource)
{
    if (!m_restClient)
        return;
    ++m_loadRequestCount;
    m_restClient->loadFile(resource.cloudPath(), resource.path());
}

void VKDropboxFetchClient::loadedMetadata(DBRestClient&, const std::shared_ptr<const DBMetadata>& metadata)
{
    if (m_metadataRequestCount > 0)
        --m_metadataRequestCount;
    metadataDidUpdate(metadata, metadata->path().value_or(std::string()));
}

void VKDropboxFetchClient::metadataUnchangedAtPath(DBRestClient&, const std::string& path)
{
    if (m_metadataRequestCount > 0)
        --m_metadataRequestCount;
    metadataDidUpdate(nullptr, path);
}

void VKDropboxFetchClient::loadMetadataFailedWithError(DBRestClient&, const core::Error& error)
{
    core::log("restClient:loadMetadataFailedWithError: {}", error);
    if (m_metadataRequestCount > 0)
        --m_metadataRequestCount;
    reportFailed();
}

void VKDropboxFetchClient::metadataDidUpdate(const std::shared_ptr<const DBMetadata>& metadata,
    const std::string& cloudPath)
{
    if (m_resource->isDirectory())
        directoryMetadataDidUpdate(metadata, cloudPath);
    else
        fileMetadataDidUpdate(metadata);
}

void VKDropboxFetchClient::fileMetadataDidUpdate(const std::shared_ptr<const DBMetadata>& metadata)
{
    const auto& node = m_resource->managedObject();
    if (!node->isValid() || (metadata && metadata->isDeleted())) {
        reportFailed();
        return;
    }
    const bool stored = m_resource->isStoredLocally();
    if (stored
        && (!metadata
            || (metadata->revision() == m_resource->cloudRevision()
                && byteCount(metadata->totalBytes()) == m_resource->localSize()))) {
        reportCompleted(true);
        return;
    }
    const std::string localPath = m_resource->path();
    // A stale copy goes before the new download starts, so that a failed
    // download leaves none behind.
    if (stored)
        core::fs::removeItem(localPath);
    if (metadata && !m_cloudService->updateCloudResource(m_resource, metadata)) {
        core::log("Warning, updateCloudResource:withMetadata: failed for fetch: {}", m_resource->description());
        reportFailed();
        return;
    }
    const std::string folder = core::path::deletingLastPathComponent(localPath);
    if (!directoryExists(folder) && !core::fs::createDirectory(folder, true)) {
        core::log("Warning, createDirectoryAtPath: failed for fetch: {}", folder);
        reportFailed();
        return;
    }
    if (m_cloudService)
        m_cloudService->fetchClientDownloadWillStartForPath(*this, m_resource->cloudPath());
    loadResource(*m_resource);
}

void VKDropboxFetchClient::directoryMetadataDidUpdate(const std::shared_ptr<const DBMetadata>& metadata,
    const std::string& cloudPath)
{
    auto folder = m_cloudService ? m_cloudService->resourceForCloudPath(cloudPath) : nullptr;
    if (!folder || !folder->managedObject()->isValid() || (metadata && metadata->isDeleted())) {
        reportFailed();
        return;
    }
    const auto& node = folder->managedObject();
    std::map<std::string, int64_t> revisionsBefore;
    for (const auto& child : VKCloudFileStore::sharedStore()->childrenForManagedObject(*node)) {
        if (child->cloudRevision() != 0)
            revisionsBefore[child->name()] = child->cloudRevision();
    }
    if (metadata && !m_cloudService->updateCloudResource(folder, metadata)) {
        core::log("Warning, updateCloudResource:withMetadata: failed for fetch: {}", folder->description());
        reportFailed();
        return;
    }
    const std::string localPath = folder->path();
    if (!directoryExists(localPath) && !core::fs::createDirectory(localPath, true)) {
        core::log("Warning, createDirectoryAtPath: failed for fetch: {}", folder->description());
        reportFailed();
        return;
    }
    std::vector<std::shared_ptr<VKCloudFileResource>> subfolders;
    for (const auto& child : VKCloudFileStore::sharedStore()->childrenForManagedObject(*node)) {
        auto resource = VKCloudFileResource::resourceWithManagedObject(child);
        if (!resource)
            continue;
        if (child->isDirectory()) {
            subfolders.push_back(std::move(resource));
            continue;
        }
        const uint64_t size = byteCount(child->size());
        auto before = revisionsBefore.find(child->name());
        if (before != revisionsBefore.end() && before->second == child->cloudRevision()
            && size == resource->localSize()) {
            m_loadedBytes[child->objectID()] = size;
        } else {
            m_childrenToLoad[resource->path()] = resource;
        }
        m_totalBytesToLoad = saturatingAdd(m_totalBytesToLoad, size);
    }
    if (!subfolders.empty()) {
        for (const auto& subfolder : subfolders)
            loadMetadataForResource(*subfolder);
        return;
    }
    if (!m_childrenToLoad.empty() && m_metadataRequestCount == 0) {
        auto self = shared_from_this();
        if (m_cloudService)
            m_cloudService->fetchClientDownloadWillStartForPath(*this, m_resource->cloudPath());
        auto children = std::move(m_childrenToLoad);
        m_childrenToLoad.clear();
        for (const auto& [path, child] : children)
            loadResource(*child);
    } else if (hasFetchCompleted()) {
        reportCompleted(true);
    }
}

void VKDropboxFetchClient::loadedFile(DBRestClient&, const std::string& destinationPath)
{
    if (m_loadRequestCount > 0)
        --m_loadRequestCount;
    if (m_resource->isDirectory()) {
        if (auto loaded = VKCloudFileResource::resourceWithPath(destinationPath))
            m_loadedBytes[loaded->managedObject()->objectID()] = byteCount(loaded->managedObject()->size());
    }
    if (hasFetchCompleted())
        reportCompleted(false);
}

void VKDropboxFetchClient::loadProgress(DBRestClient&, float progress, const std::string& destinationPath)
{
    const auto& node = m_resource->managedObject();
    if (!m_resource->isDirectory()) {
        node->setFetchProgress(progress);
    } else if (m_totalBytesToLoad != 0) {
        if (auto loading = VKCloudFileResource::resourceWithPath(destinationPath)) {
            const float size = static_cast<float>(byteCount(loading->managedObject()->size()));
            const float loadedBytes = std::clamp(size * progress, 0.0f, size);
            m_loadedBytes[loading->managedObject()->objectID()] = static_cast<uint64_t>(loadedBytes);
        }
        node->setFetchProgress(static_cast<float>(
            static_cast<double>(loadedByteSum()) / static_cast<double>(m_totalBytesToLoad)));
    }
    if (m_cloudService)
        m_cloudService->fetchClientDidUpdateProgress(*this, node->fetchProgress(), m_resource->cloudPath());
}

void VKDropboxFetchClient::loadFileFailedWithError(DBRestClient&, const core::Error& error)
{
    core::log("restClient:loadFileFailedWithError: {}", error);
    if (m_loadRequestCount > 0)
        --m_loadRequestCount;
    reportFailed();
}

uint64_t VKDropboxFetchClient::loadedByteSum() const
{
    uint64_t sum = 0;
    for (const auto& [id, bytes] : m_loadedBytes)
        sum = saturatingAdd(sum, bytes);
    return sum;
}

void VKDropboxFetchClient::reportFailed()
{
    if (m_cloudService)
        m_cloudService->fetchClientFetchFailedForPath(*this, m_resource->cloudPath());
}

void VKDropboxFetchClient::reportCompleted(bool usedCache)
{
    if (m_cloudService)
        m_cloudService->fetchClientFetchCompletedForPath(*this, m_resource->cloudPath(), usedCache);
}
