#pragma once

#include "Cloud/VKCloudServiceDelegate.h"
#include "CloudOperations/VKCloudByteCounts.h"
#include "FileModel/VKFileOperation.h"
#include "Kit/VKFileManagerDelegate.h"
#include "Platform/UI/ActionSheet.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class VKCloudFileResource;
class VKCloudService;
class VKCloudUploadOperation;

inline constexpr const char* VKCloudUploadOperationErrorDomain = "VKCloudUploadOperation";
inline constexpr int64_t VKCloudUploadOperationErrorCode = 512;

// What the screen that started an upload does for it: show the overwrite
// question, and learn when the staged items begin to upload.
class VKCloudUploadOperationDelegate : public virtual VKFileOperationDelegate {
public:
    virtual void cloudUploadOperationWillStart(VKCloudUploadOperation& operation) = 0;
    virtual void showActionSheet(const std::shared_ptr<ui::ActionSheet>& sheet, VKCloudUploadOperation& operation) = 0;
};

// Copies (or with deleteOriginals moves) local items into a cloud folder:
// refreshes the folder's listing, asks before overwriting items of the same
// name, stages a copy of every item inside the folder's mirror on a thread
// of its own (making mirror nodes as it copies, with the folder locked
// against merges meanwhile), then hands the staged items to the service, at
// most two at a time. The nodes' upload states let the browser and the
// upload queue show them as uploads. Main thread, but for the staging copy.
class VKCloudUploadOperation : public VKFileOperation,
                               public VKCloudServiceDelegate,
                               public VKFileManagerDelegate,
                               public ui::ActionSheetDelegate {
public:
    static std::shared_ptr<VKCloudUploadOperation> initWithResources(std::vector<std::shared_ptr<VKFileResource>> resources);

    bool deleteOriginals() const { return m_deleteOriginals; }
    void setDeleteOriginals(bool deleteOriginals) { m_deleteOriginals = deleteOriginals; }
    std::shared_ptr<VKCloudUploadOperationDelegate> uploadDelegate() const;

    void run() override;
    // Also cancels the uploads of this operation's items that run, removes
    // what they sent and their nodes, and ends the operation.
    void cancel() override;

    // Uploads handed to the service and not yet answered.
    int32_t activeUploadCount() const { return m_activeUploadCount; }
    bool hasEnded() const { return m_ended; }

    // Service answers.
    void cloudServiceDidUpdateMetadataAtPath(VKCloudService&, const std::string& path) override;
    void cloudServiceMetadataUnchangedAtPath(VKCloudService&, const std::string& path) override;
    void cloudServiceMetadataUpdateFailedForPath(VKCloudService&, const std::string& path) override;
    void cloudServiceDidDeletePath(VKCloudService&, const std::string& path) override;
    void cloudServiceDeleteFailedForPath(VKCloudService&, const std::string& path, const core::Error&) override;
    void cloudServiceUploadForPathDidUpdateProgress(VKCloudService&, const std::string& path, float progress) override;
    void cloudServiceUploadCompletedForPath(VKCloudService&, const std::string& path) override;
    void cloudServiceUploadFailedForPath(VKCloudService&, const std::string& path, const core::Error&) override;
    void cloudServiceDidCancelUploadForPath(VKCloudService&, const std::string& path) override;

    // The staging copy, on its thread: a node in that thread's store for
    // every item copied.
    bool shouldCopyItemAtPath(const std::string& from, const std::string& to) override;
    bool copyingItemAtPath(const std::string& from, const std::string& to, uint64_t bytesWritten) override;
    void didCopyItemAtPath(const std::string& from, const std::string& to) override;

    void clickedButton(ui::ActionSheet& sheet, int index) override;

protected:
    std::string localizedErrorDescription() override;

private:
    explicit VKCloudUploadOperation(std::vector<std::shared_ptr<VKFileResource>> resources);

    std::shared_ptr<VKCloudServiceDelegate> callback();
    std::shared_ptr<VKCloudFileResource> cloudDestination() const;
    void checkForConflicts();
    void doLocalCopy();
    void doLocalCopyInBackground(const std::string& destination, const std::vector<std::string>& sources);
    void localCopyDidComplete(const std::vector<std::string>& targets);
    void processUploadQueue();
    void updateProgress();
    void setUploadStateForPath(const std::string& cloudPath, int32_t state);
    // A failed or cancelled upload: its state, and its bytes out of the sums.
    void uploadDidStop(const std::string& path, int32_t state);
    void metadataDidArrive();
    // The operation's one end: the message, when there is one, becomes the
    // error the delegate hears.
    void sendDidEndDelegateMessage(std::optional<std::string> message);

    std::shared_ptr<VKCloudService> m_service;
    bool m_deleteOriginals = false;
    bool m_awaitingMetadata = false;
    std::atomic<bool> m_ended { false };
    // Cloud paths of the items to overwrite, while their deletes run.
    std::set<std::string> m_conflicts;
    std::shared_ptr<ui::ActionSheet> m_sheet;
    // Staged resources not yet handed to the service, in staging order.
    std::vector<std::shared_ptr<VKCloudFileResource>> m_queue;
    int32_t m_activeUploadCount = 0;
    // Cloud path -> bytes of the staged item, and bytes sent of it.
    VKCloudByteCounts m_totalBytes;
    VKCloudByteCounts m_bytesLoaded;
};
