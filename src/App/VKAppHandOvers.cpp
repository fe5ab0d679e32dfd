#include "App/VKAppHandOvers.h"

#include "App/VKAppImports.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/VKApplication.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"

#include <fmt/format.h>

#include <cerrno>
#include <utility>

namespace {

// The most files one drop takes, and the refusals one alert names.
constexpr size_t DroppedFilesLimit = 100;
constexpr size_t NamedRefusals = 5;

std::string dropRefusal(const std::string& path, const core::Error& error)
{
    const auto name = core::path::lastPathComponent(path);
    if (error.domain() == core::Error::POSIXDomain && error.code() == EISDIR)
        return fmt::format(fmt::runtime(core::localized("\u201c{}\u201d is a folder: only files can be imported.")), name);
    if (error.domain() == core::Error::POSIXDomain && error.code() == ENODEV)
        return fmt::format(fmt::runtime(core::localized("\u201c{}\u201d is not a regular file and cannot be imported.")), name);
    return fmt::format(fmt::runtime(core::localized("\u201c{}\u201d cannot be imported: {}")), name,
        error.localizedDescription());
}

void sayNotImported(const std::string& message)
{
    showAlertViewWithTitle(core::localized("Not Imported"), message, core::localized("OK"));
}

} // namespace

bool VKAppHandOvers::handOver(const std::string& path)
{
    if (m_host.handOversMustWait()) {
        m_pending.push_back(path);
        return true;
    }
    if (m_host.handOversGuest())
        return false;
    open({ path });
    return true;
}

void VKAppHandOvers::openPending()
{
    if (m_host.handOversGuest())
        return;
    if (!m_pending.empty())
        open(std::exchange(m_pending, {}));
    std::string said;
    for (auto& refusal : std::exchange(m_pendingRefusals, {}))
        said += (said.empty() ? "" : "\n") + refusal;
    if (!said.empty())
        sayNotImported(said);
}

void VKAppHandOvers::open(const std::vector<std::string>& paths)
{
    std::optional<std::string> shown;
    for (const auto& handed : paths) {
        const auto imported = m_host.handOverImport(handed);
        if (!imported)
            continue;
        const auto path = core::path::standardizingPath(*imported);
        if (!core::fs::exists(path))
            continue;
        if (auto quota = VKQuotaManager::defaultManager())
            quota->updateQuotaForPath(path);
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
            { core::path::deletingLastPathComponent(path) });
        shown = path;
    }
    if (shown)
        m_host.handOverShow(*shown);
}

void VKAppHandOvers::drop(std::vector<std::string> paths, size_t notFiles)
{
    if (m_host.handOversGuest() && !m_host.handOversLocked()) {
        sayNotImported(core::localized("Files cannot be imported while a guest uses the application."));
        return;
    }
    if (paths.size() > DroppedFilesLimit) {
        notFiles += paths.size() - DroppedFilesLimit;
        paths.resize(DroppedFilesLimit);
    }
    std::weak_ptr<bool> alive = m_alive;
    const auto inbox = VKApplication::sharedApplication()->inboxDirectory();
    core::Thread::detach("drop", [this, alive, inbox, paths = std::move(paths), notFiles] {
        std::vector<std::string> copies;
        std::vector<std::string> refusals;
        for (const auto& path : paths) {
            if (auto copy = VKAppImports::copyIntoInbox(inbox, path)) {
                copies.push_back(std::move(*copy));
            } else {
                core::log("Warning, a dropped {} is not taken: {}", path, copy.error().description());
                refusals.push_back(dropRefusal(path, copy.error()));
            }
        }
        // The hand-overs live and die on the main thread: checked there.
        core::performOnMainThread(
            [this, alive, copies = std::move(copies), refusals = std::move(refusals), notFiles]() mutable {
                if (alive.lock())
                    dropped(std::move(copies), std::move(refusals), notFiles);
            });
    });
}

void VKAppHandOvers::dropped(std::vector<std::string> copies, std::vector<std::string> refusals, size_t notFiles)
{
    const bool wait = m_host.handOversMustWait();
    if (!refusals.empty() || notFiles) {
        std::string message;
        for (size_t i = 0; i < refusals.size() && i < NamedRefusals; ++i)
            message += (message.empty() ? "" : "\n") + refusals[i];
        if (size_t more = refusals.size() > NamedRefusals ? refusals.size() - NamedRefusals : 0)
            message += "\n" + fmt::format(fmt::runtime(core::localized("{} more cannot be imported.")), more);
        if (notFiles)
            message += (message.empty() ? "" : "\n")
                + core::localized("Only files can be dropped here: links to web pages and other items are not imported.");
        // Behind the lock the word waits with the files: an alert would take
        // the keys from the passcode's entry.
        if (wait)
            m_pendingRefusals.push_back(std::move(message));
        else
            sayNotImported(message);
    }
    if (wait)
        m_pending.insert(m_pending.end(), copies.begin(), copies.end());
    else if (!m_host.handOversGuest())
        open(copies);
}
