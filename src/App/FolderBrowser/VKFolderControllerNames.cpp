// Naming things in the folder: a new folder, and a new name for the one
// marked item. Both ask in a popup, check the typed name against the
// folder's children (a taken name asks again, naming it), and only then touch
// the disk through the two calls the cloud screens replace. A typed name is
// only ever a name: anything that would reach another folder is refused.

#include "App/FolderBrowser/VKFolderController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TextField.h"

#include <fmt/format.h>

namespace {

std::string quoted(const std::string& format, const std::string& name)
{
    return fmt::format(fmt::runtime(core::localized(format)), name);
}

void alert(const std::string& message)
{
    showAlertViewWithMessage(message, core::localized("OK"));
}

} // namespace

bool VKFolderController::isValidItemName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= MaximumNameLength
        && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// MARK: New folder

void VKFolderController::createNewFolder(const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(*this);
    promptForNewFolderNamePreviousConflict(std::nullopt);
}

void VKFolderController::promptForNewFolderNamePreviousConflict(const std::optional<std::string>& conflict)
{
    if (conflict)
        showNewFolderPrompt(quoted("\"{}\" is already taken:", *conflict), *conflict);
    else
        showNewFolderPrompt(core::localized("Please enter a folder name:"), "");
}

void VKFolderController::showNewFolderPrompt(const std::string& title, const std::string& text)
{
    auto popup = VKPopupAlert::create(title, std::static_pointer_cast<VKPopupAlertDelegate>(self()));
    vkSetTag(*popup, Prompt::NewFolder);
    popup->addCancelButtonWithTitle(core::localized("Cancel"));
    popup->addButtonWithTitle(core::localized("Create"));
    popup->addTextFieldWithPlaceholder(core::localized("Name"), text);
    popup->textField()->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::Sentences);
    popup->textField()->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    auto* navigation = navigationController();
    if (navigation)
        popup->showBelowView(std::static_pointer_cast<ui::View>(navigation->navigationBar().shared_from_this()));
    else
        popup->show();
}

void VKFolderController::tryCreatingNewFolder(const std::string& name)
{
    if (name.empty()) {
        showNewFolderPrompt(core::localized("A name is needed"), "");
        return;
    }
    if (!isValidItemName(name)) {
        showNewFolderPrompt(quoted("\"{}\" is not a valid name:", name), name);
        return;
    }
    if (childExistsWithName(name, true)) {
        promptForNewFolderNamePreviousConflict(name);
        return;
    }
    std::string path = core::path::appendingPathComponent(m_folderPath, name);
    auto application = VKApplication::sharedApplication();
    if (application && path == core::path::standardizingPath(application->inboxDirectory())) {
        showAlertViewWithTitle(core::localized("Warning"),
            core::localized("The iPhone OS does not allow creation of \"Inbox\" in the root directory."),
            core::localized("OK"));
        return;
    }
    createNewFolderAtPath(path);
}

void VKFolderController::createNewFolderAtPath(const std::string& path)
{
    core::Error error;
    if (!core::fs::createDirectory(path, false, &error)) {
        core::log("Warning, failed to create folder {}: {}", path, error);
        alert(quoted("There was an error creating the folder \"{}\"", core::path::lastPathComponent(path)));
        return;
    }
    VKQuotaManager::defaultManager()->updateQuotaForPath(path);
    auto resource = VKFileResource::resourceWithPath(path);
    addResourceToModel(resource);
    setEditing(false, true);
    if (resource && isTopViewController())
        if (auto row = indexPathOfResource(*resource))
            activeTableView().scrollToRow(*row, ui::TableView::ScrollPosition::Top, true);
}

// MARK: Rename

void VKFolderController::renameMarkedItem(const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(*this);
    auto marked = markedResources();
    if (marked.size() != 1)
        return;
    promptForNewNameForResource(marked.front(), std::nullopt);
}

void VKFolderController::promptForNewNameForResource(const std::shared_ptr<VKFileResource>& resource,
    const std::optional<std::string>& conflict)
{
    if (!resource)
        return;
    if (conflict)
        showRenamePrompt(resource, quoted("\"{}\" is already taken:", *conflict), resource->name());
    else
        showRenamePrompt(resource, quoted("Rename \"{}\":", resource->name()), resource->name());
}

