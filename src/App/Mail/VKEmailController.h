#pragma once

// Sends files by e-mail through the mail composer. A caller adds
// attachments by path, sets a subject and starts the send from a screen;
// the delegate hears once how it ended. Packages (folders shown as one
// document) are zipped first, at level 9, on a thread of their own, into
// the home's temporary folder; when that takes longer than 0.4 s an alert
// with a spinner says so and its Cancel ends the send (as a success: the
// person chose it). Plain files are attached as they are, the composer
// coming up on the next pass. Attachments are mapped from disk, never read
// whole. The zip files live as long as the controller.
//
// The worker owns what it makes: its list of attachments, the zip files it
// wrote and its result. It hands them back on the main thread, where a
// controller that is gone, or a send that was cancelled meanwhile, has the
// zip files deleted there and then; nothing of the controller is touched
// from the worker.

#include "App/Mail/VKEmailControllerDelegate.h"
#include "Platform/Core/Object.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/MailComposeController.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {
class ViewController;
}
class VKMailComposeViewController;

class VKEmailController : public core::Object, public ui::MailComposeControllerDelegate, public ui::AlertViewDelegate {
public:
    // How long the zipping may take before the alert shows.
    static constexpr double PreparingAlertDelay = 0.4;
    static constexpr int ZipCompressionLevel = 9;

    // One file of the mail: where it is and the name the mail shows.
    struct Attachment {
        std::string path;
        std::string name;
        bool operator==(const Attachment&) const = default;
    };

    static std::shared_ptr<VKEmailController> create();
    VKEmailController();
    ~VKEmailController() override;

    // The composer's own answer.
    static bool canSendMail();
    // What the folder browser lets a mail carry: 5 MB.
    static uint64_t maximumMessageSize() { return 5242880; }

    std::shared_ptr<VKEmailControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKEmailControllerDelegate> delegate) { m_delegate = std::move(delegate); }

    // False when nothing is at the path or it is a folder that is no
    // package. The name defaults to the path's last component.
    bool addAttachment(const std::string& path, std::optional<std::string> fileName = std::nullopt);
    void setSubject(std::string subject);
    // While the composer exists: from the start until the send ended.
    bool isSendingEmail() const { return m_mailComposeViewController != nullptr; }
    // Starts the send; the composer is presented from `controller`.
    void beginSendFromViewController(ui::ViewController& controller);

    const std::vector<Attachment>& attachments() const { return m_attachments; }
    const std::shared_ptr<VKMailComposeViewController>& mailComposeViewController() const
    {
        return m_mailComposeViewController;
    }
    // The zip files made for this controller's mail.
    const std::vector<std::string>& tempFiles() const { return m_tempFiles; }
    // The "Preparing attachments..." alert while it is up.
    const std::shared_ptr<ui::AlertView>& preparingAttachmentsAlertView() const { return m_preparingAttachmentsAlertView; }

    // The zips of `attachments` for a mail: each package zipped into the
    // temporary folder as "<UUID>-<name>.zip" (its path added to `madeFiles`
    // before it is written) and attached as "<name>.zip"; one that fails is
    // left out with a log line. Other attachments pass unchanged. Any thread.
    static std::vector<Attachment> prepareAttachments(const std::vector<Attachment>& attachments,
        std::vector<std::string>& madeFiles);

    // Runs on the worker before it zips anything (tests hold it there).
    static void setWorkerGateForTesting(std::function<void()> gate);

    // The composer's end: 0–2 are a success, 3 (failed) is not.
    void didFinish(ui::MailComposeController& controller, int result, const core::Error* error) override;
    // The preparing alert's Cancel.
    void clickedButton(ui::AlertView& alert, int index) override;

private:
    void sendAttachments(const std::vector<Attachment>& attachments);
    void showPreparingAttachmentsAlert();
    void dismissPreparingAttachmentsAlert();
    void sendDelegateDidFinishMessageWithSuccess(bool success, const core::Error* error);

    std::weak_ptr<VKEmailControllerDelegate> m_delegate;
    std::vector<Attachment> m_attachments;
    std::vector<std::string> m_tempFiles;
    std::shared_ptr<VKMailComposeViewController> m_mailComposeViewController;
    std::weak_ptr<core::Object> m_fromViewController;
    std::shared_ptr<ui::AlertView> m_preparingAttachmentsAlertView;
    // Names the pending alert perform, so that it can be cancelled without
    // the run loop keeping this controller alive.
    std::shared_ptr<int> m_alertPerformKey = std::make_shared<int>(0);
};
