#include "Cloud/VKDropboxCloudService.h"

#include "Cloud/DBRestClientAdditions.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServiceDelegate.h"
#include "Cloud/VKDropboxAccount.h"
#include "Cloud/VKDropboxClient.h"
#include "Cloud/VKNetworkState.h"
#include "DropboxSDK/DBMetadata.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>

namespace {

std::string infoString(const char* key)
{
    auto value = core::Bundle::main()->objectForInfoDictionaryKey(key);
    return value.isString() ? value.string() : std::string();
}

std::string errorString(const core::Error& error, const char* key)
{
    auto found = error.userInfo().find(key);
    return found != error.userInfo().end() && found->second.isString() ? found->second.string() : std::string();
}

// Takes a fetch or upload client out of its set, detached and with its
// transfers ended. It goes on a later pass: it may be reporting from inside
// one of its own callbacks.
template <typename Client>
void dropClient(std::vector<std::shared_ptr<Client>>& set, Client& client)
{
    auto found = std::find_if(set.begin(), set.end(), [&](const auto& candidate) { return candidate.get() == &client; });
    if (found == set.end())
        return;
    auto kept = *found;
    set.erase(found);
    kept->setCloudService(nullptr);
    kept->cancel();
    core::RunLoop::main().post([kept] { });
}

} // namespace

std::shared_ptr<VKDropboxCloudService> VKDropboxCloudService::create()
{
    auto root = VKHomeLayout::current()->serversSubdirectory(Name);
    auto service = std::shared_ptr<VKDropboxCloudService>(new VKDropboxCloudService(std::move(root)));
    service->m_session = DBSession::initWithConsumerKey(infoString("DBConsumerKey"), infoString("DBConsumerSecret"));
    service->m_session->setDelegate(service);
    DBSession::setSharedSession(service->m_session);
    return service;
}

VKDropboxCloudService::VKDropboxCloudService(std::string localRoot)
    : VKConcreteCloudService(std::move(localRoot))
{
}

VKDropboxCloudService::~VKDropboxCloudService()
{
    m_clients.detachAll();
    for (const auto& fetch : m_fetchClients)
        fetch->setCloudService(nullptr);
    for (const auto& upload : m_uploadClients)
        upload->setCloudService(nullptr);
}

std::shared_ptr<VKCloudServiceAccount> VKDropboxCloudService::account()
{
    if (!m_account)
        m_account = VKDropboxAccount::initWithDropboxCloudService(
            std::static_pointer_cast<VKDropboxCloudService>(shared_from_this()));
    return m_account;
}

bool VKDropboxCloudService::isLinked()
{
    auto session = DBSession::sharedSession();
    return session && session->isLinked();
}

// MARK: Clients

std::shared_ptr<VKDropboxClient> VKDropboxCloudService::createClientWithCallback(Callback callback)
{
    auto client = VKDropboxClient::initWithSession(DBSession::sharedSession());
    client->setDelegate(std::static_pointer_cast<VKDropboxCloudService>(shared_from_this()));
    client->addCallback(std::move(callback));
    return client;
}

template <typename Method, typename... Arguments>
void VKDropboxCloudService::invoke(const std::vector<Callback>& callbacks, Method method, const Arguments&... arguments)
{
    // A copy: a callback object may start or end operations of its own.
    const auto objects = callbacks;
    for (const auto& object : objects)
        ((*object).*method)(*this, arguments...);
}

// MARK: One-shot operations

void VKDropboxCloudService::fetchThumbnailForItemAtPath(const std::string& cloudPath, const std::string& destination,
    int sizeFlag, Callback callback)
{
    auto client = createClientWithCallback(std::move(callback));
    client->setCloudPath(cloudPath);
    m_clients.addRequest(client);
    client->loadThumbnail(cloudPath, sizeFlag ? "medium" : "large", destination);
}

void VKDropboxCloudService::copyPath(const std::string& from, const std::string& to, Callback callback)
{
    auto client = createClientWithCallback(std::move(callback));
    m_clients.addRequest(client);
    client->copyFrom(from, to);
}

void VKDropboxCloudService::movePath(const std::string& from, const std::string& to, Callback callback)
{
    auto client = createClientWithCallback(std::move(callback));
    m_clients.addRequest(client);
    client->moveFrom(from, to);
}

void VKDropboxCloudService::deletePath(const std::string& path, Callback callback)
{
    auto client = createClientWithCallback(std::move(callback));
    m_clients.addRequest(client);
    client->deletePath(path);
}

