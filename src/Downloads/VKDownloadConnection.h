#pragma once

#include "Cloud/VKCloudServiceDelegate.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Net/URLConnectionDelegate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class VKDownloadConnection;
class VKDownloadFileResource;
class VKDownloadManagerCallback;

namespace core {
class FileWriter;
}
namespace net {
class URLConnection;
}

// What a download connection tells the download manager, on the main thread.
class VKDownloadConnectionDelegate {
public:
    virtual ~VKDownloadConnectionDelegate() = default;
    // Answer false to stop the download (it then cancels itself).
    virtual bool downloadConnectionDidReceiveResponse(VKDownloadConnection& connection, int64_t expectedSize) = 0;
    virtual void downloadConnectionDidUpdateProgress(VKDownloadConnection& connection, float progress) = 0;
    virtual void downloadConnectionDidFinishLoading(VKDownloadConnection& connection) = 0;
    virtual void downloadConnectionDidFailWithError(VKDownloadConnection& connection, const core::Error& error) = 0;
    virtual void downloadConnectionDidCancel(VKDownloadConnection& connection) = 0;
};

// Carries out one download item: a web item over http or https, resumed by
// byte range where the server allows it, a data: URL decoded here, or a
// cloud item fetched through its service and then put into place. It writes
// the partial data, keeps the item's state and progress current and holds
// background time while it runs.
//
// Main thread only, except the disk work: a web item's body is written, and
// the finished file moved into place, by a core::FileWriter on its own
// thread, and a fetched cloud file is copied on a thread of its own; both
// touch nothing but the item's paths.
class VKDownloadConnection : public core::Object,
                             public net::URLConnectionDelegate,
                             public VKCloudServiceDelegate {
public:
    struct Private { };
    VKDownloadConnection(const Private&, std::shared_ptr<VKDownloadFileResource> resource);
    ~VKDownloadConnection() override;

    // Null, logged, for an item with neither request nor cloud service.
    static std::shared_ptr<VKDownloadConnection> create(std::shared_ptr<VKDownloadFileResource> resource);

    const std::shared_ptr<VKDownloadFileResource>& resource() const { return m_resource; }
    const std::shared_ptr<VKDownloadManagerCallback>& callback() const { return m_callback; }
    void setCallback(std::shared_ptr<VKDownloadManagerCallback> callback) { m_callback = std::move(callback); }
    void setDelegate(VKDownloadConnectionDelegate* delegate) { m_delegate = delegate; }
    bool hasBackgroundTask() const { return m_backgroundTask != core::InvalidBackgroundTask; }

    // Connecting (3) now, the transfer from the next pass of the run loop.
    void start();
    // Queued behind the running downloads (2).
    void setWaiting();
    // Stops the transfer; a web item is paused (7) with its state saved. A
    // finished download stays finished. An item being removed discards
    // what arrived and is not yet written, so that nothing more goes into
    // its partial file, and saves no state.
    void cancel(bool discard = false);
    // Where the finished file goes; an item whose folder went away moves to
    // the private documents first.
    std::string targetPath();
    // Discards the partial data and the stored response; the error of a
    // removal that failed, nothing otherwise.
    std::optional<core::Error> resetDownload();

    // net::URLConnectionDelegate
    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override;
    void didReceiveData(net::URLConnection&, const core::Data& data) override;
    void didFinishLoading(net::URLConnection&) override;
    void didFailWithError(net::URLConnection&, const core::Error& error) override;

    // VKCloudServiceDelegate
    void cloudServiceFetchWillStartForPath(VKCloudService& service, const std::string& path) override;
    void cloudServiceFetchForPathDidUpdateProgress(VKCloudService& service, const std::string& path, float progress) override;
    void cloudServiceFetchCompletedForPath(VKCloudService& service, const std::string& path) override;
    void cloudServiceDidCancelFetchForPath(VKCloudService& service, const std::string& path) override;
    void cloudServiceFetchFailedForPath(VKCloudService& service, const std::string& path) override;

    std::string description() const override;

private:
    void startURLConnection();
    void startCloudFetch();
    void extractURIDataComponents();
    void closeConnection(bool discard = false);
    void beginBackgroundTask();
    void endBackgroundTask();
    void updateTargetFilename(const std::string& name);
    void sendDownloadDelegateDidFailMessage(const core::Error& error);
    void failConnection(const core::Error& error);
    void finishLoading();
    bool openWriter();
    void writerDidFinish(const core::Error& error);
    void failWhenWritten(const core::Error& error);
    void cloudFileCopyDidEnd(std::optional<core::Error> error);
    std::shared_ptr<VKCloudService> cloudService() const;

    std::shared_ptr<net::URLConnection> m_urlConnection;
    // Writes the running request's body after m_writeOffset; made at its
    // first bytes.
    std::shared_ptr<core::FileWriter> m_writer;
    std::shared_ptr<VKDownloadFileResource> m_resource;
    std::shared_ptr<VKDownloadManagerCallback> m_callback;
    VKDownloadConnectionDelegate* m_delegate = nullptr;
    core::BackgroundTaskId m_backgroundTask = core::InvalidBackgroundTask;
    // The bytes on disk when the running request was sent: where its body
    // must be written.
    uint64_t m_writeOffset = 0;
    // The bytes received for the partial file, written or still queued.
    uint64_t m_receivedOffset = 0;
    // A start put off until an earlier writer of the partial file closed it.
    bool m_waitingForPartial = false;
    // The writer writes the last piece and moves the file into place.
    bool m_completing = false;
};

// Puts a finished file or folder at `to`, which must be free: a rename, or
// across file systems a copy made in the run's staging folder (a sibling
// noted in its journal where that is on another file system) renamed into
// place, so that the name never holds anything but the whole item, `from`
// stays whole until then, and a run cut off leaves nothing the next
// launch's sweep misses.
bool VKMoveDownloadIntoPlace(const std::string& from, const std::string& to, core::Error* error);
// The same for a copy of `from` (a cloud item's stored file), which stays.
bool VKCopyDownloadIntoPlace(const std::string& from, const std::string& to, core::Error* error);
