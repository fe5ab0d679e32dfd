#pragma once

#include "Cloud/VKNetworkState.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/ObserverList.h"
#include "Platform/Core/URLRequest.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class VKCloudFileResource;

inline constexpr const char* VKDownloadFileResourceInfoExtension = "info";

// One download, web or cloud, from the moment it is queued until its file is
// in place. Its path is where the finished file will land, so a folder
// listing shows the unfinished download as a row among the folder's files.
//
// A web item keeps its partial data in <downloads>/<UUID> and a cloud item in
// its service's mirror. A state file, <downloads>/<UUID>.info (an XML
// property list), lets a paused download outlive the process.
//
// Items live on the main thread; only the paths are read by the copy thread
// of a cloud download. Observers (observeValueForKey) hear "downloadState",
// "downloadProgress" (also on changes of "size" and "expectedSize"),
// "expectedSize", "downloadError" and "path".
class VKDownloadFileResource : public VKFileResource {
public:
    struct Private { };
    VKDownloadFileResource(const Private&, std::string path, std::string uuid);

    // A new web item: the request's suggested name made unique in the folder
    // among its files and pending downloads. Null for a request without URL.
    static std::shared_ptr<VKDownloadFileResource> createWithRequest(const core::URLRequest& request,
        const std::string& targetFolder);
    // A new cloud item for the cloud resource; null when no registered
    // service owns it.
    static std::shared_ptr<VKDownloadFileResource> createWithCloudFileResource(const VKCloudFileResource& resource,
        const std::string& targetFolder);
    // Restores an item from its state file (paused); null, logged, for one
    // that cannot be read or names no request nor a known service.
    static std::shared_ptr<VKDownloadFileResource> createWithExistingUUID(const std::string& uuid);

    const std::string& downloadUUID() const { return m_uuid; }
    bool isWebDownload() const { return m_request.has_value(); }
    bool isCloudDownload() const { return !m_cloudServiceName.empty(); }

    const std::optional<core::URLRequest>& urlRequest() const { return m_request; }
    const std::optional<core::HTTPURLResponse>& urlResponse() const { return m_response; }
    void setURLResponse(std::optional<core::HTTPURLResponse> response) { m_response = std::move(response); }
    const std::string& cloudServiceName() const { return m_cloudServiceName; }
    std::string cloudPath() const override { return m_cloudPath; }

    int64_t expectedSize() const { return m_expectedSize; }
    void setExpectedSize(int64_t size);
    // The person let it past the quota question: it is not asked again,
    // after a resume or a relaunch (saved as "QuotaAllowed").
    bool isAllowedPastQuota() const { return m_allowedPastQuota; }
    void allowPastQuota();
    VKNetworkState downloadState() const { return m_state; }
    void setDownloadState(VKNetworkState state);
    const std::optional<core::Error>& downloadError() const { return m_error; }
    void setDownloadError(std::optional<core::Error> error);
    float downloadProgress() const { return m_progress; }
    void setDownloadProgress(float progress);

    // <downloads>/<UUID>.info.
    std::string downloadInfoPath() const;
    // Web: <downloads>/<UUID>; cloud: the item's place in its service's mirror.
    std::string downloadPath() const;
    // The target's folder.
    std::string targetFolder() const;

    // Writes the state file atomically over the old one; a failure is logged
    // and the item goes on in memory.
    void saveState();
    // Moves the target to a free path derived from `path`; the state file
    // follows unless the download is done.
    void updatePath(const std::string& path);
    // The item's state file and partial data removed (errors ignored).
    void removeStateFile() const;

    bool isActive() const;
    bool isDownloadResource() const override { return true; }
    bool exists() const override { return true; }
    bool isDirectory() const override;
    // While downloading, expected size × progress; otherwise the partial
    // data on disk.
    uint64_t size() const override;
    uint64_t localSize() const override { return size(); }
    int32_t supportedFileOperations() const override;
    std::optional<std::string> localizedDescriptionForUnsupportedFileOperation(int32_t operation) const override;
    std::string UUID() const override { return m_uuid; }
    std::string existingUUID() const override { return m_uuid; }
    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;
    std::string description() const override;
    core::Observation observeValueForKey(std::string_view key, std::function<void()> handler) override;

private:
    void didChange(std::string_view key);

    std::string m_uuid;
    std::optional<core::URLRequest> m_request;
    std::optional<core::HTTPURLResponse> m_response;
    std::string m_cloudPath;
    std::string m_cloudServiceName;
    int64_t m_expectedSize = 0;
    bool m_allowedPastQuota = false;
    VKNetworkState m_state = VKNetworkStateNone;
    std::optional<core::Error> m_error;
    float m_progress = 0;
    std::map<std::string, core::ObserverList<>, std::less<>> m_observers;
};

// A free target path for a new download at `path`: free on disk, and its
// name (caselessly) unlike those of the pending downloads into that folder.
std::string VKUniquePathForDownloadPath(const std::string& path);
// Whether any item's name equals `name`, ignoring case.
bool VKDownloadNameMatchesDownloads(const std::string& name,
    const std::vector<std::shared_ptr<VKFileResource>>& downloads);
