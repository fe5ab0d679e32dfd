#include "Cloud/Operations/VKCloudUploadManager.h"

#include "App/Shell/Interface/VKAlertView.h"
#include "App/Shell/VKApplication.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Predicate.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <unordered_set>

namespace {

std::mutex sharedMutex;
std::shared_ptr<VKCloudUploadManager> sharedInstance;

bool isRunningState(int32_t state)
{
    return state == VKNetworkStateConnecting || state == VKNetworkStateUploading || state == VKNetworkStateFinalizing;
}

int64_t saturatingSum(const std::map<std::string, int64_t>& bytes)
{
    int64_t sum = 0;
    for (const auto& [path, count] : bytes) {
        if (count > 0)
            sum = count > std::numeric_limits<int64_t>::max() - sum ? std::numeric_limits<int64_t>::max() : sum + count;
    }
    return sum;
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
    for (auto& upload : m_activeUploads) {
        if (upload.cloudPath == cloudPath)
            return &upload;
    }
    return nullptr;
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
    for (auto& upload : m_activeUploads) {
        if (upload.resource->isEqual(resource))
            return &upload;
    }
    return nullptr;
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
    m_activeUploads.push_back({ resource, resource->cloudPath(), service });
    m_activeCount = static_cast<int>(m_activeUploads.size());
    int64_t bytes = static_cast<int64_t>(std::min<uint64_t>(resource->size(), std::numeric_limits<int64_t>::max()));
    if (resource->isDirectory()) {
        auto store = VKCloudFileStore::sharedStore();
        bytes = store ? store->sizeOfChildrenForManagedObject(*resource->managedObject(), true) : 0;
    }
    m_totalActiveBytes[resource->cloudPath()] = bytes;
    updateTotalUploadProgress();
    return true;
}

size_t VKCloudUploadManager::runningCount() const
{
    return std::count_if(m_activeUploads.begin(), m_activeUploads.end(), [](const Upload& upload) {
        return upload.resource->managedObject()->isValid() && isRunningState(upload.resource->uploadState());
    });
}

void VKCloudUploadManager::uploadResource(Resource resource)
{
    auto* upload = uploadForResource(*resource);
    if (!upload)
        return;
    // The entry may go inside the call (a source that cannot be sent).
    auto service = upload->service;
    if (runningCount() > 1)
        resource->managedObject()->setUploadState(VKNetworkStateWaiting);
    else
        service->uploadResource(resource, callback());
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
    const double sent = static_cast<double>(m_totalActiveBytes[path]) * progress;
    m_uploadedBytes[path] = sent <= 0 ? 0
        : sent >= double(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                              : static_cast<int64_t>(sent);
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
    auto alert = VKAlertView::create(core::localized("Upload Warning"),
        fmt::format("\"{}\" already exists on {}.\nOverwrite this item?", upload->resource->name(), service.name()),
        std::static_pointer_cast<ui::AlertViewDelegate>(
            std::shared_ptr<ui::AlertViewDelegate>(shared_from_this(), static_cast<ui::AlertViewDelegate*>(this))),
        core::localized("Cancel"), { core::localized("Overwrite?") });
    alert->setUserInfo(core::Value(upload->cloudPath));
    m_alerts.push_back(alert);
    alert->show();
}

void VKCloudUploadManager::clickedButton(ui::AlertView& alert, int index)
{
    auto* vkAlert = dynamic_cast<VKAlertView*>(&alert);
    auto found = std::find_if(m_alerts.begin(), m_alerts.end(), [&](const auto& shown) { return shown.get() == &alert; });
    if (!vkAlert || found == m_alerts.end())
        return;
    auto keep = *found;
    m_alerts.erase(found);
    const std::string path = vkAlert->userInfo().isString() ? vkAlert->userInfo().string() : std::string();
    auto* upload = checkingUploadForPath(path);
    if (!upload)
        return;
    if (index == alert.cancelButtonIndex()) {
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
    auto found = std::find_if(m_activeUploads.begin(), m_activeUploads.end(),
        [&](const Upload& upload) { return upload.cloudPath == cloudPath; });
    if (found == m_activeUploads.end())
        return;
    const Resource resource = found->resource;
    m_activeUploads.erase(found);
    m_activeCount = static_cast<int>(m_activeUploads.size());

    auto node = resource->managedObject();
    const bool valid = node && node->isValid();
    // A finished upload keeps its bytes while others run, so the overall
    // bar does not fall back.
    if (valid && resource->uploadProgress() >= 1.0f) {
        m_uploadedBytes[cloudPath] = m_totalActiveBytes[cloudPath];
    } else {
        m_uploadedBytes.erase(cloudPath);
        m_totalActiveBytes.erase(cloudPath);
    }
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
        m_uploadedBytes.clear();
        m_totalActiveBytes.clear();
        updateTotalUploadProgress();
        setNetworkActivityIndicatorVisible(false);
        endBackgroundTask();
    }
}

void VKCloudUploadManager::updateTotalUploadProgress()
{
    const int64_t total = saturatingSum(m_totalActiveBytes);
    m_totalUploadProgress.set(total == 0 ? 0.0f
                                         : static_cast<float>(double(saturatingSum(m_uploadedBytes)) / double(total)));
}

void VKCloudUploadManager::managedObjectsDidChange(const core::Notification& notification)
{
    const auto& info = notification.userInfo();
    if (!info.isDictionary() || m_activeUploads.empty())
        return;
    auto deleted = info.dictionary().find(store::DeletedObjectsKey);
    if (deleted == info.dictionary().end() || !deleted->second.isArray())
        return;
    std::unordered_set<const core::Object*> gone;
    for (const auto& value : deleted->second.array()) {
        if (value.isObject())
            gone.insert(value.object().get());
    }
    std::vector<Upload> removed;
    for (const auto& upload : m_activeUploads) {
        if (gone.count(upload.resource->managedObject().get()))
            removed.push_back(upload);
    }
    for (const auto& upload : removed) {
        core::log("Removing deleted upload: {}", upload.cloudPath);
        cancelUploadOfCloudResource(upload.resource);
    }
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
