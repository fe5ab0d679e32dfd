#pragma once

// Mail through the desktop's mail program (`xdg-email`): a composer that
// shows hands its message over. Its attachments are written into a fresh
// folder under the home's tmp and the program gets them by absolute path,
// started directly (no shell) and reaped on a worker; its exit status
// finishes the composer (Sent, or Failed with the status). Missing or
// failing, "Cannot Send Mail" says what to install. Main thread only.

#include <string>
#include <vector>

namespace ui {

class MailComposeController;

class DesktopMail {
public:
    static constexpr const char* Program = "xdg-email";

    // The program is on PATH.
    static bool isAvailable();
    // Composers go to the program from now on; canSendMail follows whether
    // it is there. uninstall() leaves composers headless again.
    static void install();
    static void uninstall();

    // Sends a composer's message now.
    static void send(MailComposeController& composer);
    // The program's arguments for the message with its attachments at
    // `files`: --utf8, the subject, the body when there is one, each file,
    // then the recipients (cc and bcc by their options). Recipients that
    // would read as options are left out.
    static std::vector<std::string> arguments(const MailComposeController& composer,
        const std::vector<std::string>& files);
};

} // namespace ui
