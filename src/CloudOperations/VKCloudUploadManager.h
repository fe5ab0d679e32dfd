#pragma once

#include "Cloud/VKCloudServiceDelegate.h"
// The start and end notifications (object: the resource) are declared there.
#include "FileModel/VKCloudHooks.h"
#include "Downloads/VKTransferQuestions.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observable.h"
#include "Platform/Core/Observation.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class VKCloudFileResource;

namespace core {
class Notification;
}
namespace store {
class Context;
}

// The queue of single cloud uploads started outside an upload operation:
// imported media and uploads resumed or cancelled from their rows. Every
// upload is a mirror node whose upload state survives a restart, so the
// queue itself keeps only what runs now and the byte counts of the overall
// progress. At most two uploads run; an item that already exists on the
// service is overwritten only when the person agrees. Background time is
// held while any upload is active. Every step costs the same however many
// uploads wait: uploads are found by path and by node, and the overall
// progress is kept as running byte totals. Main thread only, but for the
// three questions about active uploads, which any thread may ask.
class VKCloudUploadManager : public core::Object, public VKCloudServiceDelegate {
public:
    using Resource = std::shared_ptr<VKCloudFileResource>;

    // Made on first use, on the main thread.
    static std::shared_ptr<VKCloudUploadManager> sharedManager();
    // The shared manager when one was made, else none; any thread.
    static std::shared_ptr<VKCloudUploadManager> existingManager();
    // Forgets the shared manager (tests: a new run on the same home).
    static void resetSharedManagerForTesting();
    ~VKCloudUploadManager() override;

    // At launch: every upload a previous run left pending, running or
    // failed becomes paused, and the mirror is saved.
    void initializeUploads();
    void startUploadOfCloudResource(const Resource& resource);
    // Asks the service first whether the item exists there by now.
    void resumeUploadOfCloudResource(const Resource& resource);
    void cancelUploadOfCloudResource(const Resource& resource);

    bool hasActiveUploads() const { return m_activeCount.load() > 0; }
    int activeUploadCount() const { return m_activeCount.load(); }
    // Bytes sent over bytes to send, of the uploads that are active (and of
    // those that ended full while others still run); 0 with none.
    float totalUploadProgress() const { return m_totalUploadProgress.get(); }
    core::Observation observeTotalUploadProgress(std::function<void(float)> observer);
    std::vector<Resource> activeUploads() const;

    void cloudServiceUploadForPathDidUpdateProgress(VKCloudService&, const std::string& path, float progress) override;
    void cloudServiceUploadCompletedForPath(VKCloudService&, const std::string& path) override;
    void cloudServiceDidCancelUploadForPath(VKCloudService&, const std::string& path) override;
    void cloudServiceUploadFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override;
    void cloudServiceItemAtPathExists(VKCloudService&, const std::string& path, bool exists) override;
    void cloudServiceDidDeletePath(VKCloudService&, const std::string& path) override;
    void cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& path, const core::Error& error) override;

private:
    struct Upload {
        Resource resource;
        // Kept, since a node deleted meanwhile has no path (and so no
        // service) any more.
        std::string cloudPath;
        std::shared_ptr<VKCloudService> service;
        // The node it was found by.
        const core::Object* node = nullptr;
        // Its share of the overall progress: bytes to send and sent.
        int64_t totalBytes = 0;
        int64_t sentBytes = 0;
    };
    using Uploads = std::list<Upload>;

    VKCloudUploadManager() = default;
    void observeStore();
    std::shared_ptr<VKCloudServiceDelegate> callback();
    Upload* uploadForPath(const std::string& cloudPath);
    Upload* uploadForResource(const VKCloudFileResource& resource);
    // The upload of the path while it waits for the existence check (state
    // 1): the only time the check's and the overwrite's answers count.
    Upload* checkingUploadForPath(const std::string& cloudPath);
    bool addResource(const Resource& resource);
    // By value: the caller's may live in the set, which the call can change.
    void uploadResource(Resource resource);
    size_t runningCount() const;
    void uploadDidEnd(const std::string& cloudPath, int32_t state);
    void overwriteQuestionAnswered(const std::string& cloudPath, VKTransferAnswer answer);
    void setBytes(int64_t& slot, int64_t bytes, __int128& total);
    void updateTotalUploadProgress();
    void beginBackgroundTask();
    void endBackgroundTask();
    void managedObjectsDidChange(const core::Notification& notification);
    void setNetworkActivityIndicatorVisible(bool visible);

    // In the order they came; waiting ones start in that order.
    Uploads m_activeUploads;
    std::unordered_map<std::string, Uploads::iterator> m_uploadsByPath;
    std::unordered_map<const core::Object*, Uploads::iterator> m_uploadsByNode;
    // The uploads handed to the service, the only ones that can be running.
    std::unordered_set<const Upload*> m_startedUploads;
    // The overall progress's bytes, of the active uploads and of those
    // that ended full while others still run (so the bar does not fall
    // back); wide enough never to overflow.
    __int128 m_totalBytes = 0;
    __int128 m_sentBytes = 0;
    core::BackgroundTaskId m_backgroundTaskIdentifier = core::InvalidBackgroundTask;
    std::atomic<int> m_activeCount { 0 };
    core::Observable<float> m_totalUploadProgress { 0.0f };
    core::Observation m_objectsDidChange;
    std::weak_ptr<store::Context> m_observedContext;
};
