// Syncing a cloud folder's files, or the marked files, for use offline:
// the confirmation sheet names how many files and how many bytes (folders
// are never synced, and the title says so when some were left out), and
// its Sync button starts one sync operation over those files.

#include "App/FolderBrowser/VKCloudFolderController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "CloudOperations/VKCloudSyncOperation.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/BarButtonItem.h"

#include <fmt/format.h>

void VKCloudFolderController::syncFolder(const std::shared_ptr<core::Object>&)
{
    handleAction(EditAction::SyncFolder, core::Value());
}

void VKCloudFolderController::syncFolderOrMarkedItems(const std::shared_ptr<core::Object>&)
{
    handleAction(markedResources().empty() ? EditAction::SyncFolder : EditAction::SyncMarkedItems, core::Value());
}

void VKCloudFolderController::confirmSyncAction(EditAction action)
{
    std::vector<std::shared_ptr<VKFileResource>> candidates;
    if (action == EditAction::SyncMarkedItems)
        candidates = markedResources();
    else if (auto children = resource()->children())
        candidates = std::move(*children);
    std::vector<std::shared_ptr<VKFileResource>> files;
    for (const auto& candidate : candidates)
        if (candidate && !candidate->isCollection())
            files.push_back(candidate);
    if (files.empty()) {
        showAlertViewWithTitle(core::localized("Warning"), core::localized("There are no files to sync"),
            core::localized("OK"));
        return;
    }
    // The size the browser shows for the selection or the folder (64-bit:
    // a few large files pass 4 GiB).
    const uint64_t size = action == EditAction::SyncMarkedItems ? markedSize() : resource()->sizeOfChildren();
    std::string title = files.size() == 1
        ? core::localized("Confirm sync of 1 file")
        : fmt::format(fmt::runtime(core::localized("Confirm sync of {} files")), files.size());
    if (files.size() < candidates.size())
        title += "\n" + core::localized("(excludes sub-folders)");
    core::Value::Array userInfo;
    for (const auto& file : files)
        userInfo.emplace_back(std::static_pointer_cast<core::Object>(file));
    auto sheet = VKActionSheet::create(title, std::static_pointer_cast<ui::ActionSheetDelegate>(cloudSelf()));
    vkSetTag(*sheet, Sheet::SyncConfirmation);
    sheet->setUserInfo(core::Value(std::move(userInfo)));
    sheet->addButtonWithTitle(fmt::format(fmt::runtime(core::localized("Sync ({})")),
                                  VKBytesFormatter::sharedFormatter().formatBytesAsString(size)),
        VKActionSheet::UntaggedButton);
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    std::shared_ptr<ui::BarButtonItem> item;
    if (action == EditAction::SyncFolder)
        item = findBarButtonItemWithAction(VKFolderController::SyncFolderAction);
    if (!item)
        item = findBarButtonItemWithAction(ShowEditActionMenuAction);
    dismissActiveActionSheet(*this);
    ::showActionSheet(*this, *sheet, item);
}

void VKCloudFolderController::syncSheetClickedButton(VKActionSheet& sheet, int index)
{
    if (index == sheet.cancelButtonIndex() || !sheet.userInfo().isArray())
        return;
    std::vector<std::shared_ptr<VKFileResource>> files;
    for (const auto& value : sheet.userInfo().array())
        if (auto file = value.objectAs<VKFileResource>())
            files.push_back(file);
    startSyncForResources(files);
}

void VKCloudFolderController::startSyncForResources(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    startCloudOperation(VKCloudSyncOperation::initWithResources(resources));
}
