#include "App/FolderBrowser/VKFolderNaming.h"

#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TextField.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "Shell/VKApplication.h"

#include <fmt/format.h>

namespace path = core::path;

namespace {

std::string namingText(const std::string& format, const std::string& name)
{
    return fmt::format(fmt::runtime(core::localized(format)), name);
}

} // namespace

// MARK: New folder

bool VKFolderNaming::isValidItemName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= MaximumNameLength
        && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

void VKFolderNaming::promptForNewFolderNamePreviousConflict(const std::optional<std::string>& conflict)
{
    if (conflict)
        showNewFolderPrompt(namingText("\"{}\" is already taken:", *conflict), *conflict);
    else
        showNewFolderPrompt(core::localized("Please enter a folder name:"), "");
}

void VKFolderNaming::showNewFolderPrompt(const std::string& title, const std::string& text)
{
    auto host = m_commands.host();
    auto popup = VKPopupAlert::create(title, m_commands.selfAs<VKPopupAlertDelegate>());
    vkSetTag(*popup, VKFolderCommands::Prompt::NewFolder);
    popup->addCancelButtonWithTitle(core::localized("Cancel"));
    popup->addButtonWithTitle(core::localized("Create"));
    popup->addTextFieldWithPlaceholder(core::localized("Name"), text);
    popup->textField()->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::Sentences);
    popup->textField()->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    auto* navigation = host ? host->commandScreen().navigationController() : nullptr;
    if (navigation)
        popup->showBelowView(std::static_pointer_cast<ui::View>(navigation->navigationBar().shared_from_this()));
    else
        popup->show();
}

void VKFolderNaming::newFolderNameTyped(const std::string& name)
{
    auto host = m_commands.host();
    if (host && isValidItemName(name) && name.starts_with('.') && !host->commandShowsHiddenFiles()) {
        auto warning = VKAlertView::create(core::localized("Warning"),
            core::localized("Names begining with a \".\" will only be visible if the setting \"Show Hidden Files\" is enabled."),
            m_commands.selfAs<ui::AlertViewDelegate>(), core::localized("Cancel"), { core::localized("Create") });
        vkSetTag(*warning, VKFolderCommands::Alert::HiddenName);
        warning->setUserInfo(core::Value(name));
        warning->show();
        return;
    }
    tryCreatingNewFolder(name);
}

void VKFolderNaming::tryCreatingNewFolder(const std::string& name)
{
    auto host = m_commands.host();
    if (!host)
        return;
    if (name.empty()) {
        showNewFolderPrompt(core::localized("A name is needed"), "");
        return;
    }
    if (!isValidItemName(name)) {
        showNewFolderPrompt(namingText("\"{}\" is not a valid name:", name), name);
        return;
    }
    if (host->commandNameIsTaken(name, true)) {
        promptForNewFolderNamePreviousConflict(name);
        return;
    }
    std::string folder = path::appendingPathComponent(path::standardizingPath(host->commandFolder()->path()), name);
    auto application = VKApplication::sharedApplication();
    if (application && folder == path::standardizingPath(application->inboxDirectory())) {
        showAlertViewWithTitle(core::localized("Warning"),
            core::localized("The iPhone OS does not allow creation of \"Inbox\" in the root directory."),
            core::localized("OK"));
        return;
    }
    m_commands.createNewFolderAtPath(folder);
}

void VKFolderNaming::createNewFolderAtPath(const std::string& folder)
{
    auto host = m_commands.host();
    if (!host)
        return;
    core::Error error;
    if (!core::fs::createDirectory(folder, false, &error)) {
        core::log("Warning, failed to create folder {}: {}", folder, error);
        showAlertViewWithMessage(namingText("There was an error creating the folder \"{}\"", path::lastPathComponent(folder)),
            core::localized("OK"));
        return;
    }
    VKQuotaManager::defaultManager()->updateQuotaForPath(folder);
    auto resource = VKFileResource::resourceWithPath(folder);
    host->commandAdded(resource);
    m_commands.endEditing();
    if (resource && host->commandScreenIsOnTop())
        if (auto row = host->commandRowOf(*resource); row && host->commandTable())
            host->commandTable()->scrollToRow(*row, ui::TableView::ScrollPosition::Top, true);
}

// MARK: Rename

void VKFolderNaming::promptForNewNameForResource(const std::shared_ptr<VKFileResource>& resource,
    const std::optional<std::string>& conflict)
{
    if (!resource)
        return;
    if (conflict)
        showRenamePrompt(resource, namingText("\"{}\" is already taken:", *conflict), resource->name());
    else
        showRenamePrompt(resource, namingText("Rename \"{}\":", resource->name()), resource->name());
}