void VKDropboxCloudService::createDirectoryAtPath(const std::string& path, Callback callback)
{
    auto client = createClientWithCallback(std::move(callback));
    m_clients.addRequest(client);
    client->createFolder(path);
}

void VKDropboxCloudService::updateMetadataForResource(const Resource& resource, Callback callback)
{
    if (!resource)
        return;
    auto cloudPath = cloudPathForLocalPath(resource->path());
    if (!cloudPath)
        return;
    loadMetadata(*cloudPath, resource->cloudHash(), { std::move(callback) });
}

void VKDropboxCloudService::loadMetadata(const std::string& cloudPath, std::optional<std::string> hash,
    const std::vector<Callback>& callbacks)
{
    auto client = createClientWithCallback(nullptr);
    for (const auto& callback : callbacks)
        client->addCallback(callback);
    client->setCloudPath(cloudPath);
    m_clients.addRequest(client);
    client->loadMetadata(cloudPath, hash);
}

void VKDropboxCloudService::itemExistsAtPath(const std::string& path, Callback callback)
{
    auto client = createClientWithCallback(std::move(callback));
    client->setCloudPath(path);
    m_clients.addExistence(client);
    client->loadMetadata(path, std::nullopt);
}

bool VKDropboxCloudService::isUpdatingMetadataForResource(const Resource& resource)
{
    if (!resource)
        return false;
    auto cloudPath = cloudPathForLocalPath(resource->path());
    return cloudPath
        && m_clients.anyRequest([&](const VKDropboxClient& client) { return isLoadingMetadataForPath(client, *cloudPath); });
}

#define VK_ANY_REST_CLIENT(test)                                                                            \
    m_clients.anyRequest([&](const VKDropboxClient& client) { return test(client, cloudPath); })

bool VKDropboxCloudService::isLoadingThumbnailForPath(const std::string& cloudPath) const
{
    return VK_ANY_REST_CLIENT(::isLoadingThumbnailForPath);
}

bool VKDropboxCloudService::isCopyingPath(const std::string& cloudPath) const
{
    return VK_ANY_REST_CLIENT(::isCopyingPath);
}

bool VKDropboxCloudService::isMovingPath(const std::string& cloudPath) const
{
    return VK_ANY_REST_CLIENT(::isMovingPath);
}

bool VKDropboxCloudService::isDeletingPath(const std::string& cloudPath) const
{
    return VK_ANY_REST_CLIENT(::isDeletingPath);
}

bool VKDropboxCloudService::isCreatingFolderForPath(const std::string& cloudPath) const
{
    return VK_ANY_REST_CLIENT(::isCreatingFolderForPath);
}

#undef VK_ANY_REST_CLIENT

bool VKDropboxCloudService::isLoadingFileForPath(const std::string& cloudPath) const
{
    return std::any_of(m_fetchClients.begin(), m_fetchClients.end(), [&](const auto& fetch) {
        return fetch->restClient() && ::isLoadingFileForPath(*fetch->restClient(), cloudPath);
    });
}

std::optional<core::URLRequest> VKDropboxCloudService::streamingURLRequestForPath(const std::string& cloudPath)
{
    return m_clients.streaming().streamingURLRequestForPath(cloudPath);
}

// MARK: Uploads

std::shared_ptr<VKDropboxUploadClient> VKDropboxCloudService::uploadClientForCloudPath(const std::string& cloudPath)
{
    // By the path it was started with too: an upload whose node was just
    // deleted can still be cancelled.
    auto resource = resourceForCloudPath(cloudPath);
    for (const auto& upload : m_uploadClients) {
        if (upload->cloudPath() == cloudPath || (resource && upload->resource()->isEqual(*resource)))
            return upload;
    }
    return nullptr;
}

bool VKDropboxCloudService::isUploadingItemAtPath(const std::string& cloudPath)
{
    return uploadClientForCloudPath(cloudPath) != nullptr;
}

void VKDropboxCloudService::uploadResource(const Resource& resource, Callback callback)
{
    if (!resource || !resource->managedObject() || !resource->managedObject()->isValid())
        return;
    resource->managedObject()->setUploadState(VKNetworkStateUploading);
    for (const auto& upload : m_uploadClients) {
        if (upload->resource()->isEqual(*resource)) {
            upload->addCallback(std::move(callback));
            core::log("Warning, item is already uploading: {}", resource->description());
            return;
        }
    }
    auto upload = VKDropboxUploadClient::initWithResource(resource, *this);
    m_uploadClients.push_back(upload);
    upload->addCallback(std::move(callback));
    // A source that cannot be sent fails inside upload(), which already
    // ends the client.
    upload->upload();
}

