// Moving and copying the marked items into a folder picked in the folder
// picker. The checks (locks, supported operations, names already at the
// destination, free space) and the questions run on the main thread; the
// file work runs on the browser's worker as its one long operation
// (VKFolderItemTransfer), and its end comes back here to update the list,
// the notifications and the alerts. Cloud destinations go to the upload of
// marked items (VKFolderControllerUpload.cpp).

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderControllerOperationObserver.h"
#include "App/FolderBrowser/VKFolderItemTransfer.h"
#include "App/FolderBrowser/VKFolderOverwritePlan.h"
#include "App/FolderBrowser/VKFolderPickerController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"

#include <fmt/format.h>

namespace path = core::path;

namespace {

// The picker's userInfo: the name of what runs with the picked folder.
class PickerFollowUp : public core::Object {
public:
    explicit PickerFollowUp(std::string name) : name(std::move(name)) { }
    const std::string name;
};

std::string itemCountText(const char* one, const char* many, uint64_t count)
{
    return count == 1 ? fmt::format(fmt::runtime(core::localized(one)), count)
                      : fmt::format(fmt::runtime(core::localized(many)), count);
}

} // namespace

void VKFolderController::moveMarkedItems(const std::shared_ptr<core::Object>&)
{
    moveOrCopyMarkedItems(VKFileResourceOperationMove);
}

void VKFolderController::copyMarkedItems(const std::shared_ptr<core::Object>&)
{
    moveOrCopyMarkedItems(VKFileResourceOperationCopy);
}

void VKFolderController::moveOrCopyMarkedItems(int32_t operation)
{
    const auto marked = markedResources();
    for (const auto& resource : marked) {
        if (resource->isLocked()) {
            showAlertViewWithTitle(core::localized("Warning"),
                core::localized("Some items are locked and cannot be moved or copied"), core::localized("OK"));
            return;
        }
        if (!(resource->supportedFileOperations() & operation)) {
            showAlertViewWithTitle(core::localized("Warning"),
                resource->localizedDescriptionForUnsupportedFileOperation(operation).value_or(std::string()),
                core::localized("OK"));
            return;
        }
    }
    const bool move = operation == VKFileResourceOperationMove;
    auto picker = VKFolderPickerController::folderPickerWithStandardDirectories();
    picker->setPickerDelegate(std::static_pointer_cast<VKFolderPickerControllerDelegate>(self()));
    picker->setUserInfo(std::make_shared<PickerFollowUp>(move ? MoveToDestinationSelector : CopyToDestinationSelector));
    for (const auto& resource : marked) {
        if (resource->isDirectory())
            picker->addDisabledFolder(resource, true);
    }
    if (move)
        picker->addDisabledFolder(m_resource, false);
    const std::string count = move ? itemCountText("Move {} Item", "Move {} Items", marked.size())
                                   : itemCountText("Copy {} Item", "Copy {} Items", marked.size());
    picker->navigationItem().setPrompt(
        count + ", " + VKBytesFormatter::sharedFormatter().formatBytesAsString(markedSize()));
    presentFolderPickerController(picker);
}

// Modal over the browser's stack, as on the device's phones: the bar item
// the command came from only anchors a popover there.
void VKFolderController::presentFolderPickerController(const std::shared_ptr<VKFolderPickerController>& picker)
{
    picker->setShowsCancelButton(true);
    if (auto* navigation = navigationController())
        navigation->presentModalViewController(picker, true);
    else
        presentModalViewController(picker, true);
}

void VKFolderController::dismissFolderPickerController()
{
    if (auto* navigation = navigationController())
        navigation->dismissModalViewController(true);
    else
        dismissModalViewController(true);
}

void VKFolderController::folderPickerController(VKFolderPickerController& picker,
    const std::shared_ptr<VKFileResource>& folder)
{
    auto followUp = std::dynamic_pointer_cast<PickerFollowUp>(picker.userInfo());
    // The picker goes first: what follows may show a sheet of its own.
    dismissFolderPickerController();
    if (!followUp || !folder)
        return;
    if (followUp->name == MoveToDestinationSelector)
        moveMarkedItemsToDestination(folder);
    else if (followUp->name == CopyToDestinationSelector)
        copyMarkedItemsToDestination(folder);
    else
        core::log("VKFolderController: no follow-up {} for a picked folder", followUp->name);
}

void VKFolderController::didCancelFolderPickerController(VKFolderPickerController&)
{
    dismissFolderPickerController();
}

bool VKFolderController::isInListedFoldersService(const VKFileResource& destination) const
{
    if (!m_resource->isCloudResource())
        return false;
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*m_resource);
    return service && path::isWithin(destination.path(), service->localPath());
}

