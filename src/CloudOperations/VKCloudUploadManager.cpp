#include "CloudOperations/VKCloudUploadManager.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Predicate.h"
#include "Platform/UI/Application.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKCloudUploadManager> sharedInstance;

bool isRunningState(int32_t state)
{
    return state == VKNetworkStateConnecting || state == VKNetworkStateUploading || state == VKNetworkStateFinalizing;
}

} // namespace

std::shared_ptr<VKCloudUploadManager> VKCloudUploadManager::sharedManager()
{
    std::shared_ptr<VKCloudUploadManager> manager;
    {
        std::lock_guard lock(sharedMutex);
        if (!sharedInstance)
            sharedInstance = std::shared_ptr<VKCloudUploadManager>(new VKCloudUploadManager());
        manager = sharedInstance;
    }
    // The mirror store is made anew after it was zapped: the queue follows.
    manager->observeStore();
    return manager;
}

std::shared_ptr<VKCloudUploadManager> VKCloudUploadManager::existingManager()
{
    std::lock_guard lock(sharedMutex);
    return sharedInstance;
}

void VKCloudUploadManager::resetSharedManagerForTesting()
{
    std::shared_ptr<VKCloudUploadManager> old;
    {
        std::lock_guard lock(sharedMutex);
        old = std::move(sharedInstance);
    }
}

VKCloudUploadManager::~VKCloudUploadManager()
{
    endBackgroundTask();
}

void VKCloudUploadManager::observeStore()
{
    auto store = VKCloudFileStore::sharedStore();
    if (!store || !store->managedObjectContext() || m_observedContext.lock() == store->managedObjectContext())
        return;
    m_observedContext = store->managedObjectContext();
    std::weak_ptr<VKCloudUploadManager> weak = std::static_pointer_cast<VKCloudUploadManager>(shared_from_this());
    m_objectsDidChange = core::NotificationCenter::defaultCenter().observe(store::ContextObjectsDidChangeNotification,
        store->managedObjectContext(), [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->managedObjectsDidChange(notification);
        });
}

std::shared_ptr<VKCloudServiceDelegate> VKCloudUploadManager::callback()
{
    return std::shared_ptr<VKCloudServiceDelegate>(shared_from_this(), static_cast<VKCloudServiceDelegate*>(this));
}

core::Observation VKCloudUploadManager::observeTotalUploadProgress(std::function<void(float)> observer)
{
    return m_totalUploadProgress.observe(
        [observer = std::move(observer)](const float&, const float& progress) { observer(progress); });
}

std::vector<VKCloudUploadManager::Resource> VKCloudUploadManager::activeUploads() const
{
    std::vector<Resource> resources;
    for (const auto& upload : m_activeUploads)
        resources.push_back(upload.resource);
    return resources;
}

VKCloudUploadManager::Upload* VKCloudUploadManager::uploadForPath(const std::string& cloudPath)
{
    auto found = m_uploadsByPath.find(cloudPath);
    return found == m_uploadsByPath.end() ? nullptr : &*found->second;
}

VKCloudUploadManager::Upload* VKCloudUploadManager::checkingUploadForPath(const std::string& cloudPath)
{
    auto* upload = uploadForPath(cloudPath);
    if (!upload || !upload->resource->managedObject()->isValid()
        || upload->resource->uploadState() != VKNetworkStateChecking)
        return nullptr;
    return upload;
}

VKCloudUploadManager::Upload* VKCloudUploadManager::uploadForResource(const VKCloudFileResource& resource)
{
    // Resources are equal when they stand for the same node.
    auto found = m_uploadsByNode.find(static_cast<const core::Object*>(resource.managedObject().get()));
    return found == m_uploadsByNode.end() ? nullptr : &*found->second;
}

// MARK: Launch

void VKCloudUploadManager::initializeUploads()
{
    auto store = VKCloudFileStore::sharedStore();
    if (!store || !store->managedObjectContext())
        return;
    core::Error error;
    auto nodes = store->managedObjectContext()->fetch(
        store::Predicate::greaterThan("uploadState", core::Value(int64_t(VKNetworkStateNone))), &error);
    if (error)
        core::log("Warning, initializeUploads fetch request error: {}", error);
    for (const auto& object : nodes) {
        auto node = std::dynamic_pointer_cast<VKCloudManagedObject>(object);
        if (node && node->uploadState() != VKNetworkStateDone)
            node->setUploadState(VKNetworkStatePaused);
    }
    store->saveContext();
}

// MARK: Starting

