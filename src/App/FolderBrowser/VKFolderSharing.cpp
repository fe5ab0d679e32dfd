#include "App/FolderBrowser/VKFolderSharing.h"

#include "App/FolderBrowser/VKFolderCommands.h"
#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/Mail/VKEmailController.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKAlertView.h"
#include "Shell/Interface/ViewControllerAdditions.h"

#include <fmt/format.h>

void VKFolderSharing::emailMarkedItems()
{
    auto host = m_commands.host();
    if (!host)
        return;
    dismissActiveActionSheet(host->commandScreen());
    auto resources = m_commands.markedResources();
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
            m_commands.selfAs<ui::AlertViewDelegate>(), core::localized("Cancel"), { core::localized("Continue") });
        vkSetTag(*warning, VKFolderCommands::Alert::EmailSize);
        core::Value::Array list;
        for (const auto& resource : resources)
            list.push_back(core::Value(std::static_pointer_cast<core::Object>(resource)));
        warning->setUserInfo(core::Value(std::move(list)));
        warning->show();
        return;
    }
    emailResources(resources);
}

void VKFolderSharing::emailResources(const std::vector<std::shared_ptr<VKFileResource>>& resources)
{
    auto host = m_commands.host();
    if (resources.empty() || !host)
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
    mail->setDelegate(std::static_pointer_cast<VKFolderSharing>(shared_from_this()));
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
    mail->beginSendFromViewController(host->commandScreen());
}

void VKFolderSharing::emailController(VKEmailController& controller, bool, const core::Error*)
{
    if (m_emailController.get() != &controller)
        return;
    // The mail controller is inside its own call: it goes after this pass.
    core::RunLoop::main().keepAliveUntilEndOfPass(std::move(m_emailController));
    m_commands.endEditing();
}


// MARK: Open in

void VKFolderSharing::openIn()
{
    auto host = m_commands.host();
    if (!host)
        return;
    dismissActiveActionSheet(host->commandScreen());
    if (!m_currentOpenInController)
        return;
    auto item = host->commandScreen().findBarButtonItemWithAction(VKFolderCommands::ShowEditActionMenuAction);
    if (item && item->view())
        m_currentOpenInController->presentOpenInMenu(*item, true);
}

std::shared_ptr<ui::DocumentInteractionController> VKFolderSharing::openInControllerWithResource(
    const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource)
        return nullptr;
    core::URL url = resource->fileURL();
    if (!m_currentOpenInController || m_currentOpenInController->url().absoluteString() != url.absoluteString()) {
        if (auto old = std::move(m_currentOpenInController))
            core::RunLoop::main().performAfter(0, [old] { });
        auto controller = ui::DocumentInteractionController::create(url);
        if (controller->menuApplications().empty())
            return nullptr;
        m_currentOpenInController = controller;
    }
    return m_currentOpenInController;
}