void VKDropboxCloudService::cancelUploadOfItemAtPath(const std::string& cloudPath)
{
    auto upload = uploadClientForCloudPath(cloudPath);
    if (!upload)
        return;
    upload->cancel();
    removeUploadClient(*upload);
    invoke(upload->callbacks(), &VKCloudServiceDelegate::cloudServiceDidCancelUploadForPath, cloudPath);
}

void VKDropboxCloudService::removeUploadClient(VKDropboxUploadClient& client)
{
    dropClient(m_uploadClients, client);
}

void VKDropboxCloudService::uploadClientUploadForPathDidUpdateProgress(VKDropboxUploadClient& client,
    const std::string& path, float progress)
{
    invoke(client.callbacks(), &VKCloudServiceDelegate::cloudServiceUploadForPathDidUpdateProgress, path, progress);
}

void VKDropboxCloudService::uploadClientUploadCompletedForPath(VKDropboxUploadClient& client, const std::string& path)
{
    auto kept = client.shared_from_this();
    const auto callbacks = client.callbacks();
    removeUploadClient(client);
    if (auto resource = resourceForCloudPath(path))
        updateMetadataForResource(resource, nullptr);
    invoke(callbacks, &VKCloudServiceDelegate::cloudServiceUploadCompletedForPath, path);
}

void VKDropboxCloudService::uploadClientUploadFailedForPath(VKDropboxUploadClient& client, const std::string& path,
    const core::Error& error)
{
    core::log("uploadClient:uploadFailedForPath: {}", path);
    core::log("error: {}", error);
    auto kept = client.shared_from_this();
    const auto callbacks = client.callbacks();
    removeUploadClient(client);
    invoke(callbacks, &VKCloudServiceDelegate::cloudServiceUploadFailedForPath, path, error);
}

// MARK: Fetches

std::shared_ptr<VKDropboxFetchClient> VKDropboxCloudService::fetchClientForCloudPath(const std::string& cloudPath)
{
    auto resource = resourceForCloudPath(cloudPath);
    if (!resource)
        return nullptr;
    for (const auto& fetch : m_fetchClients) {
        if (fetch->resource()->isEqual(*resource))
            return fetch;
    }
    return nullptr;
}

bool VKDropboxCloudService::isFetchingItemAtPath(const std::string& cloudPath)
{
    return fetchClientForCloudPath(cloudPath) != nullptr;
}

void VKDropboxCloudService::fetchResource(const Resource& resource, Callback callback)
{
    if (!resource)
        return;
    for (const auto& fetch : m_fetchClients) {
        if (fetch->resource()->isEqual(*resource)) {
            fetch->addCallback(std::move(callback));
            core::log("Warning, item is already fetching: {}", resource->description());
            return;
        }
    }
    auto fetch = VKDropboxFetchClient::initWithResource(resource, *this);
    m_fetchClients.push_back(fetch);
    fetch->addCallback(std::move(callback));
    fetch->fetch();
}

void VKDropboxCloudService::cancelFetchOfItemAtPath(const std::string& cloudPath)
{
    auto fetch = fetchClientForCloudPath(cloudPath);
    if (!fetch)
        return;
    fetch->cancel();
    removeFetchClient(*fetch);
    invoke(fetch->callbacks(), &VKCloudServiceDelegate::cloudServiceDidCancelFetchForPath, cloudPath);
}

void VKDropboxCloudService::removeFetchClient(VKDropboxFetchClient& client)
{
    dropClient(m_fetchClients, client);
}

void VKDropboxCloudService::fetchClientDownloadWillStartForPath(VKDropboxFetchClient& client, const std::string& path)
{
    invoke(client.callbacks(), &VKCloudServiceDelegate::cloudServiceFetchWillStartForPath, path);
    postNotificationName(VKCloudServiceFetchWillStartDownloadNotification, path);
}

void VKDropboxCloudService::fetchClientDidUpdateProgress(VKDropboxFetchClient& client, float progress,
    const std::string& path)
{
    invoke(client.callbacks(), &VKCloudServiceDelegate::cloudServiceFetchForPathDidUpdateProgress, path, progress);
}

void VKDropboxCloudService::fetchClientFetchCompletedForPath(VKDropboxFetchClient& client, const std::string& path,
    bool usedCache)
{
    auto kept = client.shared_from_this();
    const auto callbacks = client.callbacks();
    removeFetchClient(client);
    invoke(callbacks, &VKCloudServiceDelegate::cloudServiceFetchCompletedForPath, path);
    core::NotificationCenter::defaultCenter().post(VKCloudServiceFetchDidCompleteNotification, shared_from_this(),
        { path, localPathForCloudPath(path).value_or(std::string()), std::nullopt, usedCache });
}

