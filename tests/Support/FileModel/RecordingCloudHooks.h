#pragma once

#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/Observable.h"
#include "Support/FileModel/CallRecorder.h"
#include "Support/FileModel/FakeCloudFileResource.h"

#include <atomic>
#include <map>
#include <mutex>

namespace test {

// The cloud layer as the file model sees it: a mirror of resources the test
// adds, mirror deletions and saves, and thumbnail fetches that the test
// completes or fails by hand.
class RecordingCloudHooks : public VKCloudHooks, public CallRecorder {
public:
    static std::shared_ptr<RecordingCloudHooks> install();

    // Adds an item of the named service to the mirror.
    std::shared_ptr<FakeCloudFileResource> addResource(const std::string& service, const std::string& path,
        const std::string& cloudPath);

    // Ends the oldest pending thumbnail fetch through its callback.
    bool completeThumbnailFetch();
    bool failThumbnailFetch();
    size_t pendingThumbnailFetches() const;

    std::shared_ptr<VKFileResource> resourceWithPath(const std::string& path) override;
    void deleteMirrorObjectAndSave(const VKFileResource& resource) override;
    void saveContext() override;
    void fetchThumbnail(const VKFileResource& resource, const std::string& destination, int sizeCode,
        std::weak_ptr<VKCloudThumbnailCallback> callback) override;
    std::shared_ptr<VKFileResource> resourceForCloudPath(const std::string& service, const std::string& cloudPath) override;

    // The uploads the hooks report (none until set).
    void setActiveUploads(int count, float totalProgress)
    {
        m_activeUploads = count;
        m_uploadProgress.set(totalProgress);
    }
    bool hasActiveUploads() const override { return m_activeUploads > 0; }
    int activeUploadCount() const override { return m_activeUploads; }
    float totalUploadProgress() const override { return m_uploadProgress.get(); }
    core::Observation observeTotalUploadProgress(std::function<void(float)> handler) override
    {
        return m_uploadProgress.observe([handler = std::move(handler)](const float&, const float& now) { handler(now); });
    }

private:
    struct Item {
        std::string service;
        std::shared_ptr<FakeCloudFileResource> resource;
    };
    struct Fetch {
        std::string service;
        std::string cloudPath;
        std::string destination;
        std::weak_ptr<VKCloudThumbnailCallback> callback;
    };
    bool endThumbnailFetch(bool succeeded);

    mutable std::mutex m_mutex;
    std::map<std::string, Item> m_items;
    std::vector<Fetch> m_fetches;
    std::atomic<int> m_activeUploads { 0 };
    core::Observable<float> m_uploadProgress { 0 };
};

} // namespace test
