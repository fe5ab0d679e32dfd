#pragma once

#include "Cloud/VKConcreteCloudService.h"
#include "Cloud/VKDropboxClientSet.h"
#include "Cloud/VKDropboxFetchClient.h"
#include "Cloud/VKDropboxMirrorMerge.h"
#include "Cloud/VKDropboxUploadClient.h"
#include "DropboxSDK/DBRestClientDelegate.h"
#include "DropboxSDK/DBSession.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class DBMetadata;
class VKDropboxAccount;
class VKDropboxClient;

// The program's cloud service, on the cloud REST client. Each one-shot call
// runs on a client of its own that carries the caller's callback objects
// and goes once it answered; fetches run on fetch clients, one per
// resource, uploads on upload clients, one per resource. Every listing that comes back is merged into the mirror.
// Main thread only.
class VKDropboxCloudService : public VKConcreteCloudService,
                              public DBRestClientDelegate,
                              public DBSessionDelegate,
                              public VKDropboxFetchClientDelegate,
                              public VKDropboxUploadClientDelegate {
public:
    using Callback = VKCloudService::Callback;
    using Resource = VKCloudService::Resource;

    static constexpr const char* Name = "Dropbox";
    static constexpr uint64_t UploadSizeLimit = 314572800;

    // The local root made in the servers folder, a session on the
    // application's consumer pair made the shared one, the service its
    // delegate.
    static std::shared_ptr<VKDropboxCloudService> create();
    ~VKDropboxCloudService() override;

    std::string name() const override { return Name; }
    std::shared_ptr<VKCloudServiceAccount> account() override;
    uint64_t uploadSizeLimit() const override { return UploadSizeLimit; }
    bool isCaseSensitive() const override { return false; }
    void removeLocalStorage() override;

    void fetchThumbnailForItemAtPath(const std::string& cloudPath, const std::string& destination, int sizeFlag,
        Callback callback) override;
    void cancelUploadOfItemAtPath(const std::string& cloudPath) override;
    bool isUploadingItemAtPath(const std::string& cloudPath) override;
    void uploadResource(const Resource& resource, Callback callback) override;
    std::optional<core::URLRequest> streamingURLRequestForPath(const std::string& cloudPath) override;
    bool isFetchingItemAtPath(const std::string& cloudPath) override;
    void cancelFetchOfItemAtPath(const std::string& cloudPath) override;
    void fetchResource(const Resource& resource, Callback callback) override;
    void copyPath(const std::string& from, const std::string& to, Callback callback) override;
    void movePath(const std::string& from, const std::string& to, Callback callback) override;
    void deletePath(const std::string& path, Callback callback) override;
    void createDirectoryAtPath(const std::string& path, Callback callback) override;
    void itemExistsAtPath(const std::string& path, Callback callback) override;
    bool isUpdatingMetadataForResource(const Resource& resource) override;
    void updateMetadataForResource(const Resource& resource, Callback callback) override;
    void unlink() override;
    bool isLinked() override;

    // Whether a one-shot client has such a request open.
    bool isLoadingThumbnailForPath(const std::string& cloudPath) const;
    bool isCopyingPath(const std::string& cloudPath) const;
    bool isMovingPath(const std::string& cloudPath) const;
    bool isDeletingPath(const std::string& cloudPath) const;
    bool isCreatingFolderForPath(const std::string& cloudPath) const;
    bool isLoadingFileForPath(const std::string& cloudPath) const;

    // Merges the record (and its listing, recursively) into the resource's
    // node, then saves the shared store (VKDropboxMirrorMerge).
    bool updateCloudResource(const Resource& resource, const std::shared_ptr<const DBMetadata>& metadata)
    {
        return m_merge.updateCloudResource(resource, metadata);
    }

    // REST client answers of the one-shot and existence clients.
    bool respondsTo(DBRestClientCallback callback) const override;
    void loginFailedWithError(DBRestClient&, const core::Error& error) override;
    void loadedMetadata(DBRestClient&, const std::shared_ptr<const DBMetadata>& metadata) override;
    void metadataUnchangedAtPath(DBRestClient&, const std::string& path) override;
    void loadMetadataFailedWithError(DBRestClient&, const core::Error& error) override;
    void loadedThumbnail(DBRestClient&, const std::string& destinationPath) override;
    void loadThumbnailFailedWithError(DBRestClient&, const core::Error& error) override;
    void movedPath(DBRestClient&, const std::string& from, const std::string& to) override;
    void movePathFailedWithError(DBRestClient&, const core::Error& error) override;
    void copiedPath(DBRestClient&, const std::string& from, const std::string& to) override;
    void copyPathFailedWithError(DBRestClient&, const core::Error& error) override;
    void deletedPath(DBRestClient&, const std::string& path) override;
    void deletePathFailedWithError(DBRestClient&, const core::Error& error) override;
    void createdFolder(DBRestClient&, const std::shared_ptr<const DBMetadata>& folder) override;
    void createFolderFailedWithError(DBRestClient&, const core::Error& error) override;

    void sessionDidReceiveAuthorizationFailure(DBSession& session) override;

    void fetchClientDownloadWillStartForPath(VKDropboxFetchClient&, const std::string& path) override;
    void fetchClientDidUpdateProgress(VKDropboxFetchClient&, float progress, const std::string& path) override;
    void fetchClientFetchCompletedForPath(VKDropboxFetchClient&, const std::string& path, bool usedCache) override;
    void fetchClientFetchFailedForPath(VKDropboxFetchClient&, const std::string& path) override;

    void uploadClientUploadForPathDidUpdateProgress(VKDropboxUploadClient&, const std::string& path,
        float progress) override;
    void uploadClientUploadCompletedForPath(VKDropboxUploadClient&, const std::string& path) override;
    void uploadClientUploadFailedForPath(VKDropboxUploadClient&, const std::string& path,
        const core::Error& error) override;

    const std::vector<std::shared_ptr<VKDropboxClient>>& restClients() const { return m_clients.requests(); }
    const std::vector<std::shared_ptr<VKDropboxClient>>& existsClients() const { return m_clients.existence(); }
    const std::vector<std::shared_ptr<VKDropboxFetchClient>>& fetchClients() const { return m_fetchClients; }
    const std::vector<std::shared_ptr<VKDropboxUploadClient>>& uploadClients() const { return m_uploadClients; }

private:
    explicit VKDropboxCloudService(std::string localRoot);

    std::shared_ptr<VKDropboxClient> createClientWithCallback(Callback callback);
    void loadMetadata(const std::string& cloudPath, std::optional<std::string> hash,
        const std::vector<Callback>& callbacks);
    std::shared_ptr<VKDropboxFetchClient> fetchClientForCloudPath(const std::string& cloudPath);
    void removeFetchClient(VKDropboxFetchClient& client);
    std::shared_ptr<VKDropboxUploadClient> uploadClientForCloudPath(const std::string& cloudPath);
    void removeUploadClient(VKDropboxUploadClient& client);
    template <typename Method, typename... Arguments>
    void invoke(const std::vector<Callback>& callbacks, Method method, const Arguments&... arguments);

    std::shared_ptr<VKDropboxAccount> m_account;
    std::shared_ptr<DBSession> m_session;
    std::vector<std::shared_ptr<VKDropboxFetchClient>> m_fetchClients;
    std::vector<std::shared_ptr<VKDropboxUploadClient>> m_uploadClients;
    VKDropboxClientSet m_clients;
    VKDropboxMirrorMerge m_merge { *this };
};
