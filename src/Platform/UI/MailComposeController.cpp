#include "Platform/UI/MailComposeController.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Checks.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <fmt/format.h>

namespace ui {

namespace {

std::atomic<bool> mailAvailable { false };

MailComposeController::Sender& sender()
{
    static MailComposeController::Sender installed;
    return installed;
}

} // namespace

bool MailComposeController::canSendMail()
{
    return mailAvailable;
}

void MailComposeController::setCanSendMail(bool can)
{
    mailAvailable = can;
}

void MailComposeController::setSender(Sender sender)
{
    ::ui::sender() = std::move(sender);
}

void MailComposeController::viewDidAppear(bool animated)
{
    NavigationController::viewDidAppear(animated);
    if (m_finished || std::exchange(m_sent, true) || !::ui::sender())
        return;
    auto self = shared_from_this();
    ::ui::sender()(*this);
}

std::shared_ptr<MailComposeController> MailComposeController::create()
{
    auto composer = std::make_shared<MailComposeController>();
    composer->addComposeScreen();
    return composer;
}

MailComposeController::MailComposeController() = default;

MailComposeController::~MailComposeController() = default;

void MailComposeController::addComposeScreen()
{
    if (!viewControllers().empty())
        return;
    auto screen = ViewController::create();
    screen->setTitle(m_subject.empty() ? core::localized("New Message", "Toolkit") : m_subject);
    setViewControllers({ screen }, false);
}

void MailComposeController::loadView()
{
    addComposeScreen();
    NavigationController::loadView();
}

void MailComposeController::setSubject(std::string subject)
{
    m_subject = std::move(subject);
    if (!viewControllers().empty() && !m_subject.empty())
        viewControllers().front()->setTitle(m_subject);
}

void MailComposeController::addAttachment(core::Data data, std::string mimeType, std::string fileName)
{
    if (mimeType.empty())
        mimeType = defaultMIMEType;
    m_attachments.push_back({ std::move(data), std::move(mimeType), std::move(fileName) });
}

void MailComposeController::finish(int result, const core::Error* error)
{
    requireMainThread("MailComposeController::finish");
    if (result < Cancelled || result > Failed)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("MailComposeController::finish: {} is no result", result));
    if (m_finished)
        return;
    m_finished = true;
    auto self = shared_from_this();
    if (auto d = mailComposeDelegate())
        d->didFinish(*this, result, result == Failed ? error : nullptr);
}

void MailComposeController::resetForTesting()
{
    mailAvailable = false;
}

} // namespace ui
