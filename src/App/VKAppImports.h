#pragma once

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
    // Copies the bundle's welcome document into the private documents.
    static void copyWelcomeDocument();
};
