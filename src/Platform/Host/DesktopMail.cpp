#include "Platform/Host/DesktopMail.h"

#include "Platform/Core/Error.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/SystemURLOpener.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fmt/format.h>
#include <set>
#include <unistd.h>

namespace ui {

namespace {

constexpr const char* MailErrorDomain = "ui.DesktopMail";

// A name for an attachment inside its folder: its last component, no
// leading dots, never empty, unique among its siblings.
std::string attachmentName(const std::string& given, std::set<std::string>& taken)
{
    std::string name = given.substr(given.find_last_of('/') == std::string::npos ? 0 : given.find_last_of('/') + 1);
    name.erase(0, name.find_first_not_of('.'));
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    if (name.empty())
        name = "Attachment";
    std::string unique = name;
    for (int n = 2; taken.count(unique); ++n) {
        size_t dot = name.find_last_of('.');
        unique = dot == std::string::npos || dot == 0 ? fmt::format("{} {}", name, n)
                                                      : fmt::format("{} {}{}", name.substr(0, dot), n, name.substr(dot));
    }
    taken.insert(unique);
    return unique;
}

void fail(MailComposeController& composer, const std::string& message, int code)
{
    core::log("Mail not sent: {}", message);
    auto alert = AlertView::create(core::localized("Cannot Send Mail", "Toolkit"), message, {},
        core::localized("OK", "Toolkit"));
    alert->show();
    core::Error error(MailErrorDomain, code, message);
    composer.finish(MailComposeController::Failed, &error);
}

// What xdg-email's status means to a person: 3 is its "no tool found", the
// desktop having no mail program set up.
std::string endedMessage(int status)
{
    if (status == 3)
        return core::localized("No mail program is set up on this computer. Choose an e-mail application in the "
                               "desktop's settings (default applications), then try again.",
            "Toolkit");
    return fmt::format(fmt::runtime(core::localized("The mail program could not take the message (it ended with "
                                                    "status {}).",
                           "Toolkit")),
        status);
}

std::string missingProgramMessage()
{
    return fmt::format("Sending mail needs the desktop's mail program ({}, from the xdg-utils package). Install "
                       "xdg-utils and a mail client, then try again.",
        DesktopMail::Program);
}

} // namespace

bool DesktopMail::isAvailable()
{
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access(core::path::appendingPathComponent(dir, Program).c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

void DesktopMail::install()
{
    MailComposeController::setCanSendMail(isAvailable());
    MailComposeController::setSender([](MailComposeController& composer) { send(composer); });
}

void DesktopMail::uninstall()
{
    MailComposeController::setSender({});
    MailComposeController::setCanSendMail(false);
}

std::vector<std::string> DesktopMail::arguments(const MailComposeController& composer,
    const std::vector<std::string>& files)
{
    std::vector<std::string> args { "--utf8", "--subject", composer.subject() };
    for (auto& file : files)
        args.insert(args.end(), { "--attach", file });
    auto usable = [](const std::string& recipient) {
        if (recipient.empty() || recipient[0] == '-') {
            core::log("Mail recipient left out: \"{}\"", recipient);
            return false;
        }
        return true;
    };
    for (auto& r : composer.ccRecipients())
        if (usable(r))
            args.insert(args.end(), { "--cc", r });
    for (auto& r : composer.bccRecipients())
        if (usable(r))
            args.insert(args.end(), { "--bcc", r });
    for (auto& r : composer.toRecipients())
        if (usable(r))
            args.push_back(r);
    return args;
}

void DesktopMail::send(MailComposeController& composer)
{
    if (!isAvailable())
        return fail(composer, missingProgramMessage(), ENOENT);
    std::vector<std::string> files;
    if (!composer.attachments().empty()) {
        std::string pattern = core::path::appendingPathComponent(core::paths::temporaryDirectory(), "Mail-XXXXXX");
        if (!::mkdtemp(pattern.data()))
            return fail(composer, fmt::format("The attachments cannot be written: {}", std::strerror(errno)), errno);
        std::set<std::string> taken;
        for (auto& attachment : composer.attachments()) {
            std::string file = core::path::appendingPathComponent(pattern, attachmentName(attachment.fileName, taken));
            core::Error error;
            if (!core::fs::writeFileAtomically(file, std::string_view(attachment.data.chars(), attachment.data.size()),
                    &error, 0600))
                return fail(composer, fmt::format("The attachments cannot be written: {}", error.localizedDescription()),
                    EIO);
            files.push_back(file);
        }
    }
    std::weak_ptr<MailComposeController> held
        = std::static_pointer_cast<MailComposeController>(composer.shared_from_this());
    int error = 0;
    bool started = SystemURLOpener::spawn(Program, arguments(composer, files), [held](int status) {
        auto composer = held.lock();
        if (!composer || composer->isFinished())
            return;
        if (status == 0)
            composer->finish(MailComposeController::Sent);
        else
            fail(*composer, endedMessage(status), status);
    }, &error);
    if (!started)
        fail(composer, error == ENOENT ? missingProgramMessage()
                                       : fmt::format("{} cannot start: {}", Program, std::strerror(error)),
            error);
}

} // namespace ui