void VKDropboxCloudService::fetchClientFetchFailedForPath(VKDropboxFetchClient& client, const std::string& path)
{
    core::log("fetchClient: fetchFailedForPath: {}", path);
    auto kept = client.shared_from_this();
    const auto callbacks = client.callbacks();
    removeFetchClient(client);
    invoke(callbacks, &VKCloudServiceDelegate::cloudServiceFetchFailedForPath, path);
    postNotificationName(VKCloudServiceFetchFailedNotification, path);
}

// MARK: REST client answers

bool VKDropboxCloudService::respondsTo(DBRestClientCallback callback) const
{
    switch (callback) {
    case DBRestClientCallback::LoginFailedWithError:
    case DBRestClientCallback::LoadedMetadata:
    case DBRestClientCallback::MetadataUnchangedAtPath:
    case DBRestClientCallback::LoadMetadataFailedWithError:
    case DBRestClientCallback::LoadedThumbnail:
    case DBRestClientCallback::LoadThumbnailFailedWithError:
    case DBRestClientCallback::MovedPath:
    case DBRestClientCallback::MovePathFailedWithError:
    case DBRestClientCallback::CopiedPath:
    case DBRestClientCallback::CopyPathFailedWithError:
    case DBRestClientCallback::DeletedPath:
    case DBRestClientCallback::DeletePathFailedWithError:
    case DBRestClientCallback::CreatedFolder:
    case DBRestClientCallback::CreateFolderFailedWithError:
        return true;
    default:
        return false;
    }
}

void VKDropboxCloudService::loginFailedWithError(DBRestClient&, const core::Error& error)
{
    core::log("restClient:loginFailedWithError: {}", error);
}

void VKDropboxCloudService::loadedThumbnail(DBRestClient& restClient, const std::string& destinationPath)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceThumbnailFetchCompletedForPath,
        client->cloudPath(), destinationPath);
}

void VKDropboxCloudService::loadThumbnailFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    core::log("restClient loadThumbnailFailedWithError: {}", error);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceThumbnailFetchFailedForPath, client->cloudPath());
}

void VKDropboxCloudService::copiedPath(DBRestClient& restClient, const std::string& from, const std::string& to)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    m_clients.outdateListingsAround(to);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDidCopyPath, from, to);
}

void VKDropboxCloudService::copyPathFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    core::log("restClient: copyPathFailedWithError: {}", error);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceCopyFailedForPath, errorString(error, "from_path"),
        error);
}

void VKDropboxCloudService::movedPath(DBRestClient& restClient, const std::string& from, const std::string& to)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    m_clients.outdateListingsAround(from);
    m_clients.outdateListingsAround(to);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDidMovePath, from, to);
}

void VKDropboxCloudService::movePathFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    core::log("restClient: movePathFailedWithError: {}", error);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceMoveFailedForPath, errorString(error, "from_path"),
        error);
}

void VKDropboxCloudService::deletedPath(DBRestClient& restClient, const std::string& path)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    m_clients.outdateListingsAround(path);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDidDeletePath, path);
}

void VKDropboxCloudService::deletePathFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    core::log("restClient:deletePathFailedWithError: {}", error);
    const std::string path = errorString(error, "path");
    if (error.code() == 404) {
        // What the cloud no longer has is deleted as far as the caller goes.
        m_clients.outdateListingsAround(path);
        invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDidDeletePath, path);
        return;
    }
    if (auto parent = resourceForCloudPath(core::path::deletingLastPathComponent(path)))
        updateMetadataForResource(parent, nullptr);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDeleteFailedForPath, path, error);
}

void VKDropboxCloudService::createdFolder(DBRestClient& restClient, const std::shared_ptr<const DBMetadata>& folder)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    const std::string path = folder->path().value_or(std::string());
    m_clients.outdateListingsAround(path);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDidCreateDirectoryAtPath, path);
    if (auto resource = resourceForCloudPath(path))
        updateCloudResource(resource, folder);
}

void VKDropboxCloudService::createFolderFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    core::log("restClient:createFolderFailedWithError: {}", error);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceCreateDirectoryFailedForPath,
        errorString(error, "path"), error);
}