void VKFolderController::moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination)
{
    if (!destination->isCloudResource() || isInListedFoldersService(*destination)) {
        checkForMarkedItemCollisionsAtDestination(destination, VKFileResourceOperationMove,
            MoveNoConfirmationSelector);
        return;
    }
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*destination);
    auto sheet = VKActionSheet::create(
        fmt::format(fmt::runtime(core::localized("Moving items to {} will delete them locally")),
            service ? service->name() : destination->localizedName()),
        std::static_pointer_cast<ui::ActionSheetDelegate>(self()), core::localized("Cancel"), core::localized("Move"));
    vkSetTag(*sheet, Sheet::MoveToCloud);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(destination)));
    ::showActionSheet(*this, *sheet, nullptr);
}

void VKFolderController::moveToCloudSheetClickedButton(VKActionSheet& sheet, int index)
{
    if (index != sheet.destructiveButtonIndex())
        return;
    if (auto destination = sheet.userInfo().objectAs<VKFileResource>())
        moveMarkedItemsNoConfirmation(destination);
}

void VKFolderController::copyMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination)
{
    if (destination->isCloudResource()
        || path::standardizingPath(destination->path()) == path::standardizingPath(folderPath())) {
        copyMarkedItemsNoConfirmation(destination);
        return;
    }
    checkForMarkedItemCollisionsAtDestination(destination, VKFileResourceOperationCopy, CopyNoConfirmationSelector);
}

void VKFolderController::checkForMarkedItemCollisionsAtDestination(const std::shared_ptr<VKFileResource>& destination,
    int32_t operation, const std::string& action)
{
    using Operation = VKFolderOverwritePlan::Operation;
    const Operation kind = operation == VKFileResourceOperationCopy ? Operation::Copy
        : operation == VKFileResourceOperationMove                   ? Operation::Move
        : operation == VKFileResourceOperationDownload               ? Operation::Download
                                                                     : Operation::Other;
    // Only this browser's own moves and copies put replaced items in the trash.
    const bool toTrash = (kind == Operation::Move || kind == Operation::Copy) && isLocalFolder()
        && !destination->isCloudResource();
    VKFolderOverwritePlan plan(markedResources(), destination->path(), kind, toTrash);
    if (kind == Operation::Copy) {
        const auto available = VKQuotaManager::defaultManager()->quotaAvailableBytes();
        if (available && plan.bytesNeeded() > int64_t(*available)) {
            showAlertViewWithTitle(core::localized("Warning"),
                core::localized("There is insufficient free space to copy the selected files."), core::localized("OK"));
            return;
        }
    }
    if (plan.collisionCount() == 0) {
        performActionWithDestination(action, core::Value(std::static_pointer_cast<core::Object>(destination)));
        return;
    }
    auto sheet = VKActionSheet::create(plan.sheetTitle(destination->localizedName()),
        std::static_pointer_cast<ui::ActionSheetDelegate>(self()), core::localized("Cancel"), plan.replaceButtonTitle());
    vkSetTag(*sheet, Sheet::Overwrite);
    // Never left to a tap beside the sheet: what is replaced is asked plainly.
    sheet->setShowsCancelButtonWhenAnchored(true);
    sheet->setUserInfo(core::Value::makeDictionary({ { "action", core::Value(action) },
        { "destination", core::Value(std::static_pointer_cast<core::Object>(destination)) } }));
    ::showActionSheet(*this, *sheet, nullptr);
}

void VKFolderController::performActionWithDestination(const std::string& action, const core::Value& value)
{
    auto destination = value.objectAs<VKFileResource>();
    if (!destination)
        return;
    if (action == MoveNoConfirmationSelector)
        moveMarkedItemsNoConfirmation(destination);
    else if (action == CopyNoConfirmationSelector)
        copyMarkedItemsNoConfirmation(destination);
    else
        core::log("VKFolderController: no action {} with a destination", action);
}

// ---- Move --------------------------------------------------------------

