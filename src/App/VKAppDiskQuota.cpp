#include "App/VKAppDiskQuota.h"

#include "App/VKAppDiskQuotaHost.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKModalActivityIndicator.h"
#include "Shell/VKApplication.h"
#include "Shell/VKWindow.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKQuotaWatcher.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "WebDAV/WebDAVResponse.h"

#include <fmt/format.h>

#include <mutex>

namespace {

// How long a recount runs before its indicator shows.
constexpr double DiskQuotaIndicatorDelay = 0.2;

std::mutex diskQuotaHoldMutex;
std::function<void()> diskQuotaWorkerHold;

} // namespace

std::shared_ptr<VKAppDiskQuota> VKAppDiskQuota::create(VKAppDiskQuotaHost& host)
{
    return std::shared_ptr<VKAppDiskQuota>(new VKAppDiskQuota(host));
}

VKAppDiskQuota::VKAppDiskQuota(VKAppDiskQuotaHost& host)
    : m_host(host)
{
}

VKAppDiskQuota::~VKAppDiskQuota()
{
    if (auto recount = m_recount.lock())
        recount->cancel();
}

void VKAppDiskQuota::setWorkerHoldForTesting(std::function<void()> hold)
{
    std::lock_guard lock(diskQuotaHoldMutex);
    diskQuotaWorkerHold = std::move(hold);
}

void VKAppDiskQuota::restoreSavedTree()
{
    auto defaults = core::UserDefaults::standard();
    const auto storedTree = defaults->object("VKQuotaStore");
    if (storedTree.isNull())
        return;
    if (auto quota = VKQuotaManager::defaultManager())
        quota->setQuotaStore(storedTree);
    defaults->remove("VKQuotaStore");
    defaults->remove("VKQuotaAvailableBytes");
}

void VKAppDiskQuota::saveTree() const
{
    // A tree half way through its recount is never kept.
    auto quota = VKQuotaManager::defaultManager();
    if (!quota || quota->rebuildingIndex())
        return;
    auto defaults = core::UserDefaults::standard();
    if (auto tree = quota->quotaStore(); tree.isDictionary())
        defaults->set("VKQuotaStore", tree);
    if (auto available = quota->quotaAvailableBytes())
        defaults->set("VKQuotaAvailableBytes", core::Value(int64_t(*available)));
    else
        defaults->remove("VKQuotaAvailableBytes");
}

void VKAppDiskQuota::startWatching()
{
    auto quota = VKQuotaManager::defaultManager();
    if (!quota || m_watcher)
        return;
    auto application = VKApplication::sharedApplication();
    m_watcher = VKQuotaWatcher::start(quota, { application->publicDirectory(), application->documentsDirectory() });
}

namespace {

// Whether the quota, not the disk, is what leaves no room: a quota is set
// and leaves less than the disk has free.
bool isQuotaTheLimit(const VKQuotaManager& quota)
{
    if (!core::UserDefaults::standard()->boolForKey("VKQuotaEnabled"))
        return false;
    const uint64_t total = quota.quotaTotalBytes();
    const uint64_t used = quota.quotaUsedBytes();
    const auto free = VKQuotaManager::freeSpaceAtPath(quota.rootPath());
    return used >= total || !free || total - used <= *free;
}

} // namespace

void VKAppDiskQuota::showWarning()
{
    if (!m_warningAlert) {
        auto quota = VKQuotaManager::defaultManager();
        std::vector<std::string> buttons;
        if (m_host.diskQuotaHelpMayShow())
            buttons.push_back(core::localized("More Info"));
        buttons.push_back(core::localized("OK"));
        auto delegate = std::static_pointer_cast<ui::AlertViewDelegate>(sharedAs<VKAppDiskQuota>());
        if (quota && isQuotaTheLimit(*quota)) {
            const auto limit = VKBytesFormatter::sharedFormatter().formatBytesAsString(quota->quotaTotalBytes());
            m_warningAlert = ui::AlertView::create(core::localized("Quota Warning"),
                fmt::format(fmt::runtime(core::localized("Disk quota limit exceeded.\nCurrent limit: {}")), limit),
                delegate, std::nullopt, buttons);
        } else {
            m_warningAlert = ui::AlertView::create(core::localized("Disk Full"),
                core::localized("The disk is full."), delegate, std::nullopt, buttons);
        }
        m_warningAlert->setCancelButtonIndex(int(buttons.size()) - 1);
        vkSetTag(*m_warningAlert, Alert::Warning);
        m_warningPending = true;
    }
    if (m_warningPending && m_host.diskQuotaWarningMayShow())
        showPendingWarning();
}

