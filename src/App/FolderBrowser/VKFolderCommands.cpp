#include "App/FolderBrowser/VKFolderCommands.h"

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKFolderMedia.h"
#include "App/FolderBrowser/VKFolderMoveCopy.h"
#include "App/FolderBrowser/VKFolderNaming.h"
#include "App/FolderBrowser/VKFolderOperations.h"
#include "App/FolderBrowser/VKFolderSharing.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKResourceMoveNotifications.h"
#include "FileModel/VKZipUnarchiver.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"

#include <fmt/format.h>

#include <algorithm>

namespace path = core::path;

namespace {

bool isMedia(const VKFileResource& resource)
{
    return resource.isImageType() || resource.isMovieType();
}

std::shared_ptr<VKFileResource> resourceIn(const core::Value& value)
{
    return value.objectAs<VKFileResource>();
}

std::string commandText(const std::string& format, const std::string& name)
{
    return fmt::format(fmt::runtime(core::localized(format)), name);
}

void commandWarning(const std::string& message)
{
    showAlertViewWithTitle(core::localized("Warning"), message, core::localized("OK"));
}

} // namespace

std::shared_ptr<VKFolderCommands> VKFolderCommands::create()
{
    return std::make_shared<VKFolderCommands>();
}

VKFolderCommands::VKFolderCommands()
    : m_operations(std::make_shared<VKFolderOperations>())
    , m_naming(std::make_unique<VKFolderNaming>(*this))
    , m_sharing(std::make_shared<VKFolderSharing>(*this))
    , m_media(std::make_shared<VKFolderMedia>())
    , m_moveCopy(std::make_shared<VKFolderMoveCopy>(*this))
{
}

void VKFolderCommands::setMoveCopy(std::shared_ptr<VKFolderMoveCopy> moveCopy)
{
    m_moveCopy = std::move(moveCopy);
}

VKFolderCommands::~VKFolderCommands() = default;

void VKFolderCommands::setHost(std::weak_ptr<Host> host)
{
    m_host = host;
    m_operations->setHost(host);
    m_media->setHost(std::move(host));
}

std::shared_ptr<core::Object> VKFolderCommands::screenObject() const
{
    auto host = this->host();
    return host ? host->commandScreen().shared_from_this() : nullptr;
}

std::vector<std::shared_ptr<VKFileResource>> VKFolderCommands::markedResources() const
{
    auto host = this->host();
    return host ? host->commandMarks().markedResources() : std::vector<std::shared_ptr<VKFileResource>>();
}

void VKFolderCommands::endEditing() const
{
    if (auto host = this->host(); host && host->commandScreen().isEditing())
        host->commandScreen().setEditing(false, true);
}

void VKFolderCommands::showSheet(VKActionSheet& sheet, const std::shared_ptr<core::Object>& item) const
{
    if (auto host = this->host()) {
        dismissActiveActionSheet(host->commandScreen());
        ::showActionSheet(host->commandScreen(), sheet, item);
    }
}

std::vector<VKFolderEditing::Button> VKFolderCommands::toolbarButtons()
{
    return {
        { "Delete", "Delete", DeleteMarkedItemsAction, sendTo(&VKFolderCommands::deleteMarkedItems) },
        { "Move", "Move", MoveMarkedItemsAction, sendTo(&VKFolderCommands::moveMarkedItems) },
        { "Copy", "Copy", CopyMarkedItemsAction, sendTo(&VKFolderCommands::copyMarkedItems) },
        { "Email", "Mail", EmailMarkedItemsAction, sendTo(&VKFolderCommands::emailMarkedItems) },
        { "More", "More", ShowEditActionMenuAction, sendTo(&VKFolderCommands::showEditActionMenu) },
    };
}

// MARK: The menu

