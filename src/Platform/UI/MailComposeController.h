#pragma once

// The mail composer: a navigation controller (subclassable) over one compose
// screen, holding the message the system prepared (subject, recipients,
// body, attachments). Headless: presenting it records the message; the
// driver finishes it with a result, which the delegate hears exactly once.
// The composer stays until its presenter dismisses it. Mail is off in the
// program (no mail account); tests switch it on.

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/UI/NavigationController.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class MailComposeController;

class MailComposeControllerDelegate {
public:
    virtual ~MailComposeControllerDelegate() = default;
    virtual void didFinish(MailComposeController& controller, int result, const core::Error* error)
    {
        (void)controller, (void)result, (void)error;
    }
};

class MailComposeController : public NavigationController {
public:
    // The device's numbers.
    enum Result { Cancelled = 0, Saved = 1, Sent = 2, Failed = 3 };
    static constexpr const char* defaultMIMEType = "application/octet-stream";

    struct Attachment {
        core::Data data;
        std::string mimeType;
        std::string fileName;
    };

    static bool canSendMail();
    static void setCanSendMail(bool can);
    // The program's mail backend (the desktop's mail program): hears each
    // composer once it shows; without one composers stay headless.
    using Sender = std::function<void(MailComposeController&)>;
    static void setSender(Sender sender);

    static std::shared_ptr<MailComposeController> create();
    MailComposeController();
    ~MailComposeController() override;

    std::shared_ptr<MailComposeControllerDelegate> mailComposeDelegate() const { return m_mailDelegate.lock(); }
    void setMailComposeDelegate(std::weak_ptr<MailComposeControllerDelegate> delegate)
    {
        m_mailDelegate = std::move(delegate);
    }

    const std::string& subject() const { return m_subject; }
    void setSubject(std::string subject);
    const std::vector<std::string>& toRecipients() const { return m_to; }
    void setToRecipients(std::vector<std::string> recipients) { m_to = std::move(recipients); }
    const std::vector<std::string>& ccRecipients() const { return m_cc; }
    void setCcRecipients(std::vector<std::string> recipients) { m_cc = std::move(recipients); }
    const std::vector<std::string>& bccRecipients() const { return m_bcc; }
    void setBccRecipients(std::vector<std::string> recipients) { m_bcc = std::move(recipients); }
    // An empty MIME type becomes "application/octet-stream".
    void addAttachment(core::Data data, std::string mimeType, std::string fileName);
    const std::vector<Attachment>& attachments() const { return m_attachments; }

    // The person's outcome (the driver): the delegate hears it once; later
    // calls change nothing.
    void finish(int result, const core::Error* error = nullptr);
    bool isFinished() const { return m_finished; }

    static void resetForTesting();

    void loadView() override;
    void viewDidAppear(bool animated) override;

private:
    void addComposeScreen();

    std::weak_ptr<MailComposeControllerDelegate> m_mailDelegate;
    std::string m_subject;
    std::vector<std::string> m_to, m_cc, m_bcc;
    std::vector<Attachment> m_attachments;
    bool m_finished = false;
    bool m_sent = false;
};

} // namespace ui
