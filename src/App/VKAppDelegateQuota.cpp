// The application delegate's part in the disk quota: the warning a full
// store raises, and recounting the document folders on a worker thread while
// the server stays stopped.

#include "App/VKAppDelegate.h"

#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKModalActivityIndicator.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"

#include <fmt/format.h>

#include <mutex>

namespace {

// How long a recount runs before its indicator shows.
constexpr double IndicatorDelay = 0.2;

std::mutex holdMutex;
std::function<void()> workerHold;

} // namespace

void VKAppDelegate::setQuotaWorkerHoldForTesting(std::function<void()> hold)
{
    std::lock_guard lock(holdMutex);
    workerHold = std::move(hold);
}

void VKAppDelegate::showQuotaLimitWarningAlert()
{
    if (!m_quotaWarningAlert) {
        auto quota = VKQuotaManager::defaultManager();
        const auto limit = VKBytesFormatter::sharedFormatter().formatBytesAsString(quota ? quota->quotaTotalBytes() : 0);
        std::vector<std::string> buttons;
        // Help cannot show over another modal screen.
        if (!(m_navController && m_navController->modalViewController()))
            buttons.push_back(core::localized("More Info"));
        buttons.push_back(core::localized("OK"));
        m_quotaWarningAlert = ui::AlertView::create(core::localized("Quota Warning"),
            fmt::format(fmt::runtime(core::localized("Disk quota limit exceeded.\nCurrent limit: {}")), limit),
            std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKAppDelegate>()), std::nullopt, buttons);
        m_quotaWarningAlert->setCancelButtonIndex(int(buttons.size()) - 1);
        vkSetTag(*m_quotaWarningAlert, Alert::QuotaWarning);
        m_quotaWarningPending = true;
    }
    if (m_quotaWarningPending && !m_rootPasscodeController && !m_isLaunching)
        showPendingQuotaWarning();
}

void VKAppDelegate::showPendingQuotaWarning()
{
    if (!m_quotaWarningAlert || !m_quotaWarningPending)
        return;
    m_quotaWarningPending = false;
    m_quotaWarningAlert->show();
}

void VKAppDelegate::updateQuotaForRootDirectoriesIfNeeded()
{
    auto quota = VKQuotaManager::defaultManager();
    if (!quota || quota->rebuildingIndex() || m_quotaRecountRunning)
        return;
    auto application = VKApplication::sharedApplication();
    if (quota->quotaUsedBytes() == 0) {
        startQuotaBackgroundUpdate(false, { application->documentsDirectory(), application->publicDirectory() }, true);
        return;
    }
    std::vector<std::string> invalid;
    for (const auto& directory : { application->publicDirectory(), application->documentsDirectory() })
        if (!quota->isQuotaValidForPath(directory))
            invalid.push_back(directory);
    if (!invalid.empty())
        startQuotaBackgroundUpdate(true, std::move(invalid), false);
}

void VKAppDelegate::rebuildDiskQuota()
{
    auto application = VKApplication::sharedApplication();
    startQuotaBackgroundUpdate(false, { application->publicDirectory(), application->documentsDirectory() }, true);
    if (auto thumbnails = VKThumbnailManager::sharedManager())
        thumbnails->resetCaches();
    if (auto indexes = VKContentIndexManager::sharedManager())
        indexes->resetContextIndexes();
}

void VKAppDelegate::startQuotaBackgroundUpdate(bool smart, std::vector<std::string> directories,
    bool showActivityIndicator)
{
    auto quota = VKQuotaManager::defaultManager();
    if (!quota)
        return;
    // A second worker would count into the same tree, and the first to end
    // would start the server and let a half-counted tree be saved.
    if (m_quotaRecountRunning || quota->rebuildingIndex()) {
        core::log("Warning, quota recount already running: ignoring another");
        return;
    }
    m_quotaRecountRunning = true;
    if (httpServer())
        httpServer()->stopListeningAndDisconnectActiveConnections(true);
    if (showActivityIndicator) {
        m_quotaIndicatorScheduled = true;
        std::weak_ptr<VKAppDelegate> weak = sharedAs<VKAppDelegate>();
        core::RunLoop::main().performAfter(IndicatorDelay, [weak] {
            if (auto self = weak.lock(); self && self->m_quotaIndicatorScheduled)
                self->showQuotaUpdateModalActivityIndicator();
        });
    }
    quota->setRebuildingIndex(true);
    auto self = sharedAs<VKAppDelegate>();
    core::Thread::detach("Quota recount", [self, quota, smart, directories] {
        std::function<void()> hold;
        {
            std::lock_guard lock(holdMutex);
            hold = workerHold;
        }
        if (hold)
            hold();
        if (smart) {
            for (const auto& directory : directories)
                quota->smartUpdateQuotaForDirectory(directory);
        } else {
            quota->resetQuota();
            for (const auto& directory : directories)
                quota->updateQuotaForPath(directory);
        }
        core::RunLoop::main().post([self, directories] { self->quotaBackgroundUpdateDidEnd(directories); });
    });
}

void VKAppDelegate::showQuotaUpdateModalActivityIndicator()
{
    m_quotaIndicatorScheduled = false;
    if (m_quotaIndicator || !m_window)
        return;
    m_quotaIndicator = VKModalActivityIndicator::create(core::localized("Rebuilding index..."));
    m_quotaIndicator->showInWindow(*m_window);
}

void VKAppDelegate::quotaBackgroundUpdateDidEnd(const std::vector<std::string>& directories)
{
    m_quotaIndicatorScheduled = false;
    if (auto indicator = std::move(m_quotaIndicator))
        indicator->dismiss();
    if (auto quota = VKQuotaManager::defaultManager())
        quota->setRebuildingIndex(false);
    m_quotaRecountRunning = false;
    if (httpServer() && !httpServer()->isStarted() && core::UserDefaults::standard()->boolForKey("VKServerEnabled")
        && !m_isLaunching && !m_rootPasscodeController)
        startHTTPServer(true);
    for (const auto& directory : directories)
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
            core::Value(core::Value::Dictionary { { "Path", core::Value(directory) } }));
}
