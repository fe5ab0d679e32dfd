#pragma once

#include "App/FolderBrowser/VKFolderCommandsHost.h"
#include "App/FolderBrowser/VKBrowserOperation.h"
#include "App/FolderBrowser/VKFolderItemTransfer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKCloudDownloadOperation;
class VKCloudUploadOperation;
class VKZipUnarchiver;

namespace ui {
class ActionSheet;
}

// The folder screen's long operations on the items the commands hand over:
// the delete to the trash in slices, move and copy on a worker, uploads into
// a cloud folder, compressing and expanding (the media's are VKFolderMedia's).
// Each runs as the browser's one operation (VKBrowserOperation) with its
// progress and Cancel, and its end comes back on the main thread to the
// list (through the commands' host, held weakly) and to the alerts.
class VKFolderOperations : public core::Object {
public:
    using Run = VKBrowserOperation::Run;
    using Host = VKFolderCommandsHost;
    static constexpr Run NoRun = VKBrowserOperation::NoRun;

    // A large delete works through the marked items in slices, one per
    // main-loop pass, of at most this many items or this much time.
    static constexpr size_t DeleteSliceItems = 200;
    static constexpr double DeleteSliceSeconds = 0.03;

    ~VKFolderOperations() override;
    void setHost(std::weak_ptr<Host> host) { m_host = std::move(host); }

    // Leaves editing, starts the browser's one long operation with the
    // label and flag, and runs `selector(target, object, run)` on a new
    // thread (which keeps the target alive). A refused start runs nothing
    // and answers NoRun.
    using BackgroundSelector = std::function<void(const std::shared_ptr<core::Object>& target, const core::Value& object, Run run)>;
    Run startBackgroundOperationWithTarget(std::shared_ptr<core::Object> target, BackgroundSelector selector,
        core::Value object, const std::string& label, bool indeterminate);

    // ---- Delete ----
    // The items, in row order, to the desktop's trash
    // (moveFileResourceToDesktopTrash): one trash group and one list
    // hold over the whole delete, slices one per main-loop pass, and from the
    // second slice on the browser's operation with its Cancel.
    void deleteItems(std::vector<std::shared_ptr<VKFileResource>> items);
    // Whether a delete is working through its slices.
    bool isDeleting() const { return m_deletion != nullptr; }

    // ---- Move and copy into a local folder ----
    void moveItems(const std::vector<std::shared_ptr<VKFileResource>>& items,
        const std::shared_ptr<VKFileResource>& destination);
    void copyItems(const std::vector<std::shared_ptr<VKFileResource>>& items,
        const std::shared_ptr<VKFileResource>& destination);
    // The copy's work on the worker: "Resources", "Destination", "TotalBytes"
    // and optionally "EnsureUnique"; its end on the main thread.
    static void copyItemsInBackground(const core::Value& parameters, Run run);
    static void backgroundCopyOperationDidComplete(const VKFolderItemTransfer::Result& result, Run run);
    // Into a cloud folder: one upload operation, a move when the originals go.
    void uploadItems(const std::vector<std::shared_ptr<VKFileResource>>& items,
        const std::shared_ptr<VKFileResource>& destination, bool deleteOriginals);
    // "Copying 3 Items", "Moving 1 Item": the label of a transfer of
    // `count` items, a move when the sources go afterwards.
    static std::string transferLabel(size_t count, bool deleteOriginals);
    // The process-wide operation delegate's answers to an upload: the
    // label (shown at once, with a determinate bar), and the overwrite
    // question shown from the top screen's Move or Copy item.
    static void cloudUploadOperationWillStart(VKCloudUploadOperation& operation);
    // The same label for a download out of a cloud folder, once its items
    // go to the downloads.
    static void cloudDownloadOperationWillStart(VKCloudDownloadOperation& operation);
    static void showActionSheetForCloudUploadOperation(const std::shared_ptr<ui::ActionSheet>& sheet,
        VKCloudUploadOperation& operation);

    // ---- Zip and unzip ----
    // A new archive of the items in the listed folder.
    void zipItems(const std::vector<std::shared_ptr<VKFileResource>>& items);
    // Expands the archive beside itself with the unarchiver (its password
    // set).
    void unzipResource(const std::shared_ptr<VKFileResource>& resource, std::shared_ptr<VKZipUnarchiver> unarchiver);
    // The workers' results, on the main thread, for their run: the archive
    // made (nothing when none was), and what an expansion left under a
    // final name (empty when nothing) with whether it succeeded.
    // A failed archive's alert counts the items it held (as its label did)
    // and says why when the system said.
    void backgroundArchiveDidComplete(const std::optional<std::string>& archivePath, Run run,
        const core::Error& error = {}, uint64_t itemCount = 1);
    void backgroundUnarchiveDidComplete(const std::string& archiveName, bool success, const std::string& path, Run run,
        const core::Error& error = {});

private:
    std::shared_ptr<Host> host() const { return m_host.lock(); }
    std::shared_ptr<VKFolderOperations> self();
    // A move's end: its rows go, the notifications and the alert follow.
    struct MoveOutcome {
        std::string destination;
        std::vector<std::shared_ptr<VKFileResource>> moved;
        unsigned failures = 0;
        core::Error error;
    };
    void finishMove(const MoveOutcome& outcome, bool cancelled);
    // A delete's next slice, and its end.
    struct Deletion;
    void continueDeletion();
    void finishDeletion(bool cancelled);

    std::weak_ptr<Host> m_host;
    std::shared_ptr<Deletion> m_deletion;
};
