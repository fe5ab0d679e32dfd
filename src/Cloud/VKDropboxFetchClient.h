#pragma once

#include "DropboxSDK/DBRestClientDelegate.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class DBMetadata;
class DBRestClient;
class VKCloudFileResource;
class VKCloudServiceDelegate;
class VKDropboxCloudService;
class VKDropboxFetchClient;

// What a fetch client reports to the service that runs it. Every report
// names the fetched resource's cloud path, never a child's.
class VKDropboxFetchClientDelegate {
public:
    virtual ~VKDropboxFetchClientDelegate() = default;
    // At least one file really has to be downloaded.
    virtual void fetchClientDownloadWillStartForPath(VKDropboxFetchClient&, const std::string& path) = 0;
    virtual void fetchClientDidUpdateProgress(VKDropboxFetchClient&, float progress, const std::string& path) = 0;
    // Everything is present locally; `usedCache` when nothing was downloaded.
    virtual void fetchClientFetchCompletedForPath(VKDropboxFetchClient&, const std::string& path, bool usedCache) = 0;
    virtual void fetchClientFetchFailedForPath(VKDropboxFetchClient&, const std::string& path) = 0;
};

// Brings one cloud resource (a file, or a folder with everything below it)
// into the mirror: asks for the metadata of each folder, merges it, keeps
// the stored copies whose revision and size still match, and downloads the
// rest all at once on one REST client, reporting one progress figure for the
// whole resource. Downloads start only when every folder's listing is in.
// Main thread only.
class VKDropboxFetchClient : public core::Object, public DBRestClientDelegate {
public:
    using Callback = std::shared_ptr<VKCloudServiceDelegate>;

    static std::shared_ptr<VKDropboxFetchClient> initWithResource(std::shared_ptr<VKCloudFileResource> resource,
        VKDropboxCloudService& cloudService);
    ~VKDropboxFetchClient() override;

    // Starts, or starts again from scratch.
    void fetch();
    // Drops the REST client and with it every request; nothing is reported.
    void cancel();
    bool hasFetchCompleted() const;

    void addCallback(Callback callback);
    const std::vector<Callback>& callbacks() const { return m_callbacks; }
    const std::shared_ptr<VKCloudFileResource>& resource() const { return m_resource; }
    // The REST client of the running fetch; none before fetch and after cancel.
    const std::shared_ptr<DBRestClient>& restClient() const { return m_restClient; }
    // The service that runs it; cleared when the service lets it go.
    void setCloudService(VKDropboxCloudService* service) { m_cloudService = service; }

    bool respondsTo(DBRestClientCallback callback) const override;
    void loadedMetadata(DBRestClient&, const std::shared_ptr<const DBMetadata>& metadata) override;
    void metadataUnchangedAtPath(DBRestClient&, const std::string& path) override;
    void loadMetadataFailedWithError(DBRestClient&, const core::Error& error) override;
    void loadedFile(DBRestClient&, const std::string& destinationPath) override;
    void loadProgress(DBRestClient&, float progress, const std::string& destinationPath) override;
    void loadFileFailedWithError(DBRestClient&, const core::Error& error) override;

private:
    VKDropboxFetchClient(std::shared_ptr<VKCloudFileResource> resource, VKDropboxCloudService& cloudService);

    void loadMetadataForResource(const VKCloudFileResource& resource);
    void loadResource(const VKCloudFileResource& resource);
    void metadataDidUpdate(const std::shared_ptr<const DBMetadata>& metadata, const std::string& cloudPath);
    void fileMetadataDidUpdate(const std::shared_ptr<const DBMetadata>& metadata);
    void directoryMetadataDidUpdate(const std::shared_ptr<const DBMetadata>& metadata, const std::string& cloudPath);
    void reportFailed();
    void reportCompleted(bool usedCache);
    void detachRestClient();
    uint64_t loadedByteSum() const;

    std::shared_ptr<DBRestClient> m_restClient;
    std::shared_ptr<VKCloudFileResource> m_resource;
    VKDropboxCloudService* m_cloudService;
    std::vector<Callback> m_callbacks;
    // Files of a folder fetch whose download has not started, by local path.
    std::map<std::string, std::shared_ptr<VKCloudFileResource>> m_childrenToLoad;
    uint64_t m_totalBytesToLoad = 0;
    // Node ID of each file of a folder fetch -> bytes of it present.
    std::map<int64_t, uint64_t> m_loadedBytes;
    uint32_t m_metadataRequestCount = 0;
    uint32_t m_loadRequestCount = 0;
};
