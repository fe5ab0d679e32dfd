#pragma once

// The desktop's applications for "open in": a file's application is the
// desktop's default for its MIME type (`xdg-mime query default <type>`),
// shown by its desktop entry's Name and cached per type; choosing it runs
// `xdg-open <path>`, no shell. A launch that cannot start brings the alert
// "Cannot Open File" naming the package to install; one whose application
// fails (`xdg-open` exits non-zero) says that the application, by name,
// failed and how it ended. xdg-mime missing, printing garbage or taking
// more than two seconds (then killed) gives no application.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class DesktopApplications {
public:
    static constexpr double QueryTimeout = 2;

    // Installs the provider and the launcher on DocumentInteractionController;
    // `mimeTypeOfPath` names a file's type.
    static void install(std::function<std::string(const std::string& path)> mimeTypeOfPath);

    // The default application's name for the type; cached, also when none.
    static std::optional<std::string> defaultApplicationForMIMEType(const std::string& type);
    // Starts xdg-open on the file for the named application (empty: the
    // desktop's default); the alert follows a failure.
    static void open(const std::string& path, const std::string& application = {});
    static void clearCache();

    // Runs a program found on PATH (no shell, input /dev/null, errors
    // discarded) and answers what it printed, at most `limit` bytes; nothing
    // when it cannot start, exits non-zero or outlives `timeout` (killed).
    static std::optional<std::string> output(const std::string& program, const std::vector<std::string>& arguments,
        double timeout, size_t limit = 4096);

    // The Name of the desktop entry ("org.gnome.eog.desktop") in the XDG
    // data folders; nothing when there is none.
    static std::optional<std::string> desktopEntryName(const std::string& entry);
};

} // namespace ui
