// Sending the marked items by e-mail: plain folders cannot go, a selection
// over the attachment limit asks first, and the mail controller lives until
// its sheet ends.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/Mail/VKEmailController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"

#include <fmt/format.h>

void VKFolderController::emailMarkedItems(const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(*this);
    auto resources = markedResources();
    if (resources.empty())
        return;
    uint64_t total = 0;
    for (const auto& resource : resources) {
        if (resource->isCollection() && !resource->isPackage()) {
            showAlertViewWithMessage(
                core::localized("The selection contains folders, which cannot be sent as email attachments."),
                core::localized("OK"));
            return;
        }
        total += resource->size();
    }
    if (total > VKEmailController::maximumMessageSize()) {
        auto& formatter = VKBytesFormatter::sharedFormatter();
        auto warning = VKAlertView::create(core::localized("Warning"),
            fmt::format(fmt::runtime(core::localized("The selection ({})\nexceeds the attachment size limit of\n{}.")),
                formatter.formatBytesAsString(total), formatter.formatBytesAsString(VKEmailController::maximumMessageSize())),
            std::static_pointer_cast<ui::AlertViewDelegate>(self()), core::localized("Cancel"),
            { core::localized("Continue") });
        vkSetTag(*warning, Alert::EmailSize);
        core::Value::Array list;
        for (const auto& resource : resources)
            list.push_back(core::Value(std::static_pointer_cast<core::Object>(resource)));
        warning->setUserInfo(core::Value(std::move(list)));
        warning->show();
        return;
    }
    emailResources(resources);
}

void VKFolderController::emailResources(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    if (resources.empty())
        return;
    for (const auto& resource : resources) {
        if (resource->supportedFileOperations() & VKFileResourceOperationEmail)
            continue;
        showAlertViewWithTitle(core::localized("Warning"),
            resource->localizedDescriptionForUnsupportedFileOperation(VKFileResourceOperationEmail).value_or(std::string()),
            core::localized("OK"));
        return;
    }
    if (!VKEmailController::canSendMail()) {
        showAlertViewWithTitle(core::localized("Unable To Send Email"),
            core::localized("You may need to set up a Mail account in order to send email."), core::localized("OK"));
        return;
    }
    auto mail = VKEmailController::create();
    mail->setDelegate(std::static_pointer_cast<VKEmailControllerDelegate>(self()));
    mail->setSubject(resources.front()->name());
    for (const auto& resource : resources) {
        if (mail->addAttachment(resource->path(), resource->name()))
            continue;
        showAlertViewWithMessage(
            fmt::format(fmt::runtime(core::localized("There was an error adding attachment \"{}\".")), resource->name()),
            core::localized("OK"));
        return;
    }
    m_emailController = mail;
    mail->beginSendFromViewController(*this);
}

void VKFolderController::emailController(VKEmailController& controller, bool, const core::Error*)
{
    if (m_emailController.get() != &controller)
        return;
    // The mail controller is inside its own call: it goes after this pass.
    core::RunLoop::main().keepAliveUntilEndOfPass(std::move(m_emailController));
    setEditing(false, true);
}
