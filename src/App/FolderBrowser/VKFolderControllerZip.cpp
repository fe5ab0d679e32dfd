// Compressing the marked items into a new archive in the listed folder and
// expanding an archive beside it, each on a worker as the browser's one long
// operation. The work itself (hidden siblings renamed in when whole, the move
// up of a single expanded item) is VKFolderZipWork's; this side checks what
// may be done, asks for a password, starts the operation and takes the
// result back into the list on the main thread.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderZipWork.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKZipArchiver.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TextField.h"

#include <fmt/format.h>

namespace {

std::string formatted(const char* key, const std::string& name)
{
    return fmt::format(fmt::runtime(core::localized(key)), name);
}

void zipAlert(const char* title, const std::string& message)
{
    showAlertViewWithTitle(core::localized(title), message, core::localized("OK"));
}

} // namespace

// MARK: Compress

void VKFolderController::zipMarkedItems(const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(*this);
    auto resources = markedResources();
    if (resources.empty())
        return;
    std::string description;
    if (!editing().markedResourcesSupport(VKFileResourceOperationCompress, &description)) {
        zipAlert("Warning", description);
        return;
    }
    if (isOperationInProgress()) {
        core::log("VKFolderController: an operation is running; not compressing");
        return;
    }
    std::vector<std::string> items;
    for (const auto& resource : resources)
        items.push_back(resource->path());
    const std::string folder = m_resource->path();
    const std::string archivePath =
        uniquePathForItemAtPath(core::path::appendingPathComponent(folder, VKFolderZipWork::archiveNameForItems(items)));
    auto archiver = VKZipArchiver::archiverWithPath(archivePath);
    if (!archiver) {
        setEditing(false, true);
        zipAlert("Error", core::localized("There was an error creating the archive."));
        return;
    }
    auto quota = VKQuotaManager::defaultManager();
    uint64_t count = 0;
    uint64_t totalBytes = 0;
    for (const auto& item : items) {
        count += 1 + quota->childCountForPath(item);
        totalBytes += quota->sizeForPath(item);
    }
    const std::string label = count == 1
        ? core::localized("Compressing 1 item")
        : fmt::format(fmt::runtime(core::localized("Compressing {} items")), count);
    Run run = startBackgroundOperationWithTarget(self(),
        [archiver, items, totalBytes](const std::shared_ptr<core::Object>& target, const core::Value&, Run run) {
            auto path = VKFolderZipWork::archiveItems(*archiver, items, totalBytes, run);
            // Handed over without waiting: the worker has nothing left to do.
            core::performOnMainThread([target, path, run] {
                std::static_pointer_cast<VKFolderController>(target)->backgroundArchiveDidComplete(path, run);
            });
        },
        core::Value(), label, false);
    if (run == NoRun)
        archiver->discard();
}

void VKFolderController::backgroundArchiveDidComplete(const std::optional<std::string>& archivePath, Run run)
{
    const bool cancelled = isOperationCancelled(run);
    endOperation(run);
    if (!archivePath) {
        if (!cancelled)
            zipAlert("Error", core::localized("There was an error creating the archive."));
        return;
    }
    VKQuotaManager::defaultManager()->updateQuotaForPath(*archivePath);
    if (auto resource = VKFileResource::resourceWithPath(*archivePath)) {
        addResourceToModel(resource);
        if (isTopViewController() && isViewLoaded())
            scrollToResource(resource, ui::TableView::ScrollPosition::Middle, true);
    }
    core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification,
        shared_from_this(), core::Value::Dictionary { { "Path", core::Value(m_resource->path()) } });
}

// MARK: Uncompress

void VKFolderController::unzipMarkedItem(const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(*this);
    auto resources = markedResources();
    if (resources.size() != 1)
        return;
    const auto& resource = resources.front();
    if (!(resource->supportedFileOperations() & VKFileResourceOperationUncompress)) {
        zipAlert("Warning",
            resource->localizedDescriptionForUnsupportedFileOperation(VKFileResourceOperationUncompress)
                .value_or(std::string()));
        return;
    }
    unzipResource(resource, std::nullopt);
}

