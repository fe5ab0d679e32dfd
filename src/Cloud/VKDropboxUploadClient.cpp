#include "Cloud/VKDropboxUploadClient.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKDropboxCloudService.h"
#include "Cloud/VKUploadClient.h"
#include "DropboxSDK/DBSession.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <limits>

namespace {

uint64_t uploadSaturatingAdd(uint64_t a, uint64_t b)
{
    return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max() : a + b;
}

} // namespace

std::shared_ptr<VKDropboxUploadClient> VKDropboxUploadClient::initWithResource(
    std::shared_ptr<VKCloudFileResource> resource, VKDropboxCloudService& cloudService)
{
    return std::shared_ptr<VKDropboxUploadClient>(new VKDropboxUploadClient(std::move(resource), cloudService));
}

VKDropboxUploadClient::VKDropboxUploadClient(std::shared_ptr<VKCloudFileResource> resource,
    VKDropboxCloudService& cloudService)
    : m_resource(std::move(resource))
    , m_cloudPath(m_resource->cloudPath())
    , m_cloudService(&cloudService)
{
}

VKDropboxUploadClient::~VKDropboxUploadClient()
{
    m_cloudService = nullptr;
    cancel();
}

void VKDropboxUploadClient::addCallback(Callback callback)
{
    if (callback && std::find(m_callbacks.begin(), m_callbacks.end(), callback) == m_callbacks.end())
        m_callbacks.push_back(std::move(callback));
}

bool VKDropboxUploadClient::respondsTo(DBRestClientCallback callback) const
{
    switch (callback) {
    case DBRestClientCallback::CreatedFolder:
    case DBRestClientCallback::CreateFolderFailedWithError:
    case DBRestClientCallback::UploadedFileFrom:
    case DBRestClientCallback::UploadProgressForFileFrom:
    case DBRestClientCallback::UploadFileFailedWithError:
        return true;
    default:
        return false;
    }
}

void VKDropboxUploadClient::upload()
{
    auto node = m_resource->managedObject();
    if (!node || !node->isValid())
        return;
    node->setUploadProgress(0);
    m_loadedBytes.clear();
    if (m_resource->isDirectory()) {
        m_totalBytesToLoad = 0;
        if (auto store = VKCloudFileStore::sharedStore())
            m_totalBytesToLoad = static_cast<uint64_t>(std::max<int64_t>(0, store->sizeOfChildrenForManagedObject(*node, true)));
        uploadDirectoryResource(*m_resource);
    } else {
        uploadFileResource(*m_resource);
    }
}

void VKDropboxUploadClient::cancel()
{
    // A client answering right now stays alive to the end of its callback;
    // the others end their requests as they go.
    auto clients = std::move(m_restClients);
    m_restClients.clear();
    for (const auto& client : clients)
        client->setDelegate({});
}

std::shared_ptr<VKUploadClient> VKDropboxUploadClient::makeClient(const VKCloudFileResource& resource)
{
    auto client = VKUploadClient::initWithSession(DBSession::sharedSession());
    client->setDelegate(std::static_pointer_cast<VKDropboxUploadClient>(shared_from_this()));
    client->setCloudPath(resource.cloudPath());
    m_restClients.push_back(client);
    return client;
}

std::shared_ptr<VKUploadClient> VKDropboxUploadClient::clientFor(const DBRestClient& client) const
{
    for (const auto& candidate : m_restClients) {
        if (candidate.get() == &client)
            return candidate;
    }
    return nullptr;
}

void VKDropboxUploadClient::uploadFileResource(const VKCloudFileResource& resource)
{
    auto client = makeClient(resource);
    client->uploadFile(resource.name(), core::path::deletingLastPathComponent(resource.cloudPath()), resource.path());
}

void VKDropboxUploadClient::uploadDirectoryResource(const VKCloudFileResource& resource)
{
    // Folders are created one at a time: a folder registered while another
    // is under way waits for its turn.
    auto client = makeClient(resource);
    if (m_restClients.size() == 1)
        client->createFolder(client->cloudPath());
}