void VKDropboxCloudService::loadedMetadata(DBRestClient& restClient, const std::shared_ptr<const DBMetadata>& metadata)
{
    const bool existence = m_clients.isExistence(restClient);
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    const std::string recordPath = metadata->path().value_or(std::string());
    if (existence) {
        invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceItemAtPathExists, client->cloudPath(),
            !metadata->isDeleted());
        return;
    }
    if (client->isOutdated()) {
        // Merging it would bring back what a confirmed change removed, or
        // drop what it added, until the next refresh.
        auto resource = resourceForCloudPath(client->cloudPath());
        loadMetadata(client->cloudPath(), resource ? resource->cloudHash() : std::nullopt, client->callbacks());
        return;
    }
    auto resource = VKDropboxMirrorMerge::isSafeCloudPath(recordPath) ? resourceForCloudPath(recordPath) : nullptr;
    // A record without a node: nothing of the mirror to bring up to date.
    bool merged = !VKDropboxMirrorMerge::isSafeCloudPath(recordPath) ? false : !resource || updateCloudResource(resource, metadata);
    const std::string path = resource ? resource->cloudPath() : recordPath;
    if (merged) {
        invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceDidUpdateMetadataAtPath, path);
        postNotificationName(VKCloudServiceDidUpdateMetadataNotification, path);
    } else {
        invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceMetadataUpdateFailedForPath, path);
        postNotificationName(VKCloudServiceMetadataLoadFailedNotification, path);
    }
}

void VKDropboxCloudService::metadataUnchangedAtPath(DBRestClient& restClient, const std::string& path)
{
    const bool existence = m_clients.isExistence(restClient);
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    if (existence) {
        invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceItemAtPathExists, client->cloudPath(), true);
        return;
    }
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceMetadataUnchangedAtPath, path);
    postNotificationName(VKCloudServiceMetadataUnchangedNotification, path);
}

void VKDropboxCloudService::loadMetadataFailedWithError(DBRestClient& restClient, const core::Error& error)
{
    const bool existence = m_clients.isExistence(restClient);
    auto client = m_clients.take(restClient);
    if (!client)
        return;
    const std::string path = errorString(error, "path");
    if (existence) {
        invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceItemAtPathExists, client->cloudPath(), false);
        return;
    }
    core::log("restClient:loadMetadataFailedWithError: {}", error);
    invoke(client->callbacks(), &VKCloudServiceDelegate::cloudServiceMetadataUpdateFailedForPath, path);
    postNotificationName(VKCloudServiceMetadataLoadFailedNotification, path, error);
}

void VKDropboxCloudService::sessionDidReceiveAuthorizationFailure(DBSession&)
{
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountLoginFailedNotification, account());
}

// MARK: Local storage and unlinking

void VKDropboxCloudService::removeLocalStorage()
{
    auto uploads = std::move(m_uploadClients);
    m_uploadClients.clear();
    auto store = VKCloudFileStore::sharedStore();
    for (const auto& upload : uploads) {
        upload->cancel();
        upload->setCloudService(nullptr);
        invoke(upload->callbacks(), &VKCloudServiceDelegate::cloudServiceDidCancelUploadForPath, upload->cloudPath());
        if (store && upload->resource()->managedObject()->isValid())
            store->deleteObject(upload->resource()->managedObject());
    }
    if (store)
        store->saveContext();
    auto fetches = std::move(m_fetchClients);
    m_fetchClients.clear();
    for (const auto& fetch : fetches) {
        fetch->cancel();
        fetch->setCloudService(nullptr);
        invoke(fetch->callbacks(), &VKCloudServiceDelegate::cloudServiceDidCancelFetchForPath,
            fetch->resource()->cloudPath());
    }
    core::Error error;
    if (!moveItemAtPathToTrash(localPath(), &error)) {
        core::log("Warning, moveItemAtPathToTrash failed for cloud root: {}", core::path::abbreviatingWithTildeInPath(localPath()));
        return;
    }
    if (!core::fs::createDirectory(localPath(), true, &error))
        core::log("Warning, failed to create cloud root: {}", error);
}

void VKDropboxCloudService::unlink()
{
    m_clients.detachAll();
    removeLocalStorage();
    if (auto store = VKCloudFileStore::sharedStore()) {
        core::Error error;
        auto root = store->managedObjectForPath(localPath());
        if (root && !store->deleteObject(root, &error))
            core::log("Warning, unlink failed to delete root node: {}", error);
    }
    if (auto session = DBSession::sharedSession())
        session->unlink();
    if (m_account)
        m_account->unlink();
    postNotificationName(VKCloudServiceDidUnlinkNotification);
}