core::Observation VKAppDiskQuota::observeInsufficientStorage()
{
    std::weak_ptr<VKAppDiskQuota> weak = sharedAs<VKAppDiskQuota>();
    return core::NotificationCenter::defaultCenter().observe(WebDAVInsufficientStorageNotification, nullptr,
        [weak](const core::Notification&) {
            if (auto self = weak.lock())
                self->showWarning();
        });
}

void VKAppDiskQuota::showPendingWarning()
{
    if (!m_warningAlert || !m_warningPending)
        return;
    m_warningPending = false;
    m_warningAlert->show();
}

void VKAppDiskQuota::clickedButton(ui::AlertView& alert, int index)
{
    auto keep = shared_from_this();
    // Let go of the warning, though not before its button is read.
    std::shared_ptr<ui::AlertView> warning;
    if (m_warningAlert.get() == &alert)
        warning = std::move(m_warningAlert);
    auto kind = vkTagOf<Alert>(alert);
    if (index == alert.cancelButtonIndex() || !kind)
        return;
    switch (*kind) {
    case Alert::Warning:
        m_host.diskQuotaShowHelp();
        break;
    }
}

void VKAppDiskQuota::recountIfNeeded()
{
    auto quota = VKQuotaManager::defaultManager();
    if (!quota || isRecounting())
        return;
    auto application = VKApplication::sharedApplication();
    if (quota->quotaUsedBytes() == 0) {
        startRecount(false, { application->documentsDirectory(), application->publicDirectory() }, true);
        return;
    }
    std::vector<std::string> invalid;
    for (const auto& directory : { application->publicDirectory(), application->documentsDirectory() })
        if (!quota->isQuotaValidForPath(directory))
            invalid.push_back(directory);
    if (!invalid.empty())
        startRecount(true, std::move(invalid), false);
}

void VKAppDiskQuota::rebuild()
{
    auto application = VKApplication::sharedApplication();
    startRecount(false, { application->publicDirectory(), application->documentsDirectory() }, true);
    if (auto thumbnails = VKThumbnailManager::sharedManager())
        thumbnails->resetCaches();
    if (auto indexes = VKContentIndexManager::sharedManager())
        indexes->resetContextIndexes();
}

bool VKAppDiskQuota::isRecounting() const
{
    auto quota = VKQuotaManager::defaultManager();
    return m_recountRunning || (quota && quota->rebuildingIndex());
}

void VKAppDiskQuota::startRecount(bool smart, std::vector<std::string> directories, bool showIndicator)
{
    auto quota = VKQuotaManager::defaultManager();
    if (!quota)
        return;
    // A second worker would count into the same tree, and the first to end
    // would start the server and let a half-counted tree be saved.
    if (isRecounting()) {
        core::log("Warning, quota recount already running: ignoring another");
        return;
    }
    m_recountRunning = true;
    m_host.diskQuotaRecountWillStart();
    if (showIndicator) {
        m_indicatorScheduled = true;
        std::weak_ptr<VKAppDiskQuota> weak = sharedAs<VKAppDiskQuota>();
        core::RunLoop::main().performAfter(sharedAs<VKAppDiskQuota>(), DiskQuotaIndicatorDelay, [](VKAppDiskQuota& self) {
            if (self.m_indicatorScheduled)
                self.showIndicator();
        });
    }
    quota->setRebuildingIndex(true);
    // Held weakly: a recount still running when the application goes keeps
    // nothing of it (the watcher's thread above all) alive.
    std::weak_ptr<VKAppDiskQuota> weak = sharedAs<VKAppDiskQuota>();
    m_recount = core::Thread::detach("Quota recount", [weak, quota, smart, directories] {
        std::function<void()> hold;
        {
            std::lock_guard lock(diskQuotaHoldMutex);
            hold = diskQuotaWorkerHold;
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
        core::RunLoop::main().post([weak, quota, directories] {
            if (auto self = weak.lock())
                self->recountDidEnd(directories);
            else
                quota->setRebuildingIndex(false);
        });
    });
}

void VKAppDiskQuota::showIndicator()
{
    m_indicatorScheduled = false;
    auto window = m_host.diskQuotaIndicatorWindow();
    if (m_indicator || !window)
        return;
    m_indicator = VKModalActivityIndicator::create(core::localized("Rebuilding index..."));
    m_indicator->showInWindow(*window);
}

void VKAppDiskQuota::recountDidEnd(const std::vector<std::string>& directories)
{
    m_indicatorScheduled = false;
    if (auto indicator = std::move(m_indicator))
        indicator->dismiss();
    if (auto quota = VKQuotaManager::defaultManager())
        quota->setRebuildingIndex(false);
    m_recountRunning = false;
    m_host.diskQuotaRecountDidEnd();
    for (const auto& directory : directories)
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
            { directory });
}
