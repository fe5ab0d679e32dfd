#include "App/FolderBrowser/VKFolderOperations.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFailureReason.h"
#include "App/FolderBrowser/VKFolderControllerOperationObserver.h"
#include "App/FolderBrowser/VKFolderZipWork.h"
#include "CloudOperations/VKCloudDownloadOperation.h"
#include "CloudOperations/VKCloudUploadOperation.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/ViewControllerAdditions.h"

#include <fmt/format.h>

#include <chrono>

namespace path = core::path;
using BrowserOperation = VKBrowserOperation;

namespace {

// The browser of the screen that started the running upload: the
// process-wide operation delegate that asks the overwrite question has no
// screen of its own. One operation runs at a time; main thread only.
std::weak_ptr<VKFolderBrowserServices>& uploadStartedInBrowser()
{
    static std::weak_ptr<VKFolderBrowserServices> browser;
    return browser;
}

std::string countedText(const char* one, const char* many, uint64_t count)
{
    return fmt::format(fmt::runtime(core::localized(count == 1 ? one : many)), count);
}

// "Compressing 3 items failed: the disk is full", counted as the label was.
std::string archiveFailureText(uint64_t count, const core::Error& error)
{
    return VKTextWithFailureReason(
        countedText("Compressing 1 item failed", "Compressing {} items failed", count), error);
}

std::string operationText(const char* key, const std::string& name)
{
    return fmt::format(fmt::runtime(core::localized(key)), name);
}

void operationAlert(const char* title, const std::string& message)
{
    showAlertViewWithTitle(core::localized(title), message, core::localized("OK"));
}

void postCollectionUpdate(const std::shared_ptr<core::Object>& sender, const std::string& folder)
{
    core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, sender, { folder });
}

} // namespace

VKFolderOperations::~VKFolderOperations() = default;

std::shared_ptr<VKFolderOperations> VKFolderOperations::self()
{
    return std::static_pointer_cast<VKFolderOperations>(shared_from_this());
}

VKFolderOperations::Run VKFolderOperations::startBackgroundOperationWithTarget(std::shared_ptr<core::Object> target,
    BackgroundSelector selector, core::Value object, const std::string& label, bool indeterminate)
{
    if (!selector)
        return NoRun;
    if (auto host = this->host(); host && host->commandScreen().isEditing())
        host->commandScreen().setEditing(false, true);
    Run run = BrowserOperation::startOperationWithLabel(label, indeterminate);
    if (run == NoRun)
        return run;
    core::Thread::detach("VKFolderOperations: " + label,
        [target = std::move(target), selector = std::move(selector), object = std::move(object), run] {
            selector(target, object, run);
        });
    return run;
}

// MARK: Delete

struct VKFolderOperations::Deletion {
    // The items in row order, and the next one to go.
    std::vector<std::shared_ptr<VKFileResource>> items;
    size_t next = 0;
    std::vector<std::shared_ptr<VKFileResource>> trashed;
    size_t failures = 0;
    // Why the first failed item stayed, when the system said.
    core::Error error;
    // The browser's operation once the delete outlasts a slice (NoRun
    // while another operation held it).
    Run run = NoRun;
    bool announced = false;
    // When the command began: taking the marks counts against the first
    // slice's time.
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
    bool firstSlice = true;
};

void VKFolderOperations::deleteItems(std::vector<std::shared_ptr<VKFileResource>> items)
{
    auto host = this->host();
    if (!host)
        return;
    if (m_deletion) {
        core::log("Warning, a delete is already in progress");
        return;
    }
    if (items.empty()) {
        host->commandScreen().setEditing(false, true);
        return;
    }
    auto deletion = std::make_shared<Deletion>();
    deletion->items = std::move(items);
    m_deletion = deletion;
    beginTrashGroup();
    host->commandHoldList(true);
    continueDeletion();
}