bool VKCloudUploadManager::addResource(const Resource& resource)
{
    if (!resource || !resource->managedObject() || !resource->managedObject()->isValid())
        return false;
    // Twice the same upload would count its bytes twice and never end.
    if (uploadForResource(*resource))
        return false;
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource);
    if (!service)
        return false;
    const std::string cloudPath = resource->cloudPath();
    // One upload per path: a second node at a path that still uploads
    // waits for its turn at the service another time.
    if (uploadForPath(cloudPath))
        return false;
    const core::Object* node = resource->managedObject().get();
    auto upload = m_activeUploads.insert(m_activeUploads.end(), { resource, cloudPath, service, node });
    m_uploadsByPath.emplace(cloudPath, upload);
    m_uploadsByNode.emplace(node, upload);
    m_activeCount = static_cast<int>(m_activeUploads.size());
    int64_t bytes = static_cast<int64_t>(std::min<uint64_t>(resource->size(), std::numeric_limits<int64_t>::max()));
    if (resource->isDirectory()) {
        auto store = VKCloudFileStore::sharedStore();
        bytes = store ? store->sizeOfChildrenForManagedObject(*resource->managedObject(), true) : 0;
    }
    setBytes(upload->totalBytes, bytes, m_totalBytes);
    updateTotalUploadProgress();
    return true;
}

size_t VKCloudUploadManager::runningCount() const
{
    return std::count_if(m_startedUploads.begin(), m_startedUploads.end(), [](const Upload* upload) {
        return upload->resource->managedObject()->isValid() && isRunningState(upload->resource->uploadState());
    });
}

void VKCloudUploadManager::uploadResource(Resource resource)
{
    auto* upload = uploadForResource(*resource);
    if (!upload)
        return;
    // The entry may go inside the call (a source that cannot be sent).
    auto service = upload->service;
    if (runningCount() > 1) {
        resource->managedObject()->setUploadState(VKNetworkStateWaiting);
    } else {
        m_startedUploads.insert(upload);
        service->uploadResource(resource, callback());
    }
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
}

void VKCloudUploadManager::startUploadOfCloudResource(const Resource& resource)
{
    auto keep = shared_from_this();
    if (!addResource(resource))
        return;
    beginBackgroundTask();
    setNetworkActivityIndicatorVisible(true);
    uploadResource(resource);
    core::NotificationCenter::defaultCenter().post(VKCloudUploadManagerUploadDidStartNotification, resource);
}

void VKCloudUploadManager::resumeUploadOfCloudResource(const Resource& resource)
{
    auto keep = shared_from_this();
    if (!addResource(resource))
        return;
    beginBackgroundTask();
    setNetworkActivityIndicatorVisible(true);
    resource->managedObject()->setUploadState(VKNetworkStateChecking);
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    auto service = uploadForResource(*resource)->service;
    service->itemExistsAtPath(resource->cloudPath(), callback());
    core::NotificationCenter::defaultCenter().post(VKCloudUploadManagerUploadDidStartNotification, resource);
}

void VKCloudUploadManager::cancelUploadOfCloudResource(const Resource& resource)
{
    if (!resource)
        return;
    auto* upload = uploadForResource(*resource);
    const std::string cloudPath = upload ? upload->cloudPath : resource->cloudPath();
    auto service = upload ? upload->service : VKCloudServicesManager::sharedManager()->cloudServiceForResource(*resource);
    if (service && service->isUploadingItemAtPath(cloudPath)) {
        // Its end follows from the service's cancel callback.
        service->cancelUploadOfItemAtPath(cloudPath);
        return;
    }
    // Waiting in the queue or for the existence check: the service runs
    // nothing for it, so nothing would ever end it but this.
    if (upload)
        uploadDidEnd(cloudPath, VKNetworkStatePaused);
}

// MARK: Service answers

void VKCloudUploadManager::cloudServiceUploadForPathDidUpdateProgress(VKCloudService&, const std::string& path,
    float progress)
{
    auto* upload = uploadForPath(path);
    if (!upload)
        return;
    const double sent = static_cast<double>(upload->totalBytes) * progress;
    setBytes(upload->sentBytes,
        sent <= 0 ? 0
            : sent >= double(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                  : static_cast<int64_t>(sent),
        m_sentBytes);
    updateTotalUploadProgress();
    if (progress == 1.0f && upload->resource->managedObject()->isValid())
        upload->resource->managedObject()->setUploadState(VKNetworkStateFinalizing);
}

void VKCloudUploadManager::cloudServiceUploadCompletedForPath(VKCloudService&, const std::string& path)
{
    uploadDidEnd(path, VKNetworkStateNone);
}

void VKCloudUploadManager::cloudServiceDidCancelUploadForPath(VKCloudService&, const std::string& path)
{
    uploadDidEnd(path, VKNetworkStatePaused);
}

void VKCloudUploadManager::cloudServiceUploadFailedForPath(VKCloudService&, const std::string& path, const core::Error&)
{
    core::log("cloudService: uploadFailedForPath: {}", path);
    uploadDidEnd(path, VKNetworkStateFailed);
}

void VKCloudUploadManager::cloudServiceItemAtPathExists(VKCloudService& service, const std::string& path, bool exists)
{
    auto* upload = checkingUploadForPath(path);
    if (!upload)
        return;
    if (!exists) {
        uploadResource(upload->resource);
        return;
    }
    auto questions = VKTransferQuestions::current();
    if (!questions)
        return;
    std::weak_ptr<VKCloudUploadManager> weak = sharedAs<VKCloudUploadManager>();
    questions->askToOverwrite(upload->resource->name(), service.name(),
        [weak, path = upload->cloudPath](VKTransferAnswer answer) {
            if (auto manager = weak.lock())
                manager->overwriteQuestionAnswered(path, answer);
        });
}

void VKCloudUploadManager::overwriteQuestionAnswered(const std::string& path, VKTransferAnswer answer)
{
    auto* upload = checkingUploadForPath(path);
    if (!upload)
        return;
    // A question the system took away leaves the upload paused, as "Cancel" does.
    if (answer != VKTransferAnswer::GoOn) {
        uploadDidEnd(path, VKNetworkStatePaused);
        return;
    }
    auto service = upload->service;
    service->deletePath(path, callback());
}

void VKCloudUploadManager::cloudServiceDidDeletePath(VKCloudService&, const std::string& path)
{
    if (auto* upload = checkingUploadForPath(path))
        uploadResource(upload->resource);
}

void VKCloudUploadManager::cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& path, const core::Error&)
{
    if (checkingUploadForPath(path))
        uploadDidEnd(path, VKNetworkStateFailed);
}

