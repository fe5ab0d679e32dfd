// What a viewer does for the person: the document sheet and what its
// buttons start (e-mail, printing, open in, the orientation lock), delete
// with confirmation.

#include "App/Viewers/VKViewController.h"

#include "App/Mail/VKEmailController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/DocumentInteractionAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "App/VKAppOrientationLock.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/PrintFormatter.h"
#include "Platform/UI/PrintInteractionController.h"

#include <fmt/format.h>

// ---- E-mail ----------------------------------------------------------------

bool VKViewController::isSendingEmail() const
{
    return m_emailController && m_emailController->isSendingEmail();
}

void VKViewController::emailFile(const std::shared_ptr<core::Object>&)
{
    setUIHidden(false, false);
    if (m_resource)
        composeEmailWithPath(m_resource->path(), m_resource->name());
}

void VKViewController::composeEmailWithPath(const std::string& path, const std::string& name)
{
    auto controller = VKEmailController::create();
    controller->setDelegate(std::static_pointer_cast<VKEmailControllerDelegate>(sharedAs<VKViewController>()));
    controller->setSubject(name);
    if (!controller->addAttachment(path, name)) {
        showAlertViewWithMessage(core::localized("Warning, failed to add attachment"), core::localized("OK"));
        return;
    }
    m_emailController = controller;
    controller->beginSendFromViewController(*this);
}

void VKViewController::emailController(VKEmailController& controller, bool success, const core::Error* error)
{
    if (&controller != m_emailController.get())
        return;
    auto keep = sharedAs<VKViewController>();
    if (!success) {
        core::log("emailController error: {}", error ? error->description() : std::string("(null)"));
        showAlertViewWithMessage(core::localized("Send Failed"), core::localized("OK"));
    }
    m_emailController.reset();
    if (auto* navigation = navigationController())
        navigation->dismissModalViewController(true);
    if (m_contentDidLoad && !presentedController() && shouldSingleTapHideUI())
        setUIHiddenAfterDelay(true, VKUIHideDelay);
}

// ---- The orientation lock ------------------------------------------------------

void VKViewController::toggleOrientationLock(const std::shared_ptr<core::Object>&)
{
    if (auto lock = m_orientationLock.lock())
        lock->setOrientationLocked(!lock->isOrientationLocked());
    else
        core::log("Warning, no orientation lock was handed to this viewer");
    setUIHiddenAfterDelay(true, VKUIHideDelay);
}

// ---- Sheets ------------------------------------------------------------------

void VKViewController::showDocumentActionSheet(const std::shared_ptr<core::Object>&)
{
    setUIHidden(false, false);
    auto sheet = VKActionSheet::create("", std::static_pointer_cast<ui::ActionSheetDelegate>(sharedAs<VKViewController>()));
    sheet->setTag(DocumentActionSheetTag);
    addButtonsToActionSheet(*sheet);
    sheet->setCancelButtonIndex(sheet->addButton(core::localized("Cancel")));
    sheet->setActionSheetStyle(ui::ActionSheet::Style::Default);
    // At its button, so that on a tablet it points there.
    showActionSheet(*this, *sheet, findBarButtonItemWithAction(ShowDocumentActionSheetAction));
}

void VKViewController::addButtonsToActionSheet(VKActionSheet& sheet)
{
    sheet.addButtonWithTitle(core::localized("Email File"), EmailFileButtonTag);
    if (canPrint())
        sheet.addButtonWithTitle(core::localized("Print"), PrintButtonTag);
    if (openInController())
        sheet.addButtonWithTitle(core::localized("Open In..."), OpenInButtonTag);
}

void VKViewController::clickedButton(ui::ActionSheet& sheet, int index)
{
    auto* tagged = dynamic_cast<VKActionSheet*>(&sheet);
    if (!tagged || sheet.tag() == DeleteActionSheetTag || sheet.tag() == VKActionSheetTagSystemCancelled
        || index == sheet.cancelButtonIndex())
        return;
    actionSheetClickedButtonWithTag(*tagged, tagged->tagForButtonAtIndex(index));
}

void VKViewController::actionSheetClickedButtonWithTag(VKActionSheet&, int tag)
{
    auto self = sharedAs<VKViewController>();
    switch (tag) {
    case EmailFileButtonTag:
        emailFile(self);
        break;
    case OrientationLockButtonTag:
        toggleOrientationLock(self);
        break;
    case OpenInButtonTag:
        openIn(self);
        break;
    case PrintButtonTag:
        printFile(self);
        break;
    default:
        break;
    }
}

