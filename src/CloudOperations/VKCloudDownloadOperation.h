#pragma once

#include "CloudOperations/VKCloudFileOperation.h"
#include "Downloads/VKDownloadManager.h"
#include "Downloads/VKTransferQuestions.h"

class VKCloudDeleteOperation;
class VKCloudDownloadOperation;
class VKDownloadFileResource;

// What the screen that started a download may want to hear besides the end
// and the progress: that the items are about to be handed to the downloads
// (it may change the label then).
class VKCloudDownloadOperationDelegate : public virtual VKFileOperationDelegate {
public:
    virtual void cloudDownloadOperationWillStart(VKCloudDownloadOperation& operation) = 0;
};

// Copies (or with deleteOriginals moves) cloud items into a local folder:
// brings the selected folders' listings up to date one at a time, estimates
// the download, warns when it may not fit the room left, hands every item to
// the download manager as a cloud download and follows them; a move then
// deletes the sources that arrived through a VKCloudDeleteOperation. An item
// of the same name already in the folder goes to the trash rather than being
// destroyed, so a download that fails leaves it recoverable. Main thread.
class VKCloudDownloadOperation : public VKCloudFileOperation,
                                 public VKDownloadManagerCallback,
                                 public VKFileOperationDelegate {
public:
    static std::shared_ptr<VKCloudDownloadOperation> initWithResources(
        std::vector<std::shared_ptr<VKFileResource>> resources);

    bool deleteOriginals() const { return m_deleteOriginals; }
    void setDeleteOriginals(bool deleteOriginals) { m_deleteOriginals = deleteOriginals; }

    void run() override;
    // Ends at once from any phase: a running delete is cancelled, else the
    // running downloads are deleted.
    void cancel() override;

    // The download phase; `confirm` asks before a download that may not fit.
    void beginFetchWithQuotaConfirmation(bool confirm);
    // Download items still running.
    const std::vector<std::shared_ptr<VKDownloadFileResource>>& downloads() const { return m_downloads; }
    const std::shared_ptr<VKCloudDeleteOperation>& deleteOperation() const { return m_deleteOperation; }

    // Listings of the selected folders.
    void cloudServiceDidUpdateMetadataAtPath(VKCloudService&, const std::string& path) override;
    void cloudServiceMetadataUnchangedAtPath(VKCloudService&, const std::string& path) override;
    void cloudServiceMetadataUpdateFailedForPath(VKCloudService&, const std::string& path) override;

    // The downloads.
    void downloadManagerDownloadCompletedForResource(VKDownloadManager&, VKDownloadFileResource& item) override;
    void downloadManagerDownloadFailedForResource(VKDownloadManager&, VKDownloadFileResource& item) override;
    void downloadManagerDidCancelDownloadForResource(VKDownloadManager&, VKDownloadFileResource& item) override;
    void downloadManagerDidUpdateProgress(VKDownloadManager&, float progress, VKDownloadFileResource& item) override;

    // The delete operation of a move.
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation& operation, const std::optional<core::Error>& error) override;

protected:
    std::string localizedErrorDescription() override;
    void sendDidEndDelegateMessage() override;

private:
    explicit VKCloudDownloadOperation(std::vector<std::shared_ptr<VKFileResource>> resources);

    void processMetadataQueue();
    void metadataDidArrive(const std::string& path);
    // Without current sizes nothing is estimated: every item fails.
    void metadataDidFail(const std::string& path);
    // The item off the running list; null when it was not on it (or the
    // operation has ended).
    std::shared_ptr<VKDownloadFileResource> takeDownload(const VKDownloadFileResource& item);
    // A failed or cancelled download.
    void downloadDidStop(VKDownloadManager& manager, VKDownloadFileResource& item, bool failed);
    void downloadDidEnd();
    void updateProgress();
    void quotaQuestionAnswered(VKTransferAnswer answer);

    bool m_deleteOriginals = false;
    // The selection; a completed move drops what it removed.
    std::vector<std::shared_ptr<VKFileResource>> m_selection;
    // Selected folders whose listing is still to load, and the one loading.
    std::vector<std::shared_ptr<VKCloudFileResource>> m_metadataQueue;
    std::optional<std::string> m_awaitedMetadata;
    std::vector<std::shared_ptr<VKDownloadFileResource>> m_downloads;
    // Selected resources whose download completed (a move deletes them).
    std::vector<std::shared_ptr<VKFileResource>> m_downloadedResources;
    VKCloudByteCounts m_totalBytes;
    VKCloudByteCounts m_bytesLoaded;
    // Takes back the quota question while it is shown.
    VKTransferQuestions::Withdrawal m_withdrawQuestion;
    std::shared_ptr<VKCloudDeleteOperation> m_deleteOperation;
    bool m_downloading = false;
};
