#include "App/FolderBrowser/VKFolderMoveCopy.h"

#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderOperations.h"
#include "App/FolderBrowser/VKFolderOverwritePlan.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"

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
    return fmt::format(fmt::runtime(core::localized(count == 1 ? one : many)), count);
}

void moveCopyWarning(const std::string& message)
{
    showAlertViewWithTitle(core::localized("Warning"), message, core::localized("OK"));
}

} // namespace

void VKFolderMoveCopy::moveOrCopyMarkedItems(int32_t operation)
{
    auto host = m_commands.host();
    if (!host)
        return;
    const auto marked = m_commands.markedResources();
    for (const auto& resource : marked) {
        if (resource->isLocked()) {
            moveCopyWarning(core::localized("Some items are locked and cannot be moved or copied"));
            return;
        }
        if (!(resource->supportedFileOperations() & operation)) {
            moveCopyWarning(resource->localizedDescriptionForUnsupportedFileOperation(operation).value_or(std::string()));
            return;
        }
    }
    const bool move = operation == VKFileResourceOperationMove;
    auto picker = VKFolderPickerController::folderPickerWithStandardDirectories();
    picker->setPickerDelegate(std::static_pointer_cast<VKFolderMoveCopy>(shared_from_this()));
    picker->setUserInfo(std::make_shared<PickerFollowUp>(move ? MoveToDestinationSelector : CopyToDestinationSelector));
    for (const auto& resource : marked) {
        if (resource->isDirectory())
            picker->addDisabledFolder(resource, true);
    }
    if (move)
        picker->addDisabledFolder(host->commandFolder(), false);
    const std::string count = move ? itemCountText("Move {} Item", "Move {} Items", marked.size())
                                   : itemCountText("Copy {} Item", "Copy {} Items", marked.size());
    // The picker's title says what it is for (the desktop window shows it);
    // its prompt adds the size.
    picker->setTitle(count);
    picker->navigationItem().setPrompt(
        count + ", " + VKBytesFormatter::sharedFormatter().formatBytesAsString(host->commandMarks().markedSize()));
    presentFolderPickerController(picker);
}

// Modal over the browser's stack, as on the device's phones: the bar item
// the command came from only anchors a popover there.
void VKFolderMoveCopy::presentFolderPickerController(const std::shared_ptr<VKFolderPickerController>& picker)
{
    auto host = m_commands.host();
    if (!host)
        return;
    picker->setShowsCancelButton(true);
    auto& screen = host->commandScreen();
    if (auto* navigation = screen.navigationController())
        navigation->presentModalViewController(picker, true);
    else
        screen.presentModalViewController(picker, true);
}

void VKFolderMoveCopy::dismissFolderPickerController()
{
    auto host = m_commands.host();
    if (!host)
        return;
    auto& screen = host->commandScreen();
    if (auto* navigation = screen.navigationController())
        navigation->dismissModalViewController(true);
    else
        screen.dismissModalViewController(true);
}

void VKFolderMoveCopy::folderPickerController(VKFolderPickerController& picker,
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
        core::log("VKFolderMoveCopy: no follow-up {} for a picked folder", followUp->name);
}

void VKFolderMoveCopy::didCancelFolderPickerController(VKFolderPickerController&)
{
    dismissFolderPickerController();
}

bool VKFolderMoveCopy::isInListedFoldersService(const VKFileResource& destination) const
{
    auto host = m_commands.host();
    if (!host || !host->commandFolder()->isCloudResource())
        return false;
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*host->commandFolder());
    return service && path::isWithin(destination.path(), service->localPath());
}

void VKFolderMoveCopy::moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination)
{
    auto host = m_commands.host();
    if (!host)
        return;
    if (!destination->isCloudResource() || isInListedFoldersService(*destination)) {
        checkForMarkedItemCollisionsAtDestination(destination, VKFileResourceOperationMove,
            MoveNoConfirmationSelector);
        return;
    }
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(*destination);
    auto sheet = VKActionSheet::create(
        fmt::format(fmt::runtime(core::localized("Moving items to {} will delete them locally")),
            service ? service->name() : destination->localizedName()),
        m_commands.selfAs<ui::ActionSheetDelegate>(), core::localized("Cancel"), core::localized("Move"));
    vkSetTag(*sheet, VKFolderCommands::Sheet::MoveToCloud);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(destination)));
    ::showActionSheet(host->commandScreen(), *sheet, nullptr);
}

