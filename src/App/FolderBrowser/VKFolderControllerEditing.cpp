// The folder screen's editing commands: the buttons of its editing toolbar
// (whose state and marks are the coordinator's, VKFolderEditing), marking
// everything or nothing, the More menu, and the one dispatcher that every
// sheet, popup and alert of editing reports to by its action code.
// Delete, e-mail, new folder and rename live beside this file; move, copy,
// zip, open-in and media each in a file of their own.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/View.h"

#include <fmt/format.h>


namespace {

bool isMedia(const VKFileResource& resource)
{
    return resource.isImageType() || resource.isMovieType();
}

std::shared_ptr<VKFileResource> resourceIn(const core::Value& value)
{
    return value.objectAs<VKFileResource>();
}

} // namespace

// MARK: The editing toolbar and the marks

VKFolderEditing& VKFolderController::editing() const
{
    if (!m_editing->hasHost())
        if (auto shared = weak_from_this().lock())
            m_editing->setHost(std::static_pointer_cast<VKFolderController>(std::const_pointer_cast<core::Object>(shared)));
    return *m_editing;
}

const std::vector<VKFolderRow>& VKFolderController::editingRows()
{
    if (!m_rowsBuilt)
        updateModelFlushingCache(false);
    return rows();
}

uint64_t VKFolderController::editingSizeOfItem(const VKFileResource& resource) const
{
    return resource.contentSize();
}

void VKFolderController::editingMarksReset()
{
    if (isViewLoaded())
        activeTableView().reloadData();
}

ui::Toolbar* VKFolderController::editingToolbar() const
{
    return navigationController() ? &navigationController()->toolbar() : nullptr;
}

void VKFolderController::loadEditingToolbarItems()
{
    if (!editingToolbarItems().empty())
        return;
    setEditingToolbarItems(editing().makeToolbarItems({
        { "Delete", "Delete", DeleteMarkedItemsAction, sendTo(&VKFolderController::deleteMarkedItems) },
        { "Move", "Move", MoveMarkedItemsAction, sendTo(&VKFolderController::moveMarkedItems) },
        { "Copy", "Copy", CopyMarkedItemsAction, sendTo(&VKFolderController::copyMarkedItems) },
        { "Email", "Mail", EmailMarkedItemsAction, sendTo(&VKFolderController::emailMarkedItems) },
        { "More", "More", ShowEditActionMenuAction, sendTo(&VKFolderController::showEditActionMenu) },
    }));
}

void VKFolderController::markAllItems()
{
    editing().markAll();
    editingMarksReset();
    editing().updateBars();
}

void VKFolderController::unmarkAllItems()
{
    editing().clear();
    editingMarksReset();
    editing().updateBars();
}

bool VKFolderController::childExistsWithName(const std::string& name, bool caseInsensitiveCompare)
{
    if (name.empty())
        return false;
    // A dangling link holds its name too.
    if (core::fs::attributes(core::path::appendingPathComponent(m_folderPath, name)))
        return true;
    if (!caseInsensitiveCompare)
        return false;
    if (!m_childrenValid)
        updateModelFlushingCache(false);
    std::string folded = core::caseFolded(name);
    for (const auto& row : m_children)
        if (core::caseFolded(row.resource->name()) == folded)
            return true;
    return false;
}

// MARK: The menu

