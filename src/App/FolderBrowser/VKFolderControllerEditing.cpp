// The folder screen's editing mode: the editing toolbar and its state,
// marking everything or nothing, the More menu, and the one dispatcher that
// every sheet, popup and alert of editing reports to by its action code.
// Delete, e-mail, new folder and rename live beside this file; move, copy,
// zip, open-in and media each in a file of their own.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionButton.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "App/VKAppDelegate.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewAnimation.h"

#include <fmt/format.h>

#include <cmath>

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

// MARK: The editing toolbar

std::shared_ptr<ui::BarButtonItem> VKFolderController::createEditActionButton(const std::string& title,
    const std::string& imagePrefix, const char* action,
    std::function<void(VKFolderController&, const std::shared_ptr<core::Object>&)> send)
{
    auto button = VKActionButton::actionButton();
    button->setTitle(title);
    button->setImage(ui::Images::imageNamed(imagePrefix + "Action.png"));
    float height = navigationController() ? navigationController()->toolbar().frame().height() : 0;
    button->setFrame({ 0, 0, EditActionButtonWidth, height > 0 ? height : 44 });
    std::weak_ptr<VKFolderController> weak = self();
    button->addTarget(nullptr, action, [weak, send](ui::Control& control, const ui::Event*) {
        if (auto controller = weak.lock())
            send(*controller, control.shared_from_this());
    }, ui::Control::TouchUpInside);
    auto item = barButtonItemWithCustomView(button);
    item->setEnabled(false);
    button->setEnabled(false);
    return item;
}