void VKFolderOperations::continueDeletion()
{
    auto host = this->host();
    if (!m_deletion)
        return;
    Deletion& deletion = *m_deletion;
    if (!host || (deletion.run != NoRun && BrowserOperation::isOperationCancelled(deletion.run))) {
        finishDeletion(true);
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto started = deletion.firstSlice ? deletion.began : Clock::now();
    deletion.firstSlice = false;
    const auto budget = std::chrono::duration<double>(DeleteSliceSeconds);
    auto& center = core::NotificationCenter::defaultCenter();
    auto screen = host->commandScreen().shared_from_this();
    size_t done = 0;
    beginQuotaBatch();
    while (deletion.next < deletion.items.size() && done < DeleteSliceItems) {
        if (done > 0 && Clock::now() - started >= budget)
            break;
        const auto& resource = deletion.items[deletion.next++];
        ++done;
        // Its observers still find the item where it was.
        center.post(VKFolderControllerWillDeleteResourceNotification, screen, { resource->path() });
        if (moveFileResourceToDesktopTrash(resource) == VKRemoveResultDone) {
            deletion.trashed.push_back(resource);
        } else {
            ++deletion.failures;
            if (!deletion.error)
                deletion.error = lastFileResourceError();
            core::log("Warning, failed to delete: {}", resource->path());
        }
    }
    endQuotaBatch();
    if (deletion.next >= deletion.items.size()) {
        finishDeletion(false);
        return;
    }
    if (!deletion.announced) {
        deletion.announced = true;
        // The progress and its Cancel take the toolbar: editing ends here,
        // the marked items being taken already.
        host->commandScreen().setEditing(false, true);
        size_t count = deletion.items.size();
        deletion.run = BrowserOperation::startOperationWithLabel(countedText("Deleting 1 Item", "Deleting {} Items", count), false);
    }
    if (deletion.run != NoRun)
        BrowserOperation::setOperationProgress(float(double(deletion.next) / double(deletion.items.size())), deletion.run);
    // The delete holds the screen until it ends, so that its group and the
    // list's hold always close.
    core::RunLoop::main().post([keep = self(), host] { keep->continueDeletion(); });
}

void VKFolderOperations::finishDeletion(bool cancelled)
{
    auto deletion = std::move(m_deletion);
    auto host = this->host();
    if (host)
        host->commandDeleted(deletion->trashed);
    // What fell back to the internal trash leaves the disk soon after.
    endTrashGroup();
    if (!deletion->trashed.empty() && host)
        postCollectionUpdate(host->commandScreen().shared_from_this(), host->commandFolder()->path());
    if (deletion->run != NoRun && !cancelled)
        BrowserOperation::endOperation(deletion->run);
    if (host)
        host->commandScreen().setEditing(false, true);
    if (cancelled || deletion->failures == 0)
        return;
    operationAlert("Warning",
        VKTextWithFailureReason(countedText("Failed to delete 1 item", "Failed to delete {} items", deletion->failures),
            deletion->error));
}

// MARK: Move

void VKFolderOperations::moveItems(const std::vector<std::shared_ptr<VKFileResource>>& items,
    const std::shared_ptr<VKFileResource>& destination)
{
    // A refused start must not have moved the downloads already.
    if (BrowserOperation::isOperationInProgress()) {
        core::log("VKFolderOperations: a move waits for the running operation");
        return;
    }
    const std::string destinationPath = path::standardizingPath(destination->path());
    // Unfinished downloads only change where they will land.
    std::vector<std::shared_ptr<VKFileResource>> moved;
    std::vector<std::shared_ptr<VKFileResource>> files;
    for (const auto& resource : items) {
        if (!resource->isDownloadResource()) {
            files.push_back(resource);
            continue;
        }
        if (auto hooks = VKDownloadHooks::current())
            hooks->updateDownloadPath(resource, path::appendingPathComponent(destinationPath, resource->name()));
        moved.push_back(resource);
    }
    auto outcome = std::make_shared<MoveOutcome>();
    outcome->destination = destinationPath;
    outcome->moved = std::move(moved);
    if (files.empty()) {
        finishMove(*outcome, false);
        return;
    }
    const std::string label = countedText("Moving {} Item", "Moving {} Items", files.size());
    auto host = this->host();
    std::weak_ptr<core::Object> screen = host ? host->commandScreen().shared_from_this() : nullptr;
    std::weak_ptr<VKFolderOperations> weak = self();
    auto work = [weak, screen, files, destinationPath, outcome](const std::shared_ptr<core::Object>&,
                    const core::Value&, Run run) {
        VKFolderItemTransfer::Hooks hooks;
        hooks.isCancelled = [run] { return BrowserOperation::isOperationCancelled(run); };
        hooks.progress = [run](double fraction) { BrowserOperation::setOperationProgress(float(fraction), run); };
        hooks.moved = [screen, outcome](const std::shared_ptr<VKFileResource>& resource, const std::string& to,
                          bool replaced) {
            const std::string from = resource->path();
            core::performOnMainThread([screen, outcome, resource, from, to, replaced] {
                outcome->moved.push_back(resource);
                if (replaced)
                    VKFileSettingsManager::defaultManager()->removeBookmarksAndSettingsForItemAtPath(to);
                core::NotificationCenter::defaultCenter().post(VKFolderControllerDidMoveResourceNotification,
                    screen.lock(), { from, to });
            });
        };
        VKFolderItemTransfer::Request request { files, destinationPath, false };
        auto result = VKFolderItemTransfer::moveItems(request, hooks);
        core::performOnMainThread([weak, outcome, result, run] {
            outcome->failures = result.failureCount;
            outcome->error = result.error;
            const bool cancelled = result.cancelled || BrowserOperation::isOperationCancelled(run);
            BrowserOperation::endOperation(run);
            if (auto operations = weak.lock())
                operations->finishMove(*outcome, cancelled);
        });
    };
    if (startBackgroundOperationWithTarget(host ? host->commandScreen().shared_from_this() : nullptr, work,
            core::Value(), label, false)
        == NoRun)
        core::log("VKFolderOperations: the move did not start");
}

void VKFolderOperations::finishMove(const MoveOutcome& outcome, bool cancelled)
{
    auto host = this->host();
    if (!host)
        return;
    host->commandHoldList(true);
    host->commandRemoved(outcome.moved);
    host->commandHoldList(false);
    if (!outcome.moved.empty()) {
        host->commandListChanged();
        auto screen = host->commandScreen().shared_from_this();
        postCollectionUpdate(screen, path::standardizingPath(host->commandFolder()->path()));
        postCollectionUpdate(screen, outcome.destination);
    }
    if (host->commandScreen().isEditing())
        host->commandScreen().setEditing(false, true);
    if (!cancelled && outcome.failures > 0)
        showAlertViewWithMessage(
            VKTextWithFailureReason(countedText("Move of 1 item failed", "Move of {} items failed", outcome.failures),
                outcome.error),
            core::localized("OK"));
}

// MARK: Copy

void VKFolderOperations::copyItems(const std::vector<std::shared_ptr<VKFileResource>>& items,
    const std::shared_ptr<VKFileResource>& destination)
{
    auto host = this->host();
    if (host && host->commandScreen().isEditing())
        host->commandScreen().setEditing(false, true);
    auto quota = VKQuotaManager::defaultManager();
    uint64_t count = 0;
    uint64_t bytes = 0;
    core::Value::Array resources;
    for (const auto& resource : items) {
        count += 1 + quota->childCountForPath(resource->path());
        bytes += quota->sizeForPath(resource->path());
        resources.push_back(core::Value(std::static_pointer_cast<core::Object>(resource)));
    }
    core::Value parameters = core::Value::makeDictionary({ { "Resources", core::Value(std::move(resources)) },
        { "Destination", core::Value(path::standardizingPath(destination->path())) },
        { "TotalBytes", core::Value(static_cast<unsigned long long>(bytes)) } });
    const std::string label = countedText("Copying {} Item", "Copying {} Items", count);
    auto work = [](const std::shared_ptr<core::Object>&, const core::Value& object, Run run) {
        copyItemsInBackground(object, run);
    };
    if (startBackgroundOperationWithTarget(host ? host->commandScreen().shared_from_this() : nullptr, work,
            std::move(parameters), label, false)
        == NoRun)
        core::log("VKFolderOperations: the copy did not start");
}

void VKFolderOperations::copyItemsInBackground(const core::Value& parameters, Run run)
{
    VKFolderItemTransfer::Request request;
    for (const auto& item : parameters["Resources"].array()) {
        if (auto resource = item.objectAs<VKFileResource>())
            request.resources.push_back(resource);
    }
    request.destination = parameters["Destination"].toString();
    request.ensureUnique = parameters["EnsureUnique"].toBool();
    const uint64_t totalBytes = uint64_t(parameters["TotalBytes"].toInteger());
    std::unique_ptr<VKFolderControllerOperationObserver> observer;
    if (totalBytes > 0)
        observer = std::make_unique<VKFolderControllerOperationObserver>(totalBytes, run);
    VKFolderItemTransfer::Hooks hooks;
    hooks.isCancelled = [run] { return BrowserOperation::isOperationCancelled(run); };
    hooks.delegate = observer.get();
    auto result = VKFolderItemTransfer::copyItems(request, hooks);
    core::performOnMainThread([result, run] { backgroundCopyOperationDidComplete(result, run); });
}

void VKFolderOperations::backgroundCopyOperationDidComplete(const VKFolderItemTransfer::Result& result, Run run)
{
    const bool cancelled = result.cancelled || BrowserOperation::isOperationCancelled(run);
    // The replaced items are gone: so are their bookmarks and settings.
    for (const auto& replaced : result.replacedPaths)
        VKFileSettingsManager::defaultManager()->removeBookmarksAndSettingsForItemAtPath(replaced);
    BrowserOperation::endOperation(run);
    postCollectionUpdate(nullptr, result.destination);
    if (!cancelled && result.failureCount > 0)
        showAlertViewWithMessage(
            VKTextWithFailureReason(countedText("Copy of 1 item failed", "Copy of {} items failed", result.failureCount),
                result.error),
            core::localized("OK"));
}

// MARK: Uploads

void VKFolderOperations::uploadItems(const std::vector<std::shared_ptr<VKFileResource>>& items,
    const std::shared_ptr<VKFileResource>& destination, bool deleteOriginals)
{
    if (!destination || !destination->isCloudResource()) {
        core::log("VKFolderOperations: no upload to a folder outside the cloud");
        return;
    }
    auto operation = VKCloudUploadOperation::initWithResources(items);
    operation->setDestination(destination);
    operation->setDeleteOriginals(deleteOriginals);
    auto host = this->host();
    uploadStartedInBrowser() = host ? host->commandScreen().services() : nullptr;
    if (BrowserOperation::startFileOperation(operation) == NoRun)
        core::log("VKFolderOperations: the upload did not start");
    if (!host)
        return;
    if (host->commandScreen().isEditing())
        host->commandScreen().setEditing(false, true);
    if (deleteOriginals)
        if (auto* table = host->commandTable())
            table->reloadData();
}

std::string VKFolderOperations::transferLabel(size_t count, bool deleteOriginals)
{
    if (count == 1)
        return core::localized(deleteOriginals ? "Moving 1 Item" : "Copying 1 Item");
    return fmt::format(fmt::runtime(core::localized(deleteOriginals ? "Moving {} Items" : "Copying {} Items")), count);
}

// The transfer's label, shown at once with a determinate bar.
static void announceTransfer(VKFileOperation& operation, bool deleteOriginals)
{
    const std::string label = VKFolderOperations::transferLabel(operation.resources().size(), deleteOriginals);
    operation.setLabel(label);
    BrowserOperation::setOperationLabel(label);
    BrowserOperation::setIsOperationIndeterminate(false);
}

void VKFolderOperations::cloudUploadOperationWillStart(VKCloudUploadOperation& operation)
{
    announceTransfer(operation, operation.deleteOriginals());
}

void VKFolderOperations::cloudDownloadOperationWillStart(VKCloudDownloadOperation& operation)
{
    announceTransfer(operation, operation.deleteOriginals());
}

void VKFolderOperations::showActionSheetForCloudUploadOperation(const std::shared_ptr<ui::ActionSheet>& sheet,
    VKCloudUploadOperation& operation)
{
    auto services = uploadStartedInBrowser().lock();
    auto* navigation = services ? services->browserNavigation() : nullptr;
    ui::ViewController* top = navigation ? navigation->topViewController() : nullptr;
    if (!sheet || !top) {
        core::log("VKFolderOperations: no screen to ask about the upload on");
        return;
    }
    // The item the command came from anchors the sheet on a tablet; without
    // it the sheet shows in the top screen.
    std::shared_ptr<ui::BarButtonItem> item;
    if (auto* folder = dynamic_cast<VKFolderControllerBase*>(top))
        item = folder->findBarButtonItemWithAction(operation.deleteOriginals() ? VKFolderCommands::MoveMarkedItemsAction
                                                                               : VKFolderCommands::CopyMarkedItemsAction);
    ::showActionSheet(*top, *sheet, item);
}

// MARK: Compress

void VKFolderOperations::zipItems(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    auto host = this->host();
    if (!host)
        return;
    if (BrowserOperation::isOperationInProgress()) {
        core::log("VKFolderOperations: an operation is running; not compressing");
        return;
    }
    std::vector<std::string> items;
    for (const auto& resource : resources)
        items.push_back(resource->path());
    const std::string archivePath = uniquePathForItemAtPath(
        path::appendingPathComponent(host->commandFolder()->path(), VKFolderZipWork::archiveNameForItems(items)));
    auto quota = VKQuotaManager::defaultManager();
    uint64_t count = 0;
    uint64_t totalBytes = 0;
    for (const auto& item : items) {
        count += 1 + quota->childCountForPath(item);
        totalBytes += quota->sizeForPath(item);
    }
    core::Error error;
    auto archiver = VKZipArchiver::archiverWithPath(archivePath, &error);
    if (!archiver) {
        host->commandScreen().setEditing(false, true);
        operationAlert("Error", archiveFailureText(count, error));
        return;
    }
    const std::string label = countedText("Compressing 1 item", "Compressing {} items", count);
    Run run = startBackgroundOperationWithTarget(self(),
        [archiver, items, totalBytes, count](const std::shared_ptr<core::Object>& target, const core::Value&, Run run) {
            core::Error error;
            auto path = VKFolderZipWork::archiveItems(*archiver, items, totalBytes, run, &error);
            // Handed over without waiting: the worker has nothing left to do.
            core::performOnMainThread([target, path, run, error, count] {
                std::static_pointer_cast<VKFolderOperations>(target)->backgroundArchiveDidComplete(path, run, error,
                    count);
            });
        },
        core::Value(), label, false);
    if (run == NoRun)
        archiver->discard();
}

void VKFolderOperations::backgroundArchiveDidComplete(const std::optional<std::string>& archivePath, Run run,
    const core::Error& error, uint64_t itemCount)
{
    const bool cancelled = BrowserOperation::isOperationCancelled(run);
    BrowserOperation::endOperation(run);
    if (!archivePath) {
        if (!cancelled)
            operationAlert("Error", archiveFailureText(itemCount, error));
        return;
    }
    VKQuotaManager::defaultManager()->updateQuotaForPath(*archivePath);
    auto host = this->host();
    if (!host)
        return;
    if (auto resource = VKFileResource::resourceWithPath(*archivePath)) {
        host->commandAdded(resource);
        if (host->commandScreenIsOnTop())
            host->commandScrollTo(resource, ui::TableView::ScrollPosition::Middle);
    }
    postCollectionUpdate(host->commandScreen().shared_from_this(), host->commandFolder()->path());
}

// MARK: Expand

void VKFolderOperations::unzipResource(const std::shared_ptr<VKFileResource>& resource,
    std::shared_ptr<VKZipUnarchiver> unarchiver)
{
    const std::string archivePath = resource->path();
    const std::string name = path::lastPathComponent(archivePath);
    auto folder = VKFolderZipWork::makeExpansionFolder(archivePath);
    if (!folder) {
        operationAlert("Error", operationText("An error occured whilst unarchiving \"{}\"", name));
        return;
    }
    Run run = startBackgroundOperationWithTarget(self(),
        [unarchiver, folder = *folder, name](const std::shared_ptr<core::Object>& target, const core::Value&, Run run) {
            auto expansion = VKFolderZipWork::expandArchive(*unarchiver, folder, run);
            unarchiver->close();
            // Waits, so the expansion's result is in the list before the
            // worker's end is heard.
            core::performOnMainThreadAndWait([&] {
                std::static_pointer_cast<VKFolderOperations>(target)->backgroundUnarchiveDidComplete(name,
                    expansion.success, expansion.path, run, expansion.error);
            });
        },
        core::Value(), operationText("Expanding {}", name), false);
    if (run == NoRun)
        core::fs::removeItem(*folder);
}

void VKFolderOperations::backgroundUnarchiveDidComplete(const std::string& archiveName, bool success,
    const std::string& path, Run run, const core::Error& error)
{
    const bool cancelled = BrowserOperation::isOperationCancelled(run);
    BrowserOperation::endOperation(run);
    auto host = this->host();
    std::shared_ptr<VKFileResource> resource;
    if (!path.empty() && core::fs::attributes(path)) {
        VKQuotaManager::defaultManager()->updateQuotaForPath(path);
        const std::string parent = path::deletingLastPathComponent(path);
        resource = VKFileResource::resourceWithPath(path);
        // From a "Local Files" result the archive may lie elsewhere: only a
        // child of this folder becomes a row here.
        if (resource && host && parent == host->commandFolder()->path())
            host->commandAdded(resource);
        else
            resource.reset();
        postCollectionUpdate(host ? host->commandScreen().shared_from_this() : nullptr, parent);
    }
    if (success) {
        // The new row is shown and flashed, and left unselected.
        if (resource && host->commandScreenIsOnTop())
            host->commandHighlight(resource);
        return;
    }
    if (!cancelled)
        operationAlert("Warning",
            VKTextWithFailureReason(operationText("Failed to unarchive \"{}\"", archiveName), error));
}