void VKFolderCommands::showEditActionMenu(const std::shared_ptr<core::Object>& sender)
{
    auto sheet = VKActionSheet::create("", selfAs<ui::ActionSheetDelegate>());
    vkSetTag(*sheet, Sheet::EditActionMenu);
    auto marked = markedResources();
    if (marked.size() == 1) {
        const auto& resource = marked.front();
        int32_t operations = resource->supportedFileOperations();
        bool titled = false;
        if (!resource->isLocked() && (operations & VKFileResourceOperationRename)) {
            vkAddButton(*sheet, core::localized("Rename"), EditAction::Rename);
            titled = true;
        }
        if (resource->pathExtension() == "zip" && (operations & VKFileResourceOperationUncompress)) {
            vkAddButton(*sheet, core::localized("Uncompress"), EditAction::Uncompress);
            titled = true;
        } else if (operations & VKFileResourceOperationCompress) {
            vkAddButton(*sheet, core::localized("Compress"), EditAction::Compress);
            titled = true;
        }
        if (isMedia(*resource)) {
            vkAddButton(*sheet, core::localized("Save to Photos Album"), EditAction::SaveToPhotosAlbum);
            titled = true;
        }
        if (m_sharing->openInControllerWithResource(resource))
            vkAddButton(*sheet, core::localized("Open In..."), EditAction::OpenIn);
        if (titled)
            sheet->setTitle(resource->name());
    } else if (marked.size() > 1) {
        vkAddButton(*sheet, fmt::format(fmt::runtime(core::localized("Compress {} Items")), marked.size()),
            EditAction::Compress);
        if (std::any_of(marked.begin(), marked.end(), [](const auto& resource) { return isMedia(*resource); }))
            vkAddButton(*sheet, core::localized("Save to Photos Album"), EditAction::SaveToPhotosAlbum);
    }
    if (!marked.empty() && VKCloudServicesManager::sharedManager()->hasLinkedServices())
        vkAddButton(*sheet, core::localized("Email..."), EditAction::Email);
    vkAddButton(*sheet, core::localized("Import Media"), EditAction::ImportMedia);
    finishEditActionMenu(*sheet, sender);
}