void VKFolderMoveCopy::moveToCloudSheetClickedButton(VKActionSheet& sheet, int index)
{
    if (index != sheet.destructiveButtonIndex())
        return;
    if (auto destination = sheet.userInfo().objectAs<VKFileResource>())
        moveMarkedItemsNoConfirmation(destination);
}

void VKFolderMoveCopy::copyMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination)
{
    auto host = m_commands.host();
    if (!host)
        return;
    if (destination->isCloudResource()
        || path::standardizingPath(destination->path()) == path::standardizingPath(host->commandFolder()->path())) {
        copyMarkedItemsNoConfirmation(destination);
        return;
    }
    checkForMarkedItemCollisionsAtDestination(destination, VKFileResourceOperationCopy, CopyNoConfirmationSelector);
}

void VKFolderMoveCopy::checkForMarkedItemCollisionsAtDestination(const std::shared_ptr<VKFileResource>& destination,
    int32_t operation, const std::string& action)
{
    auto host = m_commands.host();
    if (!host)
        return;
    using Operation = VKFolderOverwritePlan::Operation;
    const Operation kind = operation == VKFileResourceOperationCopy ? Operation::Copy
        : operation == VKFileResourceOperationMove                   ? Operation::Move
        : operation == VKFileResourceOperationDownload               ? Operation::Download
                                                                     : Operation::Other;
    // Only this browser's own moves and copies put replaced items in the trash.
    const bool toTrash = (kind == Operation::Move || kind == Operation::Copy) && !host->commandFolder()->isCloudResource()
        && !destination->isCloudResource();
    VKFolderOverwritePlan plan(m_commands.markedResources(), destination->path(), kind, toTrash);
    if (kind == Operation::Copy) {
        const auto available = VKQuotaManager::defaultManager()->quotaAvailableBytes();
        if (available && plan.bytesNeeded() > int64_t(*available)) {
            moveCopyWarning(core::localized("There is insufficient free space to copy the selected files."));
            return;
        }
    }
    if (plan.collisionCount() == 0) {
        commands().performActionWithDestination(action, core::Value(std::static_pointer_cast<core::Object>(destination)));
        return;
    }
    auto sheet = VKActionSheet::create(plan.sheetTitle(destination->localizedName()), m_commands.selfAs<ui::ActionSheetDelegate>(),
        core::localized("Cancel"), plan.replaceButtonTitle());
    vkSetTag(*sheet, VKFolderCommands::Sheet::Overwrite);
    // Never left to a tap beside the sheet: what is replaced is asked plainly.
    sheet->setShowsCancelButtonWhenAnchored(true);
    sheet->setUserInfo(core::Value(std::make_shared<VKFolderCommands::DestinationChoice>(action,
        core::Value(std::static_pointer_cast<core::Object>(destination)))));
    ::showActionSheet(host->commandScreen(), *sheet, nullptr);
}

void VKFolderMoveCopy::performActionWithDestination(const std::string& action, const core::Value& value)
{
    auto destination = value.objectAs<VKFileResource>();
    if (!destination)
        return;
    if (action == MoveNoConfirmationSelector)
        moveMarkedItemsNoConfirmation(destination);
    else if (action == CopyNoConfirmationSelector)
        copyMarkedItemsNoConfirmation(destination);
    else
        core::log("VKFolderMoveCopy: no action {} with a destination", action);
}

void VKFolderMoveCopy::moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination)
{
    if (destination->isCloudResource())
        uploadMarkedItemsToDestination(destination, true);
    else
        m_commands.operations().moveItems(m_commands.markedResources(), destination);
}

void VKFolderMoveCopy::copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination)
{
    if (destination->isCloudResource())
        uploadMarkedItemsToDestination(destination, false);
    else
        m_commands.operations().copyItems(m_commands.markedResources(), destination);
}

void VKFolderMoveCopy::uploadMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination,
    bool deleteOriginals)
{
    m_commands.operations().uploadItems(m_commands.markedResources(), destination, deleteOriginals);
}
