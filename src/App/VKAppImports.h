#pragma once

#include "Platform/Core/Result.h"

#include <optional>
#include <string>

// The files the application takes in: one another application handed over
// through the inbox, and the first run's welcome document.
class VKAppImports {
public:
    // Moves a file from the inbox into the private "Imports" folder (under a
    // readable name when it has a generated one, dated now when it carries
    // no real date) and answers where it went; a file outside the inbox
    // comes back as it is. One at least as large as the free space (the
    // last run's count, else the quota manager's) is removed and nothing is
    // answered. An inbox left empty goes.
    static std::optional<std::string> importLaunchURL(const std::string& path);
    // Copies a file handed over from outside (a later launch, a drop on the
    // window) into the inbox under a name of its own and answers the copy's
    // path; any thread. Only a regular file is taken (a link to one, its
    // file, from any file system): a folder fails with EISDIR, a FIFO,
    // socket or device unread; a failed copy leaves nothing in the inbox
    // and answers why.
    static core::Result<std::string> copyIntoInbox(const std::string& inbox, const std::string& path);
    // Copies the bundle's welcome document into the private documents.
    static void copyWelcomeDocument();
};