void VKFolderController::loadEditingToolbarItems()
{
    if (!editingToolbarItems().empty())
        return;
    auto to = [](void (VKFolderController::*method)(const std::shared_ptr<core::Object>&)) {
        return [method](VKFolderController& controller, const std::shared_ptr<core::Object>& sender) {
            (controller.*method)(sender);
        };
    };
    setEditingToolbarItems(makeEditingToolbarItems({
        { "Delete", "Delete", DeleteMarkedItemsAction, to(&VKFolderController::deleteMarkedItems) },
        { "Move", "Move", MoveMarkedItemsAction, to(&VKFolderController::moveMarkedItems) },
        { "Copy", "Copy", CopyMarkedItemsAction, to(&VKFolderController::copyMarkedItems) },
        { "Email", "Mail", EmailMarkedItemsAction, to(&VKFolderController::emailMarkedItems) },
        { "More", "More", ShowEditActionMenuAction, to(&VKFolderController::showEditActionMenu) },
    }));
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKFolderController::makeEditingToolbarItems(
    const std::vector<EditActionEntry>& entries)
{
    std::vector<std::shared_ptr<ui::BarButtonItem>> items { flexibleSpaceBarButtonItem() };
    for (const auto& entry : entries) {
        auto item = createEditActionButton(core::localized(entry.title), entry.imagePrefix, entry.action, entry.send);
        if (std::string_view(entry.action) == ShowEditActionMenuAction) {
            item->setEnabled(true);
            item->customView()->setUserInteractionEnabled(true);
            if (auto* control = dynamic_cast<ui::Control*>(item->customView().get()))
                control->setEnabled(true);
        }
        items.push_back(item);
        items.push_back(flexibleSpaceBarButtonItem());
    }
    return items;
}

void VKFolderController::fitEditingToolbarItems()
{
    auto* navigation = navigationController();
    float barWidth = navigation ? navigation->toolbar().bounds().width() : 0;
    std::vector<ui::View*> buttons;
    for (const auto& item : editingToolbarItems())
        if (item->customView())
            buttons.push_back(item->customView().get());
    if (barWidth <= 0 || buttons.empty())
        return;
    // The bar puts its gap between every two items, the spaces included.
    float room = barWidth - 2 * ui::Toolbar::Edge - float(editingToolbarItems().size() - 1) * ui::Toolbar::Gap;
    float width = std::min(EditActionButtonWidth, std::floor(room / float(buttons.size())));
    float height = navigation->toolbar().frame().height();
    for (auto* button : buttons) {
        gfx::Rect frame = button->frame();
        button->setFrame({ frame.x(), frame.y(), width, height > 0 ? height : frame.height() });
    }
    navigation->toolbar().setNeedsLayout();
}

void VKFolderController::updateEditingToolbarItemsState()
{
    // Outside editing the prompt stays away.
    if (!isEditing())
        return;
    size_t count = m_marks.size();
    for (const auto& item : editingToolbarItems()) {
        if (!item || item->isFlexibleSpace())
            continue;
        auto action = findAction(*item);
        bool enabled;
        if (action && *action == RenameMarkedItemAction)
            enabled = count == 1;
        else if (action && *action == SyncFolderAction)
            enabled = count == 0;
        else if (action && (*action == ShowEditActionMenuAction || *action == CreateNewFolderAction))
            continue;
        else
            enabled = count > 0;
        item->setEnabled(enabled);
        if (auto* control = dynamic_cast<ui::Control*>(item->customView().get()))
            control->setEnabled(enabled);
    }
    auto& navigation = navigationItem();
    if (auto left = navigation.leftBarButtonItem()) {
        auto action = findAction(*left);
        if (action && (*action == MarkAllItemsAction || *action == UnmarkAllItemsAction)) {
            bool listed = rowCount() > 0;
            left->setEnabled(listed);
            bool selectNone = count > 0 && listed;
            std::weak_ptr<VKFolderController> weak = self();
            auto replacement = barButtonItemWithTitle(core::localized(selectNone ? "Select None" : "Select All"),
                left->style(), nullptr, selectNone ? UnmarkAllItemsAction : MarkAllItemsAction,
                [weak, selectNone](ui::BarButtonItem&) {
                    if (auto controller = weak.lock()) {
                        if (selectNone)
                            controller->unmarkAllItems();
                        else
                            controller->markAllItems();
                    }
                });
            replacement->setEnabled(listed);
            navigation.setLeftBarButtonItem(replacement, false);
        }
    }
    std::string prompt = summaryForItemCount(uint32_t(std::min<size_t>(count, UINT32_MAX)),
        int64_t(std::min<uint64_t>(m_markedSize, INT64_MAX)), true);
    if (navigation.prompt().empty())
        navigation.setPrompt(prompt);
    else // A new count replaces the old one in place, never sliding in.
        ui::ViewAnimation::performWithoutAnimation([&] { navigation.setPrompt(prompt); });
}

// MARK: Marks

void VKFolderController::unmark(const VKFileResource& resource)
{
    auto found = m_marks.find(core::path::standardizingPath(resource.path()));
    if (found == m_marks.end())
        return;
    m_markedSize -= std::min(m_markedSize, found->second);
    m_marks.erase(found);
}

void VKFolderController::markAllItems()
{
    m_marks.clear();
    m_markedSize = 0;
    for (const auto& row : rows()) {
        const auto& resource = row.resource;
        if (!resource || resource->supportedFileOperations() == 0)
            continue;
        auto [entry, added] = m_marks.try_emplace(core::path::standardizingPath(resource->path()), 0);
        if (added) {
            entry->second = sizeForMarking(*resource);
            m_markedSize += entry->second;
        }
    }
    if (isViewLoaded())
        activeTableView().reloadData();
    updateEditingToolbarItemsState();
}

void VKFolderController::unmarkAllItems()
{
    m_marks.clear();
    m_markedSize = 0;
    if (isViewLoaded())
        activeTableView().reloadData();
    updateEditingToolbarItemsState();
}

bool VKFolderController::doMarkedResourcesSupportFileOperation(uint32_t mask, std::string* description) const
{
    for (const auto& resource : markedResources()) {
        if ((uint32_t(resource->supportedFileOperations()) & mask) == mask)
            continue;
        if (description)
            *description = resource->localizedDescriptionForUnsupportedFileOperation(int32_t(mask)).value_or(std::string());
        return false;
    }
    return true;
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
        if (!m_marks.empty())
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
    auto delegate = VKAppDelegate::sharedAppDelegate();
    if (!delegate) {
        core::log("Warning, no application delegate to reveal {}", resource->path());
        return;
    }
    ui::NavigationController* navigation = delegate->navigationController().get();
    delegate->pushViewControllersForPath(parent->path(), false);
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
