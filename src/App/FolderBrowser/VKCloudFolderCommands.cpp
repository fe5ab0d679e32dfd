#include "App/FolderBrowser/VKCloudFolderCommands.h"

#include "App/FolderBrowser/VKCloudFolderMoveCopy.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "CloudOperations/VKCloudCreateFolderOperation.h"
#include "CloudOperations/VKCloudDeleteOperation.h"
#include "CloudOperations/VKCloudRenameOperation.h"
#include "CloudOperations/VKCloudSyncOperation.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/BarButtonItem.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"

#include <fmt/format.h>

namespace path = core::path;

std::shared_ptr<VKCloudFolderCommands> VKCloudFolderCommands::create()
{
    return std::make_shared<VKCloudFolderCommands>();
}

VKCloudFolderCommands::VKCloudFolderCommands()
{
    setMoveCopy(std::make_shared<VKCloudFolderMoveCopy>(*this));
}

std::shared_ptr<VKCloudService> VKCloudFolderCommands::cloudService() const
{
    auto host = this->host();
    return host ? VKCloudServicesManager::sharedManager()->cloudServiceForResource(*host->commandFolder()) : nullptr;
}

bool VKCloudFolderCommands::isInService(const VKFileResource& item) const
{
    auto service = cloudService();
    return service && path::isWithin(path::standardizingPath(item.path()), path::standardizingPath(service->localPath()));
}

void VKCloudFolderCommands::startCloudOperation(const std::shared_ptr<VKFileOperation>& operation)
{
    if (VKBrowserOperation::startFileOperation(operation) == VKBrowserOperation::NoRun)
        core::log("VKCloudFolderCommands: {} did not start", operation ? operation->label() : std::string("(null)"));
    endEditing();
}

std::vector<VKFolderEditing::Button> VKCloudFolderCommands::toolbarButtons()
{
    // The English word names the picture whatever the title's language.
    return {
        { "Delete", "Delete", DeleteMarkedItemsAction, sendTo(&VKCloudFolderCommands::deleteMarkedItems) },
        { "Move", "Move", MoveMarkedItemsAction, sendTo(&VKCloudFolderCommands::moveMarkedItems) },
        { "Copy", "Copy", CopyMarkedItemsAction, sendTo(&VKCloudFolderCommands::copyMarkedItems) },
        { "Sync", "Sync", SyncFolderAction, sendTo(&VKCloudFolderCommands::syncFolder) },
        { "More", "More", ShowEditActionMenuAction, sendTo(&VKCloudFolderCommands::showEditActionMenu) },
    };
}

void VKCloudFolderCommands::showEditActionMenu(const std::shared_ptr<core::Object>& sender)
{
    auto sheet = VKActionSheet::create("", selfAs<ui::ActionSheetDelegate>());
    vkSetTag(*sheet, Sheet::EditActionMenu);
    vkAddButton(*sheet, core::localized("Import Media"), EditAction::ImportMedia);
    const auto marked = markedResources();
    if (marked.size() == 1) {
        const auto& only = marked.front();
        if (!only->isLocked() && (only->supportedFileOperations() & VKFileResourceOperationRename)) {
            sheet->setTitle(only->name());
            vkAddButton(*sheet, core::localized("Rename"), EditAction::Rename);
        }
    }
    finishEditActionMenu(*sheet, sender);
}

void VKCloudFolderCommands::handleAction(EditAction action, const core::Value& userInfo)
{
    if (action == EditAction::SyncFolder || action == EditAction::SyncMarkedItems) {
        confirmSyncAction(action);
        return;
    }
    VKFolderCommands::handleAction(action, userInfo);
}

void VKCloudFolderCommands::clickedButton(ui::ActionSheet& sheet, int index)
{
    if (vkTagOf<Sheet>(sheet) == Sheet::SyncConfirmation) {
        if (auto* tagged = vkTaggedSheet(sheet))
            syncSheetClickedButton(*tagged, index);
        return;
    }
    VKFolderCommands::clickedButton(sheet, index);
}

void VKCloudFolderCommands::createNewFolderAtPath(const std::string& path)
{
    startCloudOperation(VKCloudCreateFolderOperation::initWithPath(path));
}

void VKCloudFolderCommands::deleteMarkedItemsNoConfirmation()
{
    startCloudOperation(VKCloudDeleteOperation::initWithResources(markedResources()));
}

void VKCloudFolderCommands::renameResourceNoConfirmation(const std::shared_ptr<VKFileResource>& resource,
    const std::string& name)
{
    startCloudOperation(VKCloudRenameOperation::initWithResource(resource, name));
}

// MARK: Sync

void VKCloudFolderCommands::syncFolder(const std::shared_ptr<core::Object>&)
{
    handleAction(EditAction::SyncFolder, core::Value());
}

void VKCloudFolderCommands::syncFolderOrMarkedItems(const std::shared_ptr<core::Object>&)
{
    handleAction(markedResources().empty() ? EditAction::SyncFolder : EditAction::SyncMarkedItems, core::Value());
}

void VKCloudFolderCommands::confirmSyncAction(EditAction action)
{
    auto host = this->host();
    if (!host)
        return;
    const auto& folder = host->commandFolder();
    std::vector<std::shared_ptr<VKFileResource>> candidates;
    if (action == EditAction::SyncMarkedItems)
        candidates = markedResources();
    else if (auto children = folder->children())
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
    const uint64_t size = action == EditAction::SyncMarkedItems ? host->commandMarks().markedSize() : folder->sizeOfChildren();
    std::string title = files.size() == 1
        ? core::localized("Confirm sync of 1 file")
        : fmt::format(fmt::runtime(core::localized("Confirm sync of {} files")), files.size());
    if (files.size() < candidates.size())
        title += "\n" + core::localized("(excludes sub-folders)");
    core::Value::Array userInfo;
    for (const auto& file : files)
        userInfo.emplace_back(std::static_pointer_cast<core::Object>(file));
    auto sheet = VKActionSheet::create(title, selfAs<ui::ActionSheetDelegate>());
    vkSetTag(*sheet, Sheet::SyncConfirmation);
    sheet->setUserInfo(core::Value(std::move(userInfo)));
    sheet->addButtonWithTitle(fmt::format(fmt::runtime(core::localized("Sync ({})")),
                                  VKBytesFormatter::sharedFormatter().formatBytesAsString(size)),
        VKActionSheet::UntaggedButton);
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    auto& screen = host->commandScreen();
    std::shared_ptr<ui::BarButtonItem> item;
    if (action == EditAction::SyncFolder)
        item = screen.findBarButtonItemWithAction(SyncFolderAction);
    if (!item)
        item = screen.findBarButtonItemWithAction(ShowEditActionMenuAction);
    showSheet(*sheet, item);
}

void VKCloudFolderCommands::syncSheetClickedButton(VKActionSheet& sheet, int index)
{
    if (index == sheet.cancelButtonIndex() || !sheet.userInfo().isArray())
        return;
    std::vector<std::shared_ptr<VKFileResource>> files;
    for (const auto& value : sheet.userInfo().array())
        if (auto file = value.objectAs<VKFileResource>())
            files.push_back(file);
    startSyncForResources(files);
}

void VKCloudFolderCommands::startSyncForResources(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    startCloudOperation(VKCloudSyncOperation::initWithResources(resources));
}