void VKDropboxUploadClient::createdFolder(DBRestClient& restClient, const std::shared_ptr<const DBMetadata>&)
{
    auto client = clientFor(restClient);
    if (!client)
        return;
    auto self = shared_from_this();
    auto folder = m_cloudService ? m_cloudService->resourceForCloudPath(client->cloudPath()) : nullptr;
    std::vector<std::shared_ptr<VKCloudFileResource>> files;
    std::vector<std::shared_ptr<VKCloudFileResource>> folders;
    if (folder) {
        if (m_totalBytesToLoad != 0 && !folder->isEqual(*m_resource))
            m_loadedBytes[folder->managedObject()->objectID()] = folder->size();
        for (const auto& child : folder->children().value_or(std::vector<std::shared_ptr<VKFileResource>>())) {
            auto cloudChild = std::dynamic_pointer_cast<VKCloudFileResource>(child);
            if (!cloudChild)
                continue;
            (cloudChild->isDirectory() ? folders : files).push_back(cloudChild);
        }
    }
    // Sent in name order, so a folder's upload runs the same way each time.
    const auto byName = [](const auto& a, const auto& b) { return a->name() < b->name(); };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    if (!files.empty()) {
        client->setFilesToUpload(std::move(files));
        client->uploadRemainingFiles();
        if (!clientFor(*client))
            return; // a file could not be sent: the upload is over
    }
    for (const auto& subfolder : folders)
        uploadDirectoryResource(*subfolder);
    if (client->filesToUpload().empty() && client->uploadingCount() == 0)
        uploadDidEnd(client);
}

void VKDropboxUploadClient::uploadedFile(DBRestClient& restClient, const std::string&, const std::string&)
{
    auto client = clientFor(restClient);
    if (!client)
        return;
    client->setUploadingCount(client->uploadingCount() - 1);
    uploadDidEnd(client);
}

void VKDropboxUploadClient::uploadDidEnd(const std::shared_ptr<VKUploadClient>& client)
{
    auto self = shared_from_this();
    if (!client->filesToUpload().empty()) {
        client->uploadRemainingFiles();
        return;
    }
    if (client->uploadingCount() > 0)
        return;
    std::erase(m_restClients, client);
    client->setDelegate({});
    if (m_restClients.empty()) {
        if (m_cloudService)
            m_cloudService->uploadClientUploadCompletedForPath(*this, m_cloudPath);
        return;
    }
    auto next = m_restClients.front();
    next->createFolder(next->cloudPath());
}

void VKDropboxUploadClient::uploadProgress(DBRestClient& restClient, float progress, const std::string&,
    const std::string& sourcePath)
{
    if (!clientFor(restClient))
        return;
    auto node = m_resource->managedObject();
    if (!node || !node->isValid())
        return;
    if (!m_resource->isDirectory()) {
        node->setUploadProgress(progress);
    } else if (m_totalBytesToLoad != 0) {
        if (auto file = VKCloudFileResource::resourceWithPath(sourcePath)) {
            const float sent = static_cast<float>(file->size()) * progress;
            m_loadedBytes[file->managedObject()->objectID()] = sent <= 0 ? 0 : static_cast<uint64_t>(sent);
        }
        uint64_t loaded = 0;
        for (const auto& [id, bytes] : m_loadedBytes)
            loaded = uploadSaturatingAdd(loaded, bytes);
        node->setUploadProgress(std::min(1.0f, static_cast<float>(double(loaded) / double(m_totalBytesToLoad))));
    }
    if (m_cloudService)
        m_cloudService->uploadClientUploadForPathDidUpdateProgress(*this, m_cloudPath, node->uploadProgress());
}

void VKDropboxUploadClient::uploadFileFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    if (!clientFor(restClient))
        return;
    core::log("restClient: uploadFileFailedWithError: {}", error);
    fail(error);
}

void VKDropboxUploadClient::createFolderFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    if (!clientFor(restClient))
        return;
    core::log("restClient:createFolderFailedWithError: {}", error);
    fail(error);
}

void VKDropboxUploadClient::fail(const core::Error& error)
{
    auto self = shared_from_this();
    cancel();
    if (m_cloudService)
        m_cloudService->uploadClientUploadFailedForPath(*this, m_cloudPath, error);
}