void VKFolderNaming::showRenamePrompt(const std::shared_ptr<VKFileResource>& resource, const std::string& title,
    const std::string& text)
{
    auto host = m_commands.host();
    ui::TableView* table = host ? host->commandTable() : nullptr;
    if (table)
        if (auto row = host->commandRowOf(*resource))
            table->scrollToRow(*row, ui::TableView::ScrollPosition::None, true);
    auto popup = VKPopupAlert::create(title, m_commands.selfAs<VKPopupAlertDelegate>());
    vkSetTag(*popup, VKFolderCommands::Prompt::Rename);
    popup->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
    popup->addCancelButtonWithTitle(core::localized("Cancel"));
    popup->addButtonWithTitle(core::localized("Rename"));
    popup->addTextFieldWithPlaceholder(core::localized("Name"), text);
    popup->textField()->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    popup->textField()->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    if (table)
        popup->showOverView(std::static_pointer_cast<ui::View>(table->shared_from_this()));
    else
        popup->show();
}

void VKFolderNaming::renameResource(const std::shared_ptr<VKFileResource>& resource, const std::string& name,
    bool withConfirmations)
{
    auto host = m_commands.host();
    if (!resource || !host)
        return;
    const std::string current = resource->name();
    if (name == current) {
        host->commandScreen().setEditing(false, true);
        return;
    }
    if (name.empty()) {
        showRenamePrompt(resource, core::localized("A name is needed"), current);
        return;
    }
    if (!isValidItemName(name)) {
        showRenamePrompt(resource, namingText("\"{}\" is not a valid name:", name), name);
        return;
    }
    bool caseOnly = core::caseFolded(name) == core::caseFolded(current);
    if (!caseOnly && host->commandNameIsTaken(name, true)) {
        promptForNewNameForResource(resource, name);
        return;
    }
    std::string oldExtension = resource->pathExtension();
    std::string newExtension = path::pathExtension(name);
    bool document = !resource->isCollection() || resource->isPackage();
    if (withConfirmations && document && !oldExtension.empty()
        && core::caseFolded(oldExtension) != core::caseFolded(newExtension)) {
        std::string title = newExtension.empty()
            ? namingText("Warning, removing the extension \".{}\" may prevent the document opening correctly.", oldExtension)
            : namingText("Warning, changing the extension \".{}\" may prevent the document opening correctly.", oldExtension);
        auto sheet = VKActionSheet::create(title, m_commands.selfAs<ui::ActionSheetDelegate>());
        vkSetTag(*sheet, VKFolderCommands::Sheet::Extension);
        sheet->setUserInfo(core::Value(std::make_shared<VKFolderCommands::ExtensionChoice>(resource, name)));
        // Both answers rename; only Cancel (Escape, a tap outside) leaves the name as it was.
        vkAddButton(*sheet, namingText("Keep .{}", oldExtension), VKFolderCommands::EditAction::KeepExtension);
        std::string change = newExtension.empty() ? core::localized("Remove Extension") : namingText("Use .{}", newExtension);
        sheet->setDestructiveButtonIndex(vkAddButton(*sheet, change, VKFolderCommands::EditAction::ChangeExtension));
        sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
        m_commands.showSheet(*sheet, host->commandScreen().findBarButtonItemWithAction(VKFolderCommands::RenameMarkedItemAction));
        return;
    }
    m_commands.renameResourceNoConfirmation(resource, name);
}

void VKFolderNaming::renameResourceOnDisk(const std::shared_ptr<VKFileResource>& resource,
    const std::string& name)
{
    auto host = m_commands.host();
    if (!host)
        return;
    const std::string oldPath = resource->path();
    const std::string newPath = path::appendingPathComponent(path::deletingLastPathComponent(oldPath), name);
    if (moveFileResource(resource, newPath) != VKRemoveResultDone) {
        showAlertViewWithMessage(namingText("There was an error renaming \"{}\"", resource->name()), core::localized("OK"));
        return;
    }
    auto renamed = VKFileResource::resourceWithPath(newPath);
    if (renamed)
        host->commandReplaced(resource, renamed);
    else
        host->commandRemoved({ resource });
    host->commandScreen().setEditing(false, true);
    if (renamed && host->commandScreenIsOnTop())
        host->commandScrollTo(renamed, ui::TableView::ScrollPosition::None);
    auto& center = core::NotificationCenter::defaultCenter();
    auto screen = m_commands.screenObject();
    center.post(VKFolderControllerDidMoveResourceNotification, screen, { oldPath, newPath });
    center.post(VKFolderControllerCollectionDidUpdateNotification, screen, { host->commandFolder()->path() });
}

