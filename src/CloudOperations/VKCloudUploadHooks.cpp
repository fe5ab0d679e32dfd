#include "CloudOperations/VKCloudUploadHooks.h"

#include "CloudOperations/VKCloudUploadManager.h"

// Any thread may ask; a queue not made yet has nothing running.

bool VKCloudUploadHooks::hasActiveUploads() const
{
    auto manager = VKCloudUploadManager::existingManager();
    return manager && manager->hasActiveUploads();
}

int VKCloudUploadHooks::activeUploadCount() const
{
    auto manager = VKCloudUploadManager::existingManager();
    return manager ? manager->activeUploadCount() : 0;
}

float VKCloudUploadHooks::totalUploadProgress() const
{
    auto manager = VKCloudUploadManager::existingManager();
    return manager ? manager->totalUploadProgress() : 0;
}

core::Observation VKCloudUploadHooks::observeTotalUploadProgress(std::function<void(float)> handler)
{
    return VKCloudUploadManager::sharedManager()->observeTotalUploadProgress(std::move(handler));
}