void VKViewController::deleteItem(const std::shared_ptr<core::Object>&)
{
    if (!m_resource)
        return;
    setUIHidden(false, false);
    auto sheet = VKActionSheet::create(fmt::format(fmt::runtime(core::localized("Delete \"{}\"?")), m_resource->name()),
        std::static_pointer_cast<ui::ActionSheetDelegate>(sharedAs<VKViewController>()), core::localized("Cancel"),
        core::localized("Delete"));
    sheet->setTag(DeleteActionSheetTag);
    sheet->setActionSheetStyle(ui::ActionSheet::Style::Default);
    showActionSheet(*this, *sheet, findBarButtonItemWithAction(DeleteItemAction));
}

void VKViewController::didDismiss(ui::ActionSheet& sheet, int index)
{
    if (sheet.tag() != DeleteActionSheetTag || index < 0 || index != sheet.destructiveButtonIndex() || !m_resource)
        return;
    auto keep = sharedAs<VKViewController>();
    // A copy: the folder screen's will-delete notice clears m_resource
    // while the move is under way.
    auto resource = m_resource;
    int result = m_folderController ? m_folderController->moveResourceToTrash(resource) : 0;
    if (!VKViewerFolderHost::alertUnlessMoved(result, "The file is locked and cannot currently be deleted",
            "Failed to delete current file"))
        return;
    // The folder screen's will-delete notice cleared the resource: the file
    // is gone, and so is its viewer.
    if (!m_resource) {
        if (auto* navigation = navigationController())
            navigation->popViewController(true);
    }
}

// ---- Printing ------------------------------------------------------------------

bool VKViewController::canPrint()
{
    if (!ui::PrintInteractionController::isPrintingAvailable() || !m_resource)
        return false;
    return ui::PrintInteractionController::canPrint(m_resource->fileURL()) || printFormatter() != nullptr;
}

void VKViewController::printFile(const std::shared_ptr<core::Object>&)
{
    if (!m_resource)
        return;
    auto& printer = ui::PrintInteractionController::shared();
    auto formatter = printFormatter();
    if (formatter) {
        printer.setPrintingItem({});
        printer.setPrintFormatter(formatter);
    } else {
        printer.setPrintFormatter(nullptr);
        printer.setPrintingItem(core::Value(m_resource->fileURL().absoluteString()));
    }
    auto* application = ui::Application::shared();
    if (application)
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, true);
    std::weak_ptr<VKViewController> weak = sharedAs<VKViewController>();
    std::string name = m_resource->name();
    bool shown = printer.present(true, [weak, formatter, name](ui::PrintInteractionController& controller, bool,
                                            const core::Error* error) {
        if (error)
            core::log("printController error {}", error->description());
        if (formatter) {
            formatter->setView(nullptr);
            formatter->removeFromPrintPageRenderer();
            controller.setPrintFormatter(nullptr);
        }
        if (error)
            showAlertViewWithTitle(core::localized("Warning"),
                fmt::format(fmt::runtime(core::localized("Failed to print \"{}\"")), name), core::localized("OK"));
        auto self = weak.lock();
        if (auto* app = ui::Application::shared(); app && self)
            app->setStatusBarStyle(self->statusBarStyle(), true);
    });
    if (!shown && application)
        application->setStatusBarStyle(statusBarStyle(), true);
}

// ---- Open in -------------------------------------------------------------------

std::shared_ptr<ui::DocumentInteractionController> VKViewController::openInController()
{
    // Offered only where some application takes files.
    if (!m_openInController && m_resource && !ui::DocumentInteractionController::applications().empty())
        m_openInController = ui::DocumentInteractionController::create(m_resource->fileURL());
    return m_openInController;
}

void VKViewController::openIn(const std::shared_ptr<core::Object>&)
{
    auto controller = openInController();
    auto item = findBarButtonItemWithAction(ShowDocumentActionSheetAction);
    if (!controller || !item) {
        core::log("Warning, open in needs the document sheet's toolbar item");
        return;
    }
    presentOpenInFromBarButtonItemRect(*controller, *item, true);
}
