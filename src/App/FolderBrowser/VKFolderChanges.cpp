#include "App/FolderBrowser/VKFolderChanges.h"

#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "WebDAV/WebDAVResponse.h"

namespace {

constexpr double CollapsedUpdateDelay = 0.4;
constexpr const char* ModelUpdateTag = "updateModelAndView";
constexpr const char* ReloadTag = "reloadData";

} // namespace

VKFolderChanges::VKFolderChanges(std::string folderPath)
    : m_folderPath(std::move(folderPath))
{
}

void VKFolderChanges::follow(std::weak_ptr<Host> host, const core::Object* self)
{
    m_host = std::move(host);
    m_self = self;
    auto& center = core::NotificationCenter::defaultCenter();
    // The observations go with this follower.
    m_observations.push_back(center.observe(WebDAVCollectionDidUpdateNotification, nullptr,
        [this](const WebDAVItemNews& item) { folderDidUpdate(item.path, true); }));
    m_observations.push_back(center.observe(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        [this](const VKFolderUpdate& update, const core::Notification& notification) {
            if (notification.object().get() != m_self)
                folderDidUpdate(update.path, false);
        }));
    m_observations.push_back(center.observe(VKQuotaManagerDidUpdateQuotaNotification, nullptr,
        [this](const VKQuotaUpdate& update) { quotaDidUpdate(update); }));
    for (const char* key : FollowedSettings) {
        m_observations.push_back(core::UserDefaults::standard()->observe(key, [weak = m_host, key](const core::Value&) {
            // Settings may change on any thread; the list follows on the main one.
            core::RunLoop::main().post(weak, [key](Host& host) {
                host.changesSettingChanged(key);
            });
        }));
    }
}

void VKFolderChanges::folderDidUpdate(const std::string& changed, bool burst)
{
    auto host = m_host.lock();
    if (!host || changed.empty())
        return;
    std::string path = core::path::standardizingPath(changed);
    // Clients' changes come in bursts: one rebuild after the last.
    double delay = burst ? CollapsedUpdateDelay : 0;
    if (path == m_folderPath)
        host->changesFolderChanged(delay > 0);
    else if (core::path::deletingLastPathComponent(path) == m_folderPath && host->changesScreenIsOnTop())
        scheduleReload(delay);
}

void VKFolderChanges::quotaDidUpdate(const VKQuotaUpdate& update)
{
    auto host = m_host.lock();
    if (!host)
        return;
    const std::string path = update.path.empty() ? std::string() : core::path::standardizingPath(update.path);
    // Searches read the quota tree: what it learns may find more.
    auto text = host->changesSearchText();
    if (text && !text->empty()) {
        if (host->changesSearchesEverywhere() || core::path::isWithin(path, m_folderPath))
            host->changesSearchMayFindMore();
        return;
    }
    if (!path.empty() && core::path::isWithin(path, m_folderPath))
        host->changesContentSizeChanged(path);
}

void VKFolderChanges::scheduleModelUpdate(double delay)
{
    core::PerformKey key { m_token, ModelUpdateTag, {} };
    core::RunLoop::main().cancelPerforms(key);
    core::RunLoop::main().performAfter(m_host, delay, [](Host& host) {
        host.changesUpdateModel();
    }, std::move(key));
}

void VKFolderChanges::cancelModelUpdate()
{
    core::RunLoop::main().cancelPerforms(core::PerformKey { m_token, ModelUpdateTag, {} });
}

void VKFolderChanges::scheduleReload(double delay)
{
    core::PerformKey key { m_token, ReloadTag, {} };
    core::RunLoop::main().cancelPerforms(key);
    auto reload = [weak = m_host] {
        if (auto host = weak.lock())
            host->changesReloadTable();
    };
    if (delay <= 0)
        reload();
    else
        core::RunLoop::main().performAfter(delay, std::move(reload), std::move(key));
}
