#pragma once

#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/ObserverList.h"
#include "Platform/Core/URLRequest.h"
#include "Downloads/VKDownloadConnection.h"
#include "Downloads/VKTransferQuestions.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class VKCloudFileResource;
class VKDownloadFileResource;
class VKDownloadManager;
class VKFileResource;
struct VKResourceMove;

// An extra receiver of one download's end and progress (a cloud download's
// operation). Every method is optional.
class VKDownloadManagerCallback {
public:
    virtual ~VKDownloadManagerCallback() = default;
    virtual void downloadManagerDownloadCompletedForResource(VKDownloadManager&, VKDownloadFileResource&) { }
    virtual void downloadManagerDownloadFailedForResource(VKDownloadManager&, VKDownloadFileResource&) { }
    virtual void downloadManagerDidCancelDownloadForResource(VKDownloadManager&, VKDownloadFileResource&) { }
    virtual void downloadManagerDidUpdateProgress(VKDownloadManager&, float, VKDownloadFileResource&) { }
};

// The one owner of every download, on the main thread for the life of the
// process: the lists of unfinished web and cloud items, their connections
// with at most two connecting or transferring at once, the question
// (VKTransferQuestions) before a download that may exceed the disk quota,
// the finished files handed to the file model, the targets kept in step
// with moved folders, and the restore of the state files left by an
// earlier run.
//
// It posts the four download notifications (VKDownloadHooks.h) with the item
// as object. Observers (observeValueForKey) hear "allDownloads",
// "completedWebDownloads" and "downloadingConnectionCount".
class VKDownloadManager : public core::Object, public VKDownloadConnectionDelegate {
public:
    static constexpr int MaximumRunningDownloads = 2;

    struct Private { };
    explicit VKDownloadManager(const Private&);
    ~VKDownloadManager() override;

    // Made on first use.
    static std::shared_ptr<VKDownloadManager> sharedManager();
    // Drops the shared manager (its downloads stop); the next use makes a
    // new one, as a new launch would.
    static void resetSharedManagerForTesting();

    // Restores the items whose state files an earlier run left; once at launch.
    void initializeDownloads();

    std::shared_ptr<VKDownloadFileResource> startWebDownloadWithRequest(const core::URLRequest& request,
        const std::string& targetFolder);
    std::shared_ptr<VKDownloadFileResource> startDownloadOfCloudResource(const std::shared_ptr<VKCloudFileResource>& resource,
        const std::string& targetFolder, std::shared_ptr<VKDownloadManagerCallback> callback = nullptr);
    void resumeDownloadForResource(const std::shared_ptr<VKDownloadFileResource>& item);
    void stopDownloadForResource(const std::shared_ptr<VKDownloadFileResource>& item);
    void deleteDownloadResource(const std::shared_ptr<VKDownloadFileResource>& item);

    // Items whose target lies directly in `folder`.
    std::vector<std::shared_ptr<VKFileResource>> downloadsForTargetFolder(const std::string& folder) const;
    // Web items, then cloud items.
    std::vector<std::shared_ptr<VKDownloadFileResource>> allDownloads() const;
    const std::vector<std::shared_ptr<VKDownloadFileResource>>& webDownloads() const { return m_webDownloads; }
    const std::vector<std::shared_ptr<VKDownloadFileResource>>& cloudDownloads() const { return m_cloudDownloads; }
    const std::vector<std::shared_ptr<VKFileResource>>& completedWebDownloads() const { return m_completedWebDownloads; }
    void clearCompletedDownload(const std::shared_ptr<VKFileResource>& file);
    void clearAllCompletedDownloads();

    // A connection registered, running or waiting.
    bool hasActiveDownloads() const { return !m_connections.empty(); }
    // Registered connections whose item connects or transfers.
    unsigned downloadingConnectionCount() const;
    std::shared_ptr<VKDownloadConnection> connectionForResource(const VKDownloadFileResource& item) const;

    core::Observation observeValueForKey(std::string_view key, std::function<void()> handler);

    // Every registered connection stops; web items are saved paused.
    void applicationWillTerminate();

    // VKDownloadConnectionDelegate
    bool downloadConnectionDidReceiveResponse(VKDownloadConnection& connection, int64_t expectedSize) override;
    void downloadConnectionDidUpdateProgress(VKDownloadConnection& connection, float progress) override;
    void downloadConnectionDidFinishLoading(VKDownloadConnection& connection) override;
    void downloadConnectionDidFailWithError(VKDownloadConnection& connection, const core::Error& error) override;
    void downloadConnectionDidCancel(VKDownloadConnection& connection) override;

private:
    void registerAndStartConnection(const std::shared_ptr<VKDownloadConnection>& connection);
    void deregisterAndRemoveConnection(const std::shared_ptr<VKDownloadConnection>& connection, bool discard = false);
    void downloadStateDidChange(const std::shared_ptr<VKDownloadConnection>& connection);
    void resourceDidMove(const VKResourceMove& move);
    void updateNetworkActivityIndicator() const;
    void didChange(std::string_view key);
    std::shared_ptr<VKDownloadConnection> sharedConnection(VKDownloadConnection& connection) const;
    void removeFromLists(const VKDownloadFileResource& item);
    // The person's answer to the quota question about the connection.
    void quotaQuestionAnswered(const std::shared_ptr<VKDownloadConnection>& connection, VKTransferAnswer answer);

    std::vector<std::shared_ptr<VKDownloadFileResource>> m_webDownloads;
    std::vector<std::shared_ptr<VKDownloadFileResource>> m_cloudDownloads;
    std::vector<std::shared_ptr<VKDownloadConnection>> m_connections;
    std::vector<std::shared_ptr<VKFileResource>> m_completedWebDownloads;
    std::map<const VKDownloadConnection*, core::Observation> m_stateObservations;
    std::vector<core::Observation> m_notificationObservations;
    std::map<std::string, core::ObserverList<>, std::less<>> m_observers;
    unsigned m_lastDownloadingCount = 0;
};
