#pragma once

#include "DropboxSDK/DBRestClientDelegate.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class VKCloudFileResource;
class VKCloudServiceDelegate;
class VKDropboxCloudService;
class VKDropboxUploadClient;
class VKUploadClient;

// What an upload client reports to the service that runs it; paths are the
// uploaded resource's cloud path.
class VKDropboxUploadClientDelegate {
public:
    virtual ~VKDropboxUploadClientDelegate() = default;
    virtual void uploadClientUploadForPathDidUpdateProgress(VKDropboxUploadClient&, const std::string& path,
        float progress) = 0;
    virtual void uploadClientUploadCompletedForPath(VKDropboxUploadClient&, const std::string& path) = 0;
    virtual void uploadClientUploadFailedForPath(VKDropboxUploadClient&, const std::string& path,
        const core::Error& error) = 0;
};

// Uploads one staged cloud resource, a file or a folder with everything
// below it, from its mirror copy. A folder goes folder by folder: the
// folder is created on the service, then its files are sent (at most two at
// once), and only then is the next folder created, so a parent always
// exists before its children arrive. Each folder has a REST client of its
// own. The first failure ends the whole upload; files already sent stay.
// Main thread only.
class VKDropboxUploadClient : public core::Object, public DBRestClientDelegate {
public:
    using Callback = std::shared_ptr<VKCloudServiceDelegate>;

    static std::shared_ptr<VKDropboxUploadClient> initWithResource(std::shared_ptr<VKCloudFileResource> resource,
        VKDropboxCloudService& cloudService);
    ~VKDropboxUploadClient() override;

    void upload();
    // Lets every REST client go (their requests with them); nothing is
    // reported.
    void cancel();

    void addCallback(Callback callback);
    const std::vector<Callback>& callbacks() const { return m_callbacks; }
    const std::shared_ptr<VKCloudFileResource>& resource() const { return m_resource; }
    // The resource's cloud path when the upload was made: what every report
    // names, even once the node is gone.
    const std::string& cloudPath() const { return m_cloudPath; }
    // The clients of folders not yet finished: the one being uploaded and
    // those waiting for their turn.
    const std::vector<std::shared_ptr<VKUploadClient>>& restClients() const { return m_restClients; }
    // The service that runs it; cleared when the service lets it go.
    void setCloudService(VKDropboxCloudService* service) { m_cloudService = service; }

    bool respondsTo(DBRestClientCallback callback) const override;
    void createdFolder(DBRestClient&, const std::shared_ptr<const DBMetadata>& folder) override;
    void createFolderFailedWithError(DBRestClient&, const core::Error& error) override;
    void uploadedFile(DBRestClient&, const std::string& destinationPath, const std::string& sourcePath) override;
    void uploadProgress(DBRestClient&, float progress, const std::string& destinationPath,
        const std::string& sourcePath) override;
    void uploadFileFailedWithError(DBRestClient&, const core::Error& error) override;

private:
    VKDropboxUploadClient(std::shared_ptr<VKCloudFileResource> resource, VKDropboxCloudService& cloudService);

    std::shared_ptr<VKUploadClient> makeClient(const VKCloudFileResource& resource);
    std::shared_ptr<VKUploadClient> clientFor(const DBRestClient& client) const;
    void uploadFileResource(const VKCloudFileResource& resource);
    void uploadDirectoryResource(const VKCloudFileResource& resource);
    void uploadDidEnd(const std::shared_ptr<VKUploadClient>& client);
    void fail(const core::Error& error);

    std::vector<std::shared_ptr<VKUploadClient>> m_restClients;
    std::shared_ptr<VKCloudFileResource> m_resource;
    std::string m_cloudPath;
    VKDropboxCloudService* m_cloudService;
    std::vector<Callback> m_callbacks;
    // For a folder: the sizes of every node below it.
    uint64_t m_totalBytesToLoad = 0;
    // For a folder: node ID -> bytes of it sent.
    std::map<int64_t, uint64_t> m_loadedBytes;
};
