// The application delegate's part in files handed over while it runs: by a
// later launch on the same home and by a drop on the window.

#include "App/VKAppDelegate.h"

#include "App/VKAppDiskQuota.h"
#include "App/VKAppImports.h"
#include "App/VKAppPasscodeLock.h"
#include "App/FolderBrowser/VKFolderController.h"
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
#include "Platform/Core/URL.h"

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

} // namespace

bool VKAppDelegate::handleOpenURL(const core::URL& url)
{
    if (!url.isFileURL())
        return false;
    if (m_isLaunching || m_passcodeLock->isUp()) {
        m_pendingHandOvers.push_back(url.path());
        return true;
    }
    if (m_guestMode)
        return false;
    openHandedOver({ url.path() });
    return true;
}

void VKAppDelegate::openPendingHandOvers()
{
    if (m_guestMode)
        return;
    if (!m_pendingHandOvers.empty())
        openHandedOver(std::exchange(m_pendingHandOvers, {}));
    std::string said;
    for (auto& refusal : std::exchange(m_pendingRefusals, {}))
        said += (said.empty() ? "" : "\n") + refusal;
    if (!said.empty())
        showAlertViewWithTitle(core::localized("Not Imported"), said, core::localized("OK"));
}

void VKAppDelegate::openHandedOver(const std::vector<std::string>& paths)
{
    std::optional<std::string> shown;
    for (const auto& handed : paths) {
        const auto imported = importLaunchURL(handed);
        if (!imported)
            continue;
        const auto path = core::path::standardizingPath(*imported);
        if (!core::fs::exists(path))
            continue;
        if (auto quota = VKQuotaManager::defaultManager())
            quota->updateQuotaForPath(path);
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
            core::Value(core::Value::Dictionary { { "Path", core::Value(core::path::deletingLastPathComponent(path)) } }));
        shown = path;
    }
    if (shown)
        m_stack.pushViewControllersForPath(*shown, false);
}

void VKAppDelegate::openDroppedFiles(std::vector<std::string> paths, size_t notFiles)
{
    if (m_guestMode && !m_passcodeLock->isUp()) {
        showAlertViewWithTitle(core::localized("Not Imported"),
            core::localized("Files cannot be imported while a guest uses the application."), core::localized("OK"));
        return;
    }
    if (paths.size() > DroppedFilesLimit) {
        notFiles += paths.size() - DroppedFilesLimit;
        paths.resize(DroppedFilesLimit);
    }
    std::weak_ptr<VKAppDelegate> weak = sharedAs<VKAppDelegate>();
    const auto inbox = VKApplication::sharedApplication()->inboxDirectory();
    core::Thread::detach("drop", [weak, inbox, paths = std::move(paths), notFiles] {
        std::vector<std::string> copies;
        std::vector<std::string> refusals;
        for (const auto& path : paths) {
            core::Error error;
            if (auto copy = VKAppImports::copyIntoInbox(inbox, path, &error)) {
                copies.push_back(std::move(*copy));
            } else {
                core::log("Warning, a dropped {} is not taken: {}", path, error.description());
                refusals.push_back(dropRefusal(path, error));
            }
        }
        core::performOnMainThread([weak, copies = std::move(copies), refusals = std::move(refusals), notFiles] {
            auto self = weak.lock();
            if (!self)
                return;
            if (!refusals.empty() || notFiles) {
                std::string message;
                for (size_t i = 0; i < refusals.size() && i < NamedRefusals; ++i)
                    message += (message.empty() ? "" : "\n") + refusals[i];
                if (size_t more = refusals.size() > NamedRefusals ? refusals.size() - NamedRefusals : 0)
                    message += "\n" + fmt::format(fmt::runtime(core::localized("{} more cannot be imported.")), more);
                if (notFiles)
                    message += (message.empty() ? "" : "\n")
                        + core::localized("Only files can be dropped here: links to web pages and other items are not imported.");
                // Behind the lock the word waits with the files: an alert
                // would take the keys from the passcode's entry.
                if (self->m_isLaunching || self->m_passcodeLock->isUp())
                    self->m_pendingRefusals.push_back(std::move(message));
                else
                    showAlertViewWithTitle(core::localized("Not Imported"), message, core::localized("OK"));
            }
            if (self->m_isLaunching || self->m_passcodeLock->isUp())
                self->m_pendingHandOvers.insert(self->m_pendingHandOvers.end(), copies.begin(), copies.end());
            else if (!self->m_guestMode)
                self->openHandedOver(copies);
        });
    });
}