void VKFolderCommands::finishEditActionMenu(VKActionSheet& sheet, const std::shared_ptr<core::Object>& sender)
{
    auto host = this->host();
    if (!host)
        return;
    if (host->commandRowCount() > 0) {
        if (host->commandMarks().markCount() > 0)
            vkAddButton(sheet, core::localized("Select None"), EditAction::SelectNone);
        else
            vkAddButton(sheet, core::localized("Select All"), EditAction::SelectAll);
    }
    sheet.setCancelButtonIndex(sheet.addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    showSheet(sheet, sender);
}

// MARK: The dispatcher

void VKFolderCommands::handleAction(EditAction action, const core::Value& userInfo)
{
    auto host = this->host();
    if (!host)
        return;
    // The commands speak for the screen: it is their sender.
    auto sender = screenObject();
    switch (action) {
    case EditAction::SelectAll:
        host->commandMarkAll(true);
        break;
    case EditAction::SelectNone:
        host->commandMarkAll(false);
        break;
    case EditAction::Rename:
        renameMarkedItem(sender);
        break;
    case EditAction::Uncompress:
        unzipMarkedItem(sender);
        break;
    case EditAction::Delete:
        deleteMarkedItems(sender);
        break;
    case EditAction::Compress:
        zipMarkedItems(sender);
        break;
    case EditAction::ImportMedia:
        importMedia(sender);
        break;
    case EditAction::SaveToPhotosAlbum:
        copyMarkedItemsToSavedPhotosAlbum(sender);
        break;
    case EditAction::OpenIn:
        openIn(sender);
        break;
    case EditAction::Open:
        if (auto resource = resourceIn(userInfo))
            host->commandOpen(resource);
        break;
    case EditAction::Reveal:
        if (auto resource = resourceIn(userInfo))
            host->commandReveal(resource);
        break;
    case EditAction::Email:
        emailMarkedItems(sender);
        break;
    case EditAction::PerformWithDestination:
        if (auto choice = userInfo.objectAs<DestinationChoice>())
            performActionWithDestination(choice->action, choice->destination);
        break;
    case EditAction::DeleteNoConfirmation:
        deleteMarkedItemsNoConfirmation();
        break;
    case EditAction::UnzipResource:
        if (auto resource = resourceIn(userInfo))
            unzipResource(resource, std::nullopt);
        break;
    case EditAction::MoveToTrash: {
        auto resource = resourceIn(userInfo);
        if (!resource) {
            if (auto* table = host->commandTable())
                table->reloadData();
            break;
        }
        // Confirmed by the sheet of a folder that is not empty.
        moveToTrash(resource, "The folder is locked and cannot currently be deleted");
        break;
    }
    case EditAction::EmailResources: {
        std::vector<std::shared_ptr<VKFileResource>> resources;
        if (userInfo.isArray())
            for (const auto& value : userInfo.array())
                if (auto resource = resourceIn(value))
                    resources.push_back(resource);
        if (!resources.empty())
            emailResources(resources);
        break;
    }
    default:
        break;
    }
}

bool VKFolderCommands::moveToTrash(const std::shared_ptr<VKFileResource>& resource, const char* lockedMessage)
{
    auto host = m_host.lock();
    int result = host && resource ? host->commandMoveToTrash(resource) : 0;
    return VKViewerFolderHost::alertUnlessMoved(result, lockedMessage, "Failed to delete");
}

std::optional<VKFolderCommands::EditAction> VKFolderCommands::actionConfirmedBy(Sheet sheet)
{
    switch (sheet) {
    case Sheet::Overwrite:
        return EditAction::PerformWithDestination;
    case Sheet::DeleteConfirmation:
        return EditAction::DeleteNoConfirmation;
    case Sheet::Unzip:
        return EditAction::UnzipResource;
    case Sheet::DeleteFolder:
        return EditAction::MoveToTrash;
    case Sheet::EditActionMenu:
    case Sheet::Extension:
    case Sheet::LongTouch:
    case Sheet::SyncConfirmation:
    case Sheet::MoveToCloud:
        break;
    }
    return std::nullopt;
}

std::optional<VKFolderCommands::EditAction> VKFolderCommands::actionConfirmedBy(Alert alert)
{
    return alert == Alert::EmailSize ? std::optional(EditAction::EmailResources) : std::nullopt;
}

void VKFolderCommands::clickedButton(ui::ActionSheet& sheet, int index)
{
    auto kind = vkTagOf<Sheet>(sheet);
    if (!kind)
        return;
    switch (*kind) {
    case Sheet::EditActionMenu:
    case Sheet::LongTouch:
        if (index == sheet.cancelButtonIndex())
            return;
        if (auto action = vkButtonAction<EditAction>(sheet, index))
            handleAction(*action, vkUserInfo(sheet));
        return;
    case Sheet::Extension: {
        auto asked = vkUserInfo(sheet).objectAs<ExtensionChoice>();
        if (!asked || !asked->resource)
            return;
        auto choice = vkButtonAction<EditAction>(sheet, index);
        if (choice == EditAction::KeepExtension) {
            std::string base = path::deletingPathExtension(asked->name);
            m_naming->renameResource(asked->resource, base + "." + asked->resource->pathExtension(), false);
        } else if (choice == EditAction::ChangeExtension) {
            m_naming->renameResource(asked->resource, asked->name, false);
        }
        return;
    }
    case Sheet::MoveToCloud:
        if (auto* tagged = vkTaggedSheet(sheet))
            moveToCloudSheetClickedButton(*tagged, index);
        return;
    default:
        if (index == sheet.cancelButtonIndex())
            return;
        if (auto action = actionConfirmedBy(*kind))
            handleAction(*action, vkUserInfo(sheet));
        return;
    }
}

void VKFolderCommands::clickedButton(ui::AlertView& alert, int index)
{
    auto kind = vkTagOf<Alert>(alert);
    if (kind == Alert::HiddenName) {
        if (index == alert.cancelButtonIndex()) {
            m_naming->promptForNewFolderNamePreviousConflict(std::nullopt);
            return;
        }
        if (core::Value name = vkUserInfo(alert); name.isString())
            m_naming->tryCreatingNewFolder(name.string());
        return;
    }
    if (index == alert.cancelButtonIndex() || !kind)
        return;
    if (auto action = actionConfirmedBy(*kind))
        handleAction(*action, vkUserInfo(alert));
}

void VKFolderCommands::popupAlert(VKPopupAlert& alert, int index)
{
    auto kind = vkTagOf<Prompt>(alert);
    auto host = this->host();
    if (index == alert.cancelButtonIndex() || !kind || !host)
        return;
    std::string text = alert.textField() ? alert.textField()->text() : std::string();
    switch (*kind) {
    case Prompt::Rename:
        if (auto resource = alert.userInfo().objectAs<VKFileResource>())
            m_naming->renameResource(resource, text, true);
        return;
    case Prompt::NewFolder:
        m_naming->newFolderNameTyped(text);
        return;
    case Prompt::UnzipPassword:
        unzipPasswordPromptClickedButton(alert, index);
        return;
    }
}

// MARK: Delete

void VKFolderCommands::deleteMarkedItems(const std::shared_ptr<core::Object>&)
{
    auto marked = markedResources();
    auto host = this->host();
    if (marked.empty() || !host || operations().isDeleting())
        return;
    for (const auto& resource : marked) {
        if (resource->isLocked()) {
            showAlertViewWithTitle(core::localized("Locked Items"),
                core::localized("Some items are locked and cannot be deleted"), core::localized("OK"));
            return;
        }
        if (!(resource->supportedFileOperations() & VKFileResourceOperationDelete)) {
            commandWarning(resource->localizedDescriptionForUnsupportedFileOperation(VKFileResourceOperationDelete).value_or(std::string()));
            return;
        }
    }
    auto sheet = VKActionSheet::create("", selfAs<ui::ActionSheetDelegate>());
    vkSetTag(*sheet, Sheet::DeleteConfirmation);
    std::string title = marked.size() == 1
        ? core::localized("Delete 1 Item?")
        : fmt::format(fmt::runtime(core::localized("Delete {} Items?")), marked.size());
    sheet->setDestructiveButtonIndex(sheet->addButtonWithTitle(title, VKActionSheet::UntaggedButton));
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    showSheet(*sheet, host->commandScreen().findBarButtonItemWithAction(DeleteMarkedItemsAction));
}

void VKFolderCommands::deleteMarkedItemsNoConfirmation()
{
    operations().deleteItems(markedResources());
}

// MARK: The parts' commands

void VKFolderCommands::emailMarkedItems(const std::shared_ptr<core::Object>&)
{
    m_sharing->emailMarkedItems();
}

void VKFolderCommands::emailResources(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    m_sharing->emailResources(resources);
}

void VKFolderCommands::openIn(const std::shared_ptr<core::Object>&)
{
    m_sharing->openIn();
}

void VKFolderCommands::createNewFolder(const std::shared_ptr<core::Object>&)
{
    auto host = this->host();
    if (!host)
        return;
    dismissActiveActionSheet(host->commandScreen());
    m_naming->promptForNewFolderNamePreviousConflict(std::nullopt);
}

void VKFolderCommands::createNewFolderAtPath(const std::string& path)
{
    m_naming->createNewFolderAtPath(path);
}

void VKFolderCommands::renameMarkedItem(const std::shared_ptr<core::Object>&)
{
    if (auto host = this->host())
        dismissActiveActionSheet(host->commandScreen());
    auto marked = markedResources();
    if (marked.size() == 1)
        m_naming->promptForNewNameForResource(marked.front(), std::nullopt);
}

void VKFolderCommands::renameResourceNoConfirmation(const std::shared_ptr<VKFileResource>& resource,
    const std::string& name)
{
    m_naming->renameResourceOnDisk(resource, name);
}

void VKFolderCommands::moveMarkedItems(const std::shared_ptr<core::Object>&)
{
    m_moveCopy->moveOrCopyMarkedItems(VKFileResourceOperationMove);
}

void VKFolderCommands::copyMarkedItems(const std::shared_ptr<core::Object>&)
{
    m_moveCopy->moveOrCopyMarkedItems(VKFileResourceOperationCopy);
}

void VKFolderCommands::performActionWithDestination(const std::string& action, const core::Value& destination)
{
    m_moveCopy->performActionWithDestination(action, destination);
}

void VKFolderCommands::moveToCloudSheetClickedButton(VKActionSheet& sheet, int index)
{
    m_moveCopy->moveToCloudSheetClickedButton(sheet, index);
}

// MARK: Zip and media

void VKFolderCommands::zipMarkedItems(const std::shared_ptr<core::Object>&)
{
    auto host = this->host();
    if (!host)
        return;
    dismissActiveActionSheet(host->commandScreen());
    auto resources = markedResources();
    if (resources.empty())
        return;
    std::string description;
    if (!host->commandMarks().markedResourcesSupport(VKFileResourceOperationCompress, &description)) {
        commandWarning(description);
        return;
    }
    operations().zipItems(resources);
}

void VKFolderCommands::unzipMarkedItem(const std::shared_ptr<core::Object>&)
{
    if (auto host = this->host())
        dismissActiveActionSheet(host->commandScreen());
    auto resources = markedResources();
    if (resources.size() != 1)
        return;
    const auto& resource = resources.front();
    if (!(resource->supportedFileOperations() & VKFileResourceOperationUncompress)) {
        commandWarning(resource->localizedDescriptionForUnsupportedFileOperation(VKFileResourceOperationUncompress)
                .value_or(std::string()));
        return;
    }
    unzipResource(resource, std::nullopt);
}

void VKFolderCommands::unzipResource(const std::shared_ptr<VKFileResource>& resource,
    const std::optional<std::string>& password)
{
    auto host = this->host();
    if (!resource || !host)
        return;
    endEditing();
    if (VKBrowserOperation::isOperationInProgress()) {
        core::log("VKFolderCommands: an operation is running; not expanding {}", resource->name());
        return;
    }
    const std::string name = path::lastPathComponent(resource->path());
    auto unarchiver = VKZipUnarchiver::unarchiverWithZipAtPath(resource->path());
    if (!unarchiver) {
        showAlertViewWithTitle(core::localized("Error"), commandText("Failed to open zip archive \"{}\"", name),
            core::localized("OK"));
        return;
    }
    if (!password && unarchiver->isEncrypted()) {
        auto popup = VKPopupAlert::create(commandText("A password is required for\n\"{}\"", name),
            selfAs<VKPopupAlertDelegate>());
        vkSetTag(*popup, Prompt::UnzipPassword);
        popup->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
        popup->addCancelButtonWithTitle(core::localized("Cancel"));
        popup->addButtonWithTitle(core::localized("Unzip"));
        popup->addTextFieldWithPlaceholder(core::localized("Password"), std::string());
        popup->textField()->setSecureTextEntry(true);
        popup->textField()->setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
        popup->textField()->setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
        if (auto* navigation = host->commandScreen().navigationController(); navigation && navigation->isViewLoaded())
            popup->showOverView(navigation->view());
        else
            popup->show();
        return;
    }
    // The password lives in the unarchiver only: never in the operation's
    // label, its parameters or a log line.
    unarchiver->setPassword(password);
    operations().unzipResource(resource, std::move(unarchiver));
}

void VKFolderCommands::unzipPasswordPromptClickedButton(VKPopupAlert& popup, int index)
{
    if (index == popup.cancelButtonIndex())
        return;
    auto resource = popup.userInfo().objectAs<VKFileResource>();
    // An empty field is tried as the empty password, and not asked again.
    unzipResource(resource, popup.textField() ? popup.textField()->text() : std::string());
}

void VKFolderCommands::importMedia(const std::shared_ptr<core::Object>&)
{
    m_media->importMedia();
}

void VKFolderCommands::copyMarkedItemsToSavedPhotosAlbum(const std::shared_ptr<core::Object>&)
{
    auto host = this->host();
    if (!host)
        return;
    std::string description;
    if (!host->commandMarks().markedResourcesSupport(VKFileResourceOperationCopy, &description)) {
        commandWarning(description);
        return;
    }
    m_media->saveToPhotosAlbum(markedResources());
}