void VKFolderController::showRenamePrompt(const std::shared_ptr<VKFileResource>& resource, const std::string& title,
    const std::string& text)
{
    if (isViewLoaded())
        if (auto row = indexPathOfResource(*resource))
            activeTableView().scrollToRow(*row, ui::TableView::ScrollPosition::None, true);
    auto popup = VKPopupAlert::create(title, std::static_pointer_cast<VKPopupAlertDelegate>(self()));
    vkSetTag(*popup, Prompt::Rename);
    popup->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
    popup->addCancelButtonWithTitle(core::localized("Cancel"));
    popup->addButtonWithTitle(core::localized("Rename"));
    popup->addTextFieldWithPlaceholder(core::localized("Name"), text);
    popup->textField()->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    popup->textField()->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    if (isViewLoaded())
        popup->showOverView(std::static_pointer_cast<ui::View>(activeTableView().shared_from_this()));
    else
        popup->show();
}

void VKFolderController::renameResource(const std::shared_ptr<VKFileResource>& resource, const std::string& name,
    bool withConfirmations)
{
    if (!resource)
        return;
    const std::string current = resource->name();
    if (name == current) {
        setEditing(false, true);
        return;
    }
    if (name.empty()) {
        showRenamePrompt(resource, core::localized("A name is needed"), current);
        return;
    }
    if (!isValidItemName(name)) {
        showRenamePrompt(resource, quoted("\"{}\" is not a valid name:", name), name);
        return;
    }
    bool caseOnly = core::caseFolded(name) == core::caseFolded(current);
    if (!caseOnly && childExistsWithName(name, true)) {
        promptForNewNameForResource(resource, name);
        return;
    }
    std::string oldExtension = resource->pathExtension();
    std::string newExtension = core::path::pathExtension(name);
    bool document = !resource->isCollection() || resource->isPackage();
    if (withConfirmations && document && !oldExtension.empty()
        && core::caseFolded(oldExtension) != core::caseFolded(newExtension)) {
        std::string title = newExtension.empty()
            ? quoted("Warning, removing the extension \".{}\" may prevent the document opening correctly.", oldExtension)
            : quoted("Warning, changing the extension \".{}\" may prevent the document opening correctly.", oldExtension);
        auto sheet = VKActionSheet::create(title, std::static_pointer_cast<ui::ActionSheetDelegate>(self()));
        vkSetTag(*sheet, Sheet::Extension);
        sheet->setUserInfo(core::Value(core::Value::Dictionary {
            { "resource", core::Value(std::static_pointer_cast<core::Object>(resource)) },
            { "name", core::Value(name) },
        }));
        sheet->setCancelButtonIndex(vkAddButton(*sheet, quoted("Keep .{}", oldExtension), EditAction::KeepExtension));
        std::string change = newExtension.empty() ? core::localized("Remove Extension") : quoted("Use .{}", newExtension);
        sheet->setDestructiveButtonIndex(vkAddButton(*sheet, change, EditAction::ChangeExtension));
        dismissActiveActionSheet(*this);
        ::showActionSheet(*this, *sheet, findBarButtonItemWithAction(RenameMarkedItemAction));
        return;
    }
    renameResourceNoConfirmation(resource, name);
}

void VKFolderController::renameResourceNoConfirmation(const std::shared_ptr<VKFileResource>& resource,
    const std::string& name)
{
    const std::string oldPath = resource->path();
    const std::string newPath = core::path::appendingPathComponent(core::path::deletingLastPathComponent(oldPath), name);
    if (moveFileResource(resource, newPath) != VKRemoveResultDone) {
        alert(quoted("There was an error renaming \"{}\"", resource->name()));
        return;
    }
    auto renamed = VKFileResource::resourceWithPath(newPath);
    if (renamed)
        replaceResourceInModel(resource, renamed);
    else
        removeResourceFromModel(resource);
    setEditing(false, true);
    if (renamed && isTopViewController())
        scrollToResource(renamed, ui::TableView::ScrollPosition::None, true);
    auto& center = core::NotificationCenter::defaultCenter();
    center.post(VKFolderControllerDidMoveResourceNotification, shared_from_this(),
        core::Value::Dictionary { { "OldPath", core::Value(oldPath) }, { "NewPath", core::Value(newPath) } });
    center.post(VKFolderControllerCollectionDidUpdateNotification, shared_from_this(),
        core::Value::Dictionary { { "Path", core::Value(m_resource->path()) } });
}
