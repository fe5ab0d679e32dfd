#pragma once

#include "FileModel/VKCloudHooks.h"

// The cloud layer's answers to the file model, wired in at start-up: items
// under the servers folder are cloud resources of the calling thread's
// mirror store, a removed item loses its node, a file operation's end saves
// the shared store, and thumbnails of cloud items come from their service.
class VKCloudFileModelHooks : public VKCloudHooks {
public:
    std::shared_ptr<VKFileResource> resourceWithPath(const std::string& path) override;
    void deleteMirrorObjectAndSave(const VKFileResource& resource) override;
    void saveContext() override;
    void fetchThumbnail(const VKFileResource& resource, const std::string& destination, int sizeCode,
        std::weak_ptr<VKCloudThumbnailCallback> callback) override;
    std::shared_ptr<VKFileResource> resourceForCloudPath(const std::string& service, const std::string& cloudPath) override;
};
