#pragma once

#include "Kit/VKHookSlot.h"
#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <string>

class VKFileResource;

// Posted by the cloud layer's upload manager, without an object, as uploads
// start and end.
inline constexpr const char* VKCloudUploadManagerUploadDidStartNotification =
    "VKCloudUploadManagerUploadDidStartNotification";
inline constexpr const char* VKCloudUploadManagerUploadDidEndNotification =
    "VKCloudUploadManagerUploadDidEndNotification";

// Told on the main thread how a cloud thumbnail fetch ended.
class VKCloudThumbnailCallback {
public:
    virtual ~VKCloudThumbnailCallback() = default;
    virtual void thumbnailFetchCompleted(const std::string& service, const std::string& cloudPath,
        const std::string& destination) = 0;
    virtual void thumbnailFetchFailed(const std::string& service, const std::string& cloudPath) = 0;
};

// What the file model uses of the cloud storage layer, which sits above it:
// the resources of the cloud mirror under the servers folder, their mirror
// objects and their thumbnails. The application wires them in at start-up;
// without them the servers folder holds plain local resources.
class VKCloudHooks : public VKHookSlot<VKCloudHooks> {
public:
    virtual ~VKCloudHooks() = default;

    // The cloud resource of an item in the mirror, or null when the mirror
    // has no such item.
    virtual std::shared_ptr<VKFileResource> resourceWithPath(const std::string& path) = 0;
    // Deletes the resource's mirror object from the calling thread's store
    // and saves that store.
    virtual void deleteMirrorObjectAndSave(const VKFileResource& resource) = 0;
    // Saves what is pending in the shared mirror store.
    virtual void saveContext() = 0;
    // Has the resource's cloud service fetch its thumbnail into
    // `destination` (size code 0: the service's default); the callback hears
    // later, on the main thread.
    virtual void fetchThumbnail(const VKFileResource& resource, const std::string& destination, int sizeCode,
        std::weak_ptr<VKCloudThumbnailCallback> callback) = 0;
    // The resource of a cloud path of the named service, or null.
    virtual std::shared_ptr<VKFileResource> resourceForCloudPath(const std::string& service,
        const std::string& cloudPath) = 0;

    // The uploads to cloud services in progress (any thread): none unless
    // the cloud layer says otherwise. The total progress is 0 to 1 over all
    // of them.
    virtual bool hasActiveUploads() const { return false; }
    virtual int activeUploadCount() const { return 0; }
    virtual float totalUploadProgress() const { return 0; }
    // Calls `handler` with the new total each time it changes, on the
    // thread that changed it (the main thread); nothing without uploads.
    virtual core::Observation observeTotalUploadProgress(std::function<void(float)> handler)
    {
        (void)handler;
        return {};
    }
};
