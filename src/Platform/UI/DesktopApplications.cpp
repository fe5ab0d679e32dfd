#include "Platform/UI/DesktopApplications.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/SystemURLOpener.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fmt/format.h>
#include <fstream>
#include <map>
#include <mutex>

namespace ui {

namespace {

std::mutex cacheMutex;
std::map<std::string, std::optional<std::string>> cache;

bool isPlausibleEntry(const std::string& entry)
{
    if (entry.empty() || entry.size() > 255 || !entry.ends_with(".desktop") || entry[0] == '.')
        return false;
    for (char c : entry)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'))
            return false;
    return true;
}

std::vector<std::string> dataFolders()
{
    std::vector<std::string> folders;
    if (const char* home = std::getenv("XDG_DATA_HOME"); home && *home == '/')
        folders.push_back(home);
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        folders.push_back(core::path::appendingPathComponent(home, ".local/share"));
    std::string dirs = std::getenv("XDG_DATA_DIRS") ? std::getenv("XDG_DATA_DIRS") : "";
    if (dirs.empty())
        dirs = "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        std::string folder = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!folder.empty() && folder[0] == '/')
            folders.push_back(folder);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return folders;
}

void showFailure(const std::string& message)
{
    auto alert = AlertView::create(core::localized("Cannot Open File", "Toolkit"), message, {},
        core::localized("OK", "Toolkit"));
    alert->show();
}

// xdg-open itself is missing or cannot start.
std::string missingOpenerMessage(const std::string& path)
{
    return fmt::format(fmt::runtime(core::localized(
                           "\"{}\" could not be handed to another application. Opening files needs xdg-open: install the package xdg-utils.",
                           "Toolkit")),
        core::path::lastPathComponent(path));
}

// The application was started and gave up: its name (or the desktop's
// default, unnamed) and how it ended, as xdg-open passes it on.
std::string failedApplicationMessage(const std::string& path, const std::string& application, int status)
{
    std::string name = core::path::lastPathComponent(path);
    if (application.empty())
        return fmt::format(fmt::runtime(core::localized(
                               "The application for \"{}\" failed to open it (it ended with status {}).", "Toolkit")),
            name, status);
    return fmt::format(fmt::runtime(core::localized("{} failed to open \"{}\" (it ended with status {}).", "Toolkit")),
        application, name, status);
}

} // namespace

void DesktopApplications::install(std::function<std::string(const std::string& path)> mimeTypeOfPath)
{
    DocumentInteractionController::setApplicationsProvider(
        [mimeTypeOfPath = std::move(mimeTypeOfPath)](const core::URL& url) -> std::vector<std::string> {
            if (!url.isFileURL())
                return {};
            auto name = defaultApplicationForMIMEType(mimeTypeOfPath(url.path()));
            if (!name)
                return {};
            return { *name };
        });
    DocumentInteractionController::setLauncher(
        [](const core::URL& url, const std::string& application) { open(url.path(), application); });
}

std::optional<std::string> DesktopApplications::defaultApplicationForMIMEType(const std::string& type)
{
    if (type.empty() || type.size() > 255 || type.find('/') == std::string::npos)
        return std::nullopt;
    {
        std::lock_guard lock(cacheMutex);
        if (auto it = cache.find(type); it != cache.end())
            return it->second;
    }
    std::optional<std::string> name;
    if (auto printed = output("xdg-mime", { "query", "default", type }, QueryTimeout)) {
        std::string entry = printed->substr(0, printed->find('\n'));
        if (isPlausibleEntry(entry))
            name = desktopEntryName(entry);
    }
    std::lock_guard lock(cacheMutex);
    cache[type] = name;
    return name;
}

void DesktopApplications::clearCache()
{
    std::lock_guard lock(cacheMutex);
    cache.clear();
}

std::optional<std::string> DesktopApplications::desktopEntryName(const std::string& entry)
{
    for (const auto& folder : dataFolders()) {
        std::ifstream file(core::path::appendingPathComponent(core::path::appendingPathComponent(folder, "applications"), entry));
        if (!file)
            continue;
        std::string line;
        bool inEntry = false;
        for (int lines = 0; lines < 2000 && std::getline(file, line); ++lines) {
            if (!line.empty() && line[0] == '[') {
                inEntry = line == "[Desktop Entry]";
                continue;
            }
            if (inEntry && line.starts_with("Name=") && line.size() > 5 && line.size() < 260)
                return line.substr(5);
        }
    }
    return std::nullopt;
}

void DesktopApplications::open(const std::string& path, const std::string& application)
{
    int error = 0;
    bool started = SystemURLOpener::spawn("xdg-open", { path }, [path, application](int status) {
        if (status != 0) {
            core::log("xdg-open {} exited with {}", path, status);
            showFailure(failedApplicationMessage(path, application, status));
        }
    }, &error);
    if (!started) {
        core::log("Could not start xdg-open for {}: {}", path, std::strerror(error));
        showFailure(missingOpenerMessage(path));
    }
}

std::optional<std::string> DesktopApplications::output(const std::string& program,
    const std::vector<std::string>& arguments, double timeout, size_t limit)
{
    return SystemURLOpener::output(program, arguments, timeout, limit);
}

} // namespace ui
