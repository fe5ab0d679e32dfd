#include "App/Mail/VKEmailController.h"

#include "App/Mail/VKMailComposeViewController.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKZipArchiver.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/MIMETypes.h"
#include "Kit/StringAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/ViewController.h"

#include <fmt/format.h>

#include <mutex>

namespace {

std::mutex gateMutex;
std::function<void()> workerGate;

// What one run of the worker owns: its own copy of the list, the zip files
// it wrote and the list it hands back.
struct Preparation {
    std::vector<VKEmailController::Attachment> attachments;
    std::vector<std::string> madeFiles;
    std::vector<VKEmailController::Attachment> result;
};

void removeFiles(const std::vector<std::string>& paths)
{
    for (const auto& path : paths) {
        if (core::fs::exists(path) && !core::fs::removeItem(path))
            core::log("Warning, failed to remove attachment file: {}", path);
    }
}

core::PerformKey alertPerform(const std::shared_ptr<int>& key)
{
    return { key, "showPreparingAttachmentsAlert", {} };
}

} // namespace

std::shared_ptr<VKEmailController> VKEmailController::create()
{
    return std::make_shared<VKEmailController>();
}

VKEmailController::VKEmailController()
    : m_mailComposeViewController(VKMailComposeViewController::create())
{
}

VKEmailController::~VKEmailController()
{
    removeFiles(m_tempFiles);
    if (core::RunLoop::hasMainThread())
        core::RunLoop::main().cancelPerforms(alertPerform(m_alertPerformKey));
    if (auto alert = std::move(m_preparingAttachmentsAlertView))
        alert->dismiss(-1, true);
}

bool VKEmailController::canSendMail()
{
    return ui::MailComposeController::canSendMail();
}

void VKEmailController::setWorkerGateForTesting(std::function<void()> gate)
{
    std::lock_guard lock(gateMutex);
    workerGate = std::move(gate);
}

bool VKEmailController::addAttachment(const std::string& path, std::optional<std::string> fileName)
{
    bool isFolder = false;
    if (path.empty() || !core::fs::exists(path, &isFolder))
        return false;
    if (isFolder && !isPackageAtPath(path))
        return false;
    std::string name = fileName && !fileName->empty() ? *fileName : core::path::lastPathComponent(path);
    m_attachments.push_back({ path, std::move(name) });
    return true;
}

void VKEmailController::setSubject(std::string subject)
{
    if (m_mailComposeViewController)
        m_mailComposeViewController->setSubject(std::move(subject));
}

void VKEmailController::beginSendFromViewController(ui::ViewController& controller)
{
    ui::requireMainThread("VKEmailController::beginSendFromViewController");
    m_fromViewController = controller.weak_from_this();
    std::weak_ptr<VKEmailController> weak = sharedAs<VKEmailController>();

    bool hasPackage = false;
    for (const auto& attachment : m_attachments)
        hasPackage = hasPackage || isPackageAtPath(attachment.path);
    if (!hasPackage) {
        // Nothing to zip, so nothing is made; the composer still comes up on
        // the next pass, as it would after zipping.
        std::vector<std::string> none;
        auto prepared = prepareAttachments(m_attachments, none);
        core::performOnMainThread(sharedAs<VKEmailController>(), [prepared](VKEmailController& self) {
            self.sendAttachments(prepared);
        });
        return;
    }

    auto preparation = std::make_shared<Preparation>();
    preparation->attachments = m_attachments;
    core::Thread::detach("VKEmailController.prepareAttachments", [weak, preparation] {
        std::function<void()> gate;
        {
            std::lock_guard lock(gateMutex);
            gate = workerGate;
        }
        if (gate)
            gate();
        preparation->result = prepareAttachments(preparation->attachments, preparation->madeFiles);
        core::performOnMainThread([weak, preparation] {
            auto self = weak.lock();
            if (!self || !self->m_mailComposeViewController) {
                // Cancelled or let go meanwhile: nobody will send these.
                removeFiles(preparation->madeFiles);
                if (self)
                    self->sendAttachments({});
                return;
            }
            self->m_tempFiles.insert(self->m_tempFiles.end(), preparation->madeFiles.begin(),
                preparation->madeFiles.end());
            self->sendAttachments(preparation->result);
        });
    });
    core::RunLoop::main().performAfter(
        sharedAs<VKEmailController>(), PreparingAlertDelay,
        [](VKEmailController& self) {
            self.showPreparingAttachmentsAlert();
        },
        alertPerform(m_alertPerformKey));
}