// MARK: Ending

void VKCloudUploadManager::uploadDidEnd(const std::string& cloudPath, int32_t state)
{
    auto keep = shared_from_this();
    auto indexed = m_uploadsByPath.find(cloudPath);
    if (indexed == m_uploadsByPath.end())
        return;
    const auto found = indexed->second;
    const Resource resource = found->resource;
    auto node = resource->managedObject();
    const bool valid = node && node->isValid();
    // A finished upload keeps its bytes while others run, so the overall
    // bar does not fall back.
    if (valid && resource->uploadProgress() >= 1.0f) {
        setBytes(found->sentBytes, found->totalBytes, m_sentBytes);
    } else {
        setBytes(found->sentBytes, 0, m_sentBytes);
        setBytes(found->totalBytes, 0, m_totalBytes);
    }
    m_uploadsByPath.erase(indexed);
    m_uploadsByNode.erase(found->node);
    m_startedUploads.erase(&*found);
    m_activeUploads.erase(found);
    m_activeCount = static_cast<int>(m_activeUploads.size());
    updateTotalUploadProgress();
    if (valid)
        node->setUploadState(state);

    if (runningCount() < 2) {
        for (const auto& waiting : m_activeUploads) {
            if (waiting.resource->managedObject()->isValid() && waiting.resource->uploadState() == VKNetworkStateWaiting) {
                uploadResource(waiting.resource);
                break;
            }
        }
    }
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    core::NotificationCenter::defaultCenter().post(VKCloudUploadManagerUploadDidEndNotification, resource);

    if (m_activeUploads.empty()) {
        m_sentBytes = 0;
        m_totalBytes = 0;
        updateTotalUploadProgress();
        setNetworkActivityIndicatorVisible(false);
        endBackgroundTask();
    }
}

// Sets an upload's count of bytes (negative counts as none) and keeps the
// running total that holds it current.
void VKCloudUploadManager::setBytes(int64_t& slot, int64_t bytes, __int128& total)
{
    bytes = std::max<int64_t>(bytes, 0);
    total += static_cast<__int128>(bytes) - slot;
    slot = bytes;
}

void VKCloudUploadManager::updateTotalUploadProgress()
{
    m_totalUploadProgress.set(m_totalBytes <= 0 ? 0.0f : static_cast<float>(double(m_sentBytes) / double(m_totalBytes)));
}

void VKCloudUploadManager::managedObjectsDidChange(const core::Notification& notification)
{
    const auto& info = notification.userInfo();
    if (!info.isDictionary() || m_activeUploads.empty())
        return;
    auto deleted = info.dictionary().find(store::DeletedObjectsKey);
    if (deleted == info.dictionary().end() || !deleted->second.isArray())
        return;
    // Looked up by node: a save costs what it deleted, not what is queued.
    std::vector<Upload> removed;
    for (const auto& value : deleted->second.array()) {
        if (!value.isObject())
            continue;
        auto found = m_uploadsByNode.find(value.object().get());
        if (found != m_uploadsByNode.end())
            removed.push_back(*found->second);
    }
    for (const auto& upload : removed)
        cancelUploadOfCloudResource(upload.resource);
}

// MARK: Background time and the indicator

void VKCloudUploadManager::beginBackgroundTask()
{
    if (m_backgroundTaskIdentifier != core::InvalidBackgroundTask)
        return;
    std::weak_ptr<VKCloudUploadManager> weak = std::static_pointer_cast<VKCloudUploadManager>(shared_from_this());
    m_backgroundTaskIdentifier = core::beginBackgroundTask([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        for (const auto& resource : self->activeUploads())
            self->cancelUploadOfCloudResource(resource);
    });
}

void VKCloudUploadManager::endBackgroundTask()
{
    if (m_backgroundTaskIdentifier == core::InvalidBackgroundTask)
        return;
    core::endBackgroundTask(m_backgroundTaskIdentifier);
    m_backgroundTaskIdentifier = core::InvalidBackgroundTask;
}

void VKCloudUploadManager::setNetworkActivityIndicatorVisible(bool visible)
{
    if (auto application = ui::Application::shared())
        application->setNetworkActivityIndicatorVisible(visible);
}