void VKFolderController::moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination)
{
    if (destination->isCloudResource()) {
        uploadMarkedItemsToDestination(destination, true);
        return;
    }
    // A refused start must not have moved the downloads already.
    if (isOperationInProgress()) {
        core::log("VKFolderController: a move waits for the running operation");
        return;
    }
    const std::string destinationPath = path::standardizingPath(destination->path());
    auto marked = markedResources();
    // Unfinished downloads only change where they will land.
    std::vector<std::shared_ptr<VKFileResource>> moved;
    std::vector<std::shared_ptr<VKFileResource>> files;
    for (const auto& resource : marked) {
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
    const std::string label = itemCountText("Moving {} Item", "Moving {} Items", files.size());
    std::weak_ptr<VKFolderController> weak = self();
    auto work = [weak, files, destinationPath, outcome](const std::shared_ptr<core::Object>&, const core::Value&,
                    Run run) {
        VKFolderItemTransfer::Hooks hooks;
        hooks.isCancelled = [run] { return isOperationCancelled(run); };
        hooks.progress = [run](double fraction) { setOperationProgress(float(fraction), run); };
        hooks.moved = [weak, outcome](const std::shared_ptr<VKFileResource>& resource, const std::string& to,
                          bool replaced) {
            const std::string from = resource->path();
            core::performOnMainThread([weak, outcome, resource, from, to, replaced] {
                outcome->moved.push_back(resource);
                if (replaced)
                    VKFileSettingsManager::defaultManager()->removeBookmarksAndSettingsForItemAtPath(to);
                auto controller = weak.lock();
                core::NotificationCenter::defaultCenter().post(VKFolderControllerDidMoveResourceNotification,
                    controller, core::Value::makeDictionary({ { "OldPath", from }, { "NewPath", to } }));
            });
        };
        VKFolderItemTransfer::Request request { files, destinationPath, false };
        auto result = VKFolderItemTransfer::moveItems(request, hooks);
        core::performOnMainThread([weak, outcome, result, run] {
            outcome->failures = result.failureCount;
            const bool cancelled = result.cancelled || isOperationCancelled(run);
            endOperation(run);
            if (auto controller = weak.lock())
                controller->finishMove(*outcome, cancelled);
        });
    };
    if (startBackgroundOperationWithTarget(self(), work, core::Value(), label, false) == NoRun)
        core::log("VKFolderController: the move did not start");
}

void VKFolderController::finishMove(const MoveOutcome& outcome, bool cancelled)
{
    beginModelUpdates();
    removeResourcesFromModel(outcome.moved);
    endModelUpdates();
    if (!outcome.moved.empty()) {
        updateModelAndView();
        updateFolderInfo();
        auto& center = core::NotificationCenter::defaultCenter();
        center.post(VKFolderControllerCollectionDidUpdateNotification, self(),
            core::Value::makeDictionary({ { "Path", folderPath() } }));
        center.post(VKFolderControllerCollectionDidUpdateNotification, self(),
            core::Value::makeDictionary({ { "Path", outcome.destination } }));
    }
    if (isEditing())
        setEditing(false, true);
    if (!cancelled && outcome.failures > 0) {
        showAlertViewWithMessage(
            fmt::format(fmt::runtime(core::localized("Move of {} items failed")), outcome.failures),
            core::localized("OK"));
    }
}

// ---- Copy --------------------------------------------------------------

void VKFolderController::copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination)
{
    if (destination->isCloudResource()) {
        uploadMarkedItemsToDestination(destination, false);
        return;
    }
    auto marked = markedResources();
    if (isEditing())
        setEditing(false, true);
    auto quota = VKQuotaManager::defaultManager();
    uint64_t count = 0;
    uint64_t bytes = 0;
    core::Value::Array resources;
    for (const auto& resource : marked) {
        count += 1 + quota->childCountForPath(resource->path());
        bytes += quota->sizeForPath(resource->path());
        resources.push_back(core::Value(std::static_pointer_cast<core::Object>(resource)));
    }
    core::Value parameters = core::Value::makeDictionary({ { "Resources", core::Value(std::move(resources)) },
        { "Destination", core::Value(path::standardizingPath(destination->path())) },
        { "TotalBytes", core::Value(static_cast<unsigned long long>(bytes)) } });
    const std::string label = itemCountText("Copying {} Item", "Copying {} Items", count);
    auto work = [](const std::shared_ptr<core::Object>&, const core::Value& object, Run run) {
        copyItemsInBackground(object, run);
    };
    if (startBackgroundOperationWithTarget(self(), work, std::move(parameters), label, false) == NoRun)
        core::log("VKFolderController: the copy did not start");
}

void VKFolderController::copyItemsInBackground(const core::Value& parameters, Run run)
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
    hooks.isCancelled = [run] { return isOperationCancelled(run); };
    hooks.delegate = observer.get();
    auto result = VKFolderItemTransfer::copyItems(request, hooks);
    core::performOnMainThread([result, run] { backgroundCopyOperationDidComplete(result, run); });
}

void VKFolderController::backgroundCopyOperationDidComplete(const VKFolderItemTransfer::Result& result, Run run)
{
    const bool cancelled = result.cancelled || isOperationCancelled(run);
    // The replaced items are gone: so are their bookmarks and settings.
    for (const auto& replaced : result.replacedPaths)
        VKFileSettingsManager::defaultManager()->removeBookmarksAndSettingsForItemAtPath(replaced);
    endOperation(run);
    core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        core::Value::makeDictionary({ { "Path", result.destination } }));
    if (!cancelled && result.failureCount > 0) {
        showAlertViewWithMessage(
            fmt::format(fmt::runtime(core::localized("Copy of {} items failed")), result.failureCount),
            core::localized("OK"));
    }
}