void VKFolderController::showEditActionMenu(const std::shared_ptr<core::Object>& sender)
{
    auto sheet = VKActionSheet::create("", std::static_pointer_cast<ui::ActionSheetDelegate>(self()));
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
        if (openInControllerWithResource(resource))
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

void VKFolderController::finishEditActionMenu(VKActionSheet& sheet, const std::shared_ptr<core::Object>& sender)
{
    if (rowCount() > 0) {
        if (editing().markCount() > 0)
            vkAddButton(sheet, core::localized("Select None"), EditAction::SelectNone);
        else
            vkAddButton(sheet, core::localized("Select All"), EditAction::SelectAll);
    }
    sheet.setCancelButtonIndex(sheet.addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    dismissActiveActionSheet(*this);
    ::showActionSheet(*this, sheet, sender);
}

// MARK: The dispatcher

void VKFolderController::handleAction(EditAction action, const core::Value& userInfo)
{
    auto sender = shared_from_this();
    switch (action) {
    case EditAction::SelectAll:
        markAllItems();
        break;
    case EditAction::SelectNone:
        unmarkAllItems();
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
            openResource(resource);
        break;
    case EditAction::Reveal:
        if (auto resource = resourceIn(userInfo))
            revealResource(resource);
        break;
    case EditAction::Email:
        emailMarkedItems(sender);
        break;
    case EditAction::PerformWithDestination:
        if (userInfo.isDictionary() && userInfo["action"].isString())
            performActionWithDestination(userInfo["action"].string(), userInfo["destination"]);
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
            if (isViewLoaded())
                activeTableView().reloadData();
            break;
        }
        int result = moveResourceToTrash(resource);
        if (result == TrashMoved)
            break;
        showAlertViewWithMessage(core::localized(result == TrashLocked ? "The folder is locked and cannot currently be deleted"
                                                                       : "Failed to delete"),
            core::localized("OK"));
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

std::optional<VKFolderController::EditAction> VKFolderController::actionConfirmedBy(Sheet sheet)
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

std::optional<VKFolderController::EditAction> VKFolderController::actionConfirmedBy(Alert alert)
{
    return alert == Alert::EmailSize ? std::optional(EditAction::EmailResources) : std::nullopt;
}

void VKFolderController::clickedButton(ui::ActionSheet& sheet, int index)
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
        core::Value userInfo = vkUserInfo(sheet);
        auto resource = userInfo["resource"].objectAs<VKFileResource>();
        const core::Value& name = userInfo["name"];
        if (!resource || !name.isString())
            return;
        auto choice = vkButtonAction<EditAction>(sheet, index);
        if (choice == EditAction::KeepExtension) {
            std::string base = core::path::deletingPathExtension(name.string());
            renameResource(resource, base + "." + resource->pathExtension(), false);
        } else if (choice == EditAction::ChangeExtension) {
            renameResource(resource, name.string(), false);
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

void VKFolderController::clickedButton(ui::AlertView& alert, int index)
{
    auto kind = vkTagOf<Alert>(alert);
    if (kind == Alert::HiddenName) {
        if (index == alert.cancelButtonIndex()) {
            promptForNewFolderNamePreviousConflict(std::nullopt);
            return;
        }
        if (core::Value name = vkUserInfo(alert); name.isString())
            tryCreatingNewFolder(name.string());
        return;
    }
    if (index == alert.cancelButtonIndex() || !kind)
        return;
    if (auto action = actionConfirmedBy(*kind))
        handleAction(*action, vkUserInfo(alert));
}

void VKFolderController::popupAlert(VKPopupAlert& alert, int index)
{
    auto kind = vkTagOf<Prompt>(alert);
    if (index == alert.cancelButtonIndex() || !kind)
        return;
    std::string text = alert.textField() ? alert.textField()->text() : std::string();
    switch (*kind) {
    case Prompt::Rename:
        if (auto resource = alert.userInfo().objectAs<VKFileResource>())
            renameResource(resource, text, true);
        return;
    case Prompt::NewFolder:
        if (isValidItemName(text) && text.starts_with('.') && !showsHiddenFiles()) {
            auto warning = VKAlertView::create(core::localized("Warning"),
                core::localized("Names begining with a \".\" will only be visible if the setting \"Show Hidden Files\" is enabled."),
                std::static_pointer_cast<ui::AlertViewDelegate>(self()), core::localized("Cancel"),
                { core::localized("Create") });
            vkSetTag(*warning, Alert::HiddenName);
            warning->setUserInfo(core::Value(text));
            warning->show();
            return;
        }
        tryCreatingNewFolder(text);
        return;
    case Prompt::UnzipPassword:
        unzipPasswordPromptClickedButton(alert, index);
        return;
    }
}

// MARK: Reveal

void VKFolderController::revealResource(const std::shared_ptr<VKFileResource>& resource)
{
    auto parent = resource ? resource->parent() : nullptr;
    if (!parent)
        return;
    // The stack may let this screen go on the way.
    auto keep = self();
    // The screen on top once the stack has changed shows the row a pass
    // later, when its list is laid out.
    auto revealOnTop = [resource](ui::NavigationController* navigation) {
        if (!navigation)
            return;
        std::weak_ptr<ui::NavigationController> weak =
            std::static_pointer_cast<ui::NavigationController>(navigation->shared_from_this());
        core::RunLoop::main().post([weak, resource] {
            auto stack = weak.lock();
            auto top = stack ? std::dynamic_pointer_cast<VKFolderController>(stack->topViewController()
                                   ? stack->topViewController()->shared_from_this() : nullptr)
                             : nullptr;
            if (top)
                top->revealAndHighlightResource(resource);
        });
    };
    if (isSearching()) {
        openResource(parent);
        revealOnTop(navigationController());
        return;
    }
    if (core::path::standardizingPath(parent->path()) == m_folderPath) {
        revealAndHighlightResource(resource);
        return;
    }
    // Another folder: the application delegate builds the stack down to it.
    auto delegate = VKFolderBrowserServices::current();
    if (!delegate) {
        core::log("Warning, no application delegate to reveal {}", resource->path());
        return;
    }
    ui::NavigationController* navigation = delegate->browserNavigation();
    delegate->browserShowFolder(parent->path(), false);
    revealOnTop(navigation);
}

// MARK: Background work

VKFolderControllerBase::Run VKFolderController::startBackgroundOperationWithTarget(std::shared_ptr<core::Object> target,
    BackgroundSelector selector, core::Value object, const std::string& label, bool indeterminate)
{
    if (!selector)
        return NoRun;
    if (isEditing())
        setEditing(false, true);
    Run run = startOperationWithLabel(label, indeterminate);
    if (run == NoRun)
        return run;
    core::Thread::detach("VKFolderController: " + label,
        [target = std::move(target), selector = std::move(selector), object = std::move(object), run] {
            selector(target, object, run);
        });
    return run;
}
