#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class VKCloudFileResource;
class VKCloudServiceAccount;
class VKCloudServiceDelegate;

namespace core {
class URLRequest;
}

// What a service's notice says of an item: its cloud path and local path
// (empty when none was given), the error of a failure that has one, and for
// a fetch whether the local copy was already current.
struct VKCloudServiceNews {
    std::string cloudPath;
    std::string localPath;
    std::optional<core::Error> error;
    bool cacheValid = false;
};

// Posted by a service on the main thread (object: the service).
inline constexpr core::NoticeName<VKCloudServiceNews> VKCloudServiceFetchWillStartDownloadNotification { "VKCloudServiceFetchWillStartDownloadNotification" };
inline constexpr core::NoticeName<VKCloudServiceNews> VKCloudServiceFetchDidCompleteNotification { "VKCloudServiceFetchDidCompleteNotification" };
inline constexpr core::NoticeName<VKCloudServiceNews> VKCloudServiceFetchFailedNotification { "VKCloudServiceFetchFailedNotification" };
inline constexpr core::NoticeName<VKCloudServiceNews> VKCloudServiceDidUpdateMetadataNotification { "VKCloudServiceDidUpdateMetadataNotification" };
inline constexpr core::NoticeName<VKCloudServiceNews> VKCloudServiceMetadataUnchangedNotification { "VKCloudServiceMetadataUnchangedNotification" };
inline constexpr core::NoticeName<VKCloudServiceNews> VKCloudServiceMetadataLoadFailedNotification { "VKCloudServiceMetadataLoadFailedNotification" };
// After unlinking; no news.
inline constexpr const char* VKCloudServiceDidUnlinkNotification = "VKCloudServiceDidUnlinkNotification";

// The news of a service's notice, for handlers that take the notice itself
// (empty when it was posted without).
inline const VKCloudServiceNews& cloudServiceNews(const core::Notification& notification)
{
    static const VKCloudServiceNews none;
    const auto* news = notification.payload<VKCloudServiceNews>();
    return news ? *news : none;
}

// What the application asks of a cloud service, whatever service it is.
// Each service mirrors its cloud tree below its own folder in the servers
// folder and names items by cloud path: "/" followed by the part of the
// local path below that folder ("/" is the service's root). Everything runs
// on the main thread; results reach the callback objects (which the service
// holds until the operation ends) and, for fetches and metadata, the
// notifications above.
class VKCloudService : public core::Object {
public:
    using Callback = std::shared_ptr<VKCloudServiceDelegate>;
    using Resource = std::shared_ptr<VKCloudFileResource>;

    // The key the service is registered under.
    virtual std::string name() const = 0;
    // The service's folder in the servers folder.
    virtual std::string localPath() const = 0;
    virtual std::shared_ptr<VKCloudServiceAccount> account() = 0;
    // The largest file the service takes.
    virtual uint64_t uploadSizeLimit() const = 0;
    virtual bool isCaseSensitive() const = 0;
    // Bytes the local mirror uses on disk.
    virtual int64_t localUsedBytes() const = 0;
    // Cancels transfers and empties the local folder.
    virtual void removeLocalStorage() = 0;

    // `sizeFlag` nonzero: the medium size, else the large one.
    virtual void fetchThumbnailForItemAtPath(const std::string& cloudPath, const std::string& destination, int sizeFlag,
        Callback callback) = 0;
    virtual void cancelUploadOfItemAtPath(const std::string& cloudPath) = 0;
    virtual bool isUploadingItemAtPath(const std::string& cloudPath) = 0;
    // Starts the upload, or adds the callback to the running one.
    virtual void uploadResource(const Resource& resource, Callback callback) = 0;
    // A signed request that streams the file's content.
    virtual std::optional<core::URLRequest> streamingURLRequestForPath(const std::string& cloudPath) = 0;
    virtual bool isFetchingItemAtPath(const std::string& cloudPath) = 0;
    virtual void cancelFetchOfItemAtPath(const std::string& cloudPath) = 0;
    // Brings the item (a file, or a folder with its documents) into the
    // mirror, or adds the callback to the running fetch.
    virtual void fetchResource(const Resource& resource, Callback callback) = 0;
    virtual void copyPath(const std::string& from, const std::string& to, Callback callback) = 0;
    virtual void movePath(const std::string& from, const std::string& to, Callback callback) = 0;
    virtual void deletePath(const std::string& path, Callback callback) = 0;
    virtual void createDirectoryAtPath(const std::string& path, Callback callback) = 0;
    virtual void itemExistsAtPath(const std::string& path, Callback callback) = 0;
    virtual bool isUpdatingMetadataForResource(const Resource& resource) = 0;
    // Reloads the item's listing and merges it into the mirror.
    virtual void updateMetadataForResource(const Resource& resource, Callback callback) = 0;
    // The mirror node of the path in the calling thread's store, wrapped.
    virtual Resource resourceForCloudPath(const std::string& cloudPath) = 0;
    // Forgets the account and the local mirror, then posts
    // VKCloudServiceDidUnlinkNotification.
    virtual void unlink() = 0;
    virtual bool isLinked() = 0;
};