void VKFolderController::unzipResource(const std::shared_ptr<VKFileResource>& resource,
    const std::optional<std::string>& password)
{
    if (!resource)
        return;
    if (isEditing())
        setEditing(false, true);
    if (isOperationInProgress()) {
        core::log("VKFolderController: an operation is running; not expanding {}", resource->name());
        return;
    }
    const std::string archivePath = resource->path();
    const std::string name = core::path::lastPathComponent(archivePath);
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(archivePath);
    if (!unarchiver) {
        zipAlert("Error", formatted("Failed to open zip archive \"{}\"", name));
        return;
    }
    if (!password && unarchiver->isEncrypted()) {
        auto popup = VKPopupAlert::create(formatted("A password is required for\n\"{}\"", name),
            std::static_pointer_cast<VKPopupAlertDelegate>(self()));
        vkSetTag(*popup, Prompt::UnzipPassword);
        popup->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
        popup->addCancelButtonWithTitle(core::localized("Cancel"));
        popup->addButtonWithTitle(core::localized("Unzip"));
        popup->addTextFieldWithPlaceholder(core::localized("Password"), std::string());
        popup->textField()->setSecureTextEntry(true);
        popup->textField()->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
        popup->textField()->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
        if (auto* navigation = navigationController(); navigation && navigation->isViewLoaded())
            popup->showOverView(navigation->view());
        else
            popup->show();
        return;
    }
    // The password lives in the unarchiver only: never in the operation's
    // label, its parameters or a log line.
    unarchiver->setPassword(password);
    auto folder = VKFolderZipWork::makeExpansionFolder(archivePath);
    if (!folder) {
        zipAlert("Error", formatted("An error occured whilst unarchiving \"{}\"", name));
        return;
    }
    Run run = startBackgroundOperationWithTarget(self(),
        [unarchiver, folder = *folder, name](const std::shared_ptr<core::Object>& target, const core::Value&, Run run) {
            auto expansion = VKFolderZipWork::expandArchive(*unarchiver, folder, run);
            unarchiver->close();
            // Waits, so the expansion's result is in the list before the
            // worker's end is heard.
            core::performOnMainThreadAndWait([&] {
                std::static_pointer_cast<VKFolderController>(target)->backgroundUnarchiveDidComplete(name,
                    expansion.success, expansion.path, run);
            });
        },
        core::Value(), formatted("Expanding {}", name), false);
    if (run == NoRun)
        core::fs::removeItem(*folder);
}

void VKFolderController::backgroundUnarchiveDidComplete(const std::string& archiveName, bool success,
    const std::string& path, Run run)
{
    const bool cancelled = isOperationCancelled(run);
    endOperation(run);
    std::shared_ptr<VKFileResource> resource;
    if (!path.empty() && core::fs::attributes(path)) {
        VKQuotaManager::defaultManager()->updateQuotaForPath(path);
        const std::string parent = core::path::deletingLastPathComponent(path);
        resource = VKFileResource::resourceWithPath(path);
        // From a "Local Files" result the archive may lie elsewhere: only a
        // child of this folder becomes a row here.
        if (resource && parent == m_resource->path())
            addResourceToModel(resource);
        else
            resource.reset();
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification,
            shared_from_this(), core::Value::Dictionary { { "Path", core::Value(parent) } });
    }
    if (success) {
        // The new row is shown and flashed, and left unselected.
        if (resource && isTopViewController() && isViewLoaded())
            revealAndHighlightResource(resource);
        return;
    }
    if (!cancelled)
        zipAlert("Warning", formatted("Failed to unarchive \"{}\"", archiveName));
}

void VKFolderController::unzipPasswordPromptClickedButton(VKPopupAlert& popup, int index)
{
    if (index == popup.cancelButtonIndex())
        return;
    auto resource = popup.userInfo().objectAs<VKFileResource>();
    // An empty field is tried as the empty password, and not asked again.
    unzipResource(resource, popup.textField() ? popup.textField()->text() : std::string());
}
