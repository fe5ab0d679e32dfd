#include "Cloud/VKCloudFileModelHooks.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServiceDelegate.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Platform/Core/Log.h"

namespace {

// Hands a service's thumbnail answer to the file model's callback, with the
// service's key.
class ThumbnailForwarder : public VKCloudServiceDelegate {
public:
    explicit ThumbnailForwarder(std::weak_ptr<VKCloudThumbnailCallback> callback) : m_callback(std::move(callback)) { }

    void cloudServiceThumbnailFetchCompletedForPath(VKCloudService& service, const std::string& path,
        const std::string& destination) override
    {
        if (auto callback = m_callback.lock())
            callback->thumbnailFetchCompleted(service.name(), path, destination);
    }
    void cloudServiceThumbnailFetchFailedForPath(VKCloudService& service, const std::string& path) override
    {
        if (auto callback = m_callback.lock())
            callback->thumbnailFetchFailed(service.name(), path);
    }

private:
    std::weak_ptr<VKCloudThumbnailCallback> m_callback;
};

} // namespace

std::shared_ptr<VKFileResource> VKCloudFileModelHooks::resourceWithPath(const std::string& path)
{
    return VKCloudFileResource::resourceWithPath(path);
}

void VKCloudFileModelHooks::deleteMirrorObjectAndSave(const VKFileResource& resource)
{
    const auto* cloud = dynamic_cast<const VKCloudFileResource*>(&resource);
    auto store = VKCloudFileStore::storeForCurrentThread();
    if (!cloud || !store)
        return;
    if (store->deleteObject(cloud->managedObject()))
        store->saveContext();
}

void VKCloudFileModelHooks::saveContext()
{
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
}

void VKCloudFileModelHooks::fetchThumbnail(const VKFileResource& resource, const std::string& destination, int sizeCode,
    std::weak_ptr<VKCloudThumbnailCallback> callback)
{
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(resource);
    if (!service) {
        core::log("Warning, no cloud service for thumbnail of {}", resource.description());
        return;
    }
    service->fetchThumbnailForItemAtPath(resource.cloudPath(), destination, sizeCode,
        std::make_shared<ThumbnailForwarder>(std::move(callback)));
}

std::shared_ptr<VKFileResource> VKCloudFileModelHooks::resourceForCloudPath(const std::string& service,
    const std::string& cloudPath)
{
    auto cloudService = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(service);
    return cloudService ? cloudService->resourceForCloudPath(cloudPath) : nullptr;
}