std::vector<VKEmailController::Attachment> VKEmailController::prepareAttachments(
    const std::vector<Attachment>& attachments, std::vector<std::string>& madeFiles)
{
    std::vector<Attachment> prepared;
    for (const auto& attachment : attachments) {
        if (!isPackageAtPath(attachment.path)) {
            prepared.push_back(attachment);
            continue;
        }
        // A name is only ever the last part of a path here, so that the zip
        // stays inside the temporary folder.
        std::string name = core::path::lastPathComponent(attachment.name);
        if (name.empty() || name == "/")
            name = core::path::lastPathComponent(attachment.path);
        std::string zipPath = core::path::appendingPathComponent(VKTemporaryDirectory(),
            fmt::format("{}-{}.zip", vkGenerateUUID(), name));
        madeFiles.push_back(zipPath);
        if (!VKZipArchiver::archiveItemAtPath(attachment.path, zipPath, ZipCompressionLevel)) {
            core::log("Warning, zip failed for: {}", attachment.path);
            continue;
        }
        prepared.push_back({ zipPath, attachment.name + ".zip" });
    }
    return prepared;
}

void VKEmailController::sendAttachments(const std::vector<Attachment>& attachments)
{
    auto keep = shared_from_this();
    core::RunLoop::main().cancelPerforms(alertPerform(m_alertPerformKey));
    dismissPreparingAttachmentsAlert();
    if (!m_mailComposeViewController)
        return;
    if (attachments.empty()) {
        core::log("Warning, sendAttachments passed 0 attachments");
        m_mailComposeViewController.reset();
        sendDelegateDidFinishMessageWithSuccess(false, nullptr);
        return;
    }

    struct Mapped {
        core::Data data;
        std::string mimeType;
        std::string name;
    };
    std::vector<Mapped> mapped;
    for (const auto& attachment : attachments) {
        core::Data data;
        core::Error error;
        // Only a file of the home goes: a link that leads out of it is left out.
        if (!core::fs::readFileWithin(attachment.path, core::paths::home(), data, &error)) {
            core::log("Warning, attachment left out, it cannot be read: {} ({})", attachment.path,
                error.localizedDescription());
            continue;
        }
        mapped.push_back({ std::move(data), MIMEGetTypeForFile(attachment.path), attachment.name });
    }
    auto from = std::dynamic_pointer_cast<ui::ViewController>(m_fromViewController.lock());
    m_fromViewController.reset();
    if (mapped.empty() || !from) {
        core::log(mapped.empty() ? "Warning, sendAttachments passed 0 attachments"
                                 : "Warning, the screen the mail was started from is gone");
        m_mailComposeViewController.reset();
        sendDelegateDidFinishMessageWithSuccess(false, nullptr);
        return;
    }
    auto composer = m_mailComposeViewController;
    for (auto& attachment : mapped)
        composer->addAttachment(std::move(attachment.data), std::move(attachment.mimeType), std::move(attachment.name));
    composer->setMailComposeDelegate(std::static_pointer_cast<ui::MailComposeControllerDelegate>(sharedAs<VKEmailController>()));
    if (auto* application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, false);
    from->presentModalViewController(composer, true);
}

void VKEmailController::showPreparingAttachmentsAlert()
{
    if (m_preparingAttachmentsAlertView || !m_mailComposeViewController)
        return;
    auto alert = ui::AlertView::create(core::localized("Preparing attachments...") + "\n\n", "",
        std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKEmailController>()), core::localized("Cancel"));
    // Gray rather than white: the toolkit's alerts are light, and a white
    // spinner would not show on them.
    auto spinner = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::Gray);
    spinner->sizeToFit();
    gfx::Rect frame = spinner->frame();
    spinner->setFrame({ 150 - frame.width(), 45, frame.width(), frame.height() });
    spinner->startAnimating();
    alert->addSubview(spinner);
    m_preparingAttachmentsAlertView = alert;
    alert->show();
}

void VKEmailController::dismissPreparingAttachmentsAlert()
{
    if (auto alert = m_preparingAttachmentsAlertView)
        alert->dismiss(-1, true);
    m_preparingAttachmentsAlertView.reset();
}

void VKEmailController::clickedButton(ui::AlertView& alert, int index)
{
    if (&alert != m_preparingAttachmentsAlertView.get())
        return;
    auto keep = shared_from_this();
    m_preparingAttachmentsAlertView.reset();
    if (alert.tag() == VKAlertViewTagSystemCancelled || index != alert.cancelButtonIndex())
        return;
    // The zipping runs on; its result finds no composer and is deleted.
    core::RunLoop::main().cancelPerforms(alertPerform(m_alertPerformKey));
    m_mailComposeViewController.reset();
    sendDelegateDidFinishMessageWithSuccess(true, nullptr);
}

void VKEmailController::didFinish(ui::MailComposeController& controller, int result, const core::Error*)
{
    auto keep = shared_from_this();
    auto composer = controller.shared_from_this();
    m_mailComposeViewController.reset();
    sendDelegateDidFinishMessageWithSuccess(result != ui::MailComposeController::Failed, nullptr);
    controller.dismissModalViewController(true);
}

void VKEmailController::sendDelegateDidFinishMessageWithSuccess(bool success, const core::Error* error)
{
    if (auto d = delegate())
        d->emailController(*this, success, error);
}
