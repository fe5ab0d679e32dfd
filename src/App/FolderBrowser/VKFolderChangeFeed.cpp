#include "App/FolderBrowser/VKFolderChangeFeed.h"

#include "Kit/VKDirectoryWatcher.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <algorithm>

namespace {

double feedClockNow()
{
    return core::RunLoop::main().clock()->monotonic();
}

} // namespace

VKFolderChangeFeed::VKFolderChangeFeed(const std::string& path, bool watch, std::function<void()> changed,
    std::function<void()> ended)
    : m_changed(std::move(changed))
    , m_ended(std::move(ended))
{
    if (!watch)
        return;
    m_watcher = VKDirectoryWatcher::initWithPath(path);
    if (!m_watcher)
        return;
    m_observation = core::NotificationCenter::defaultCenter().observe(VKDirectoryWatcher::DirectoryDidChangeNotification,
        m_watcher, [this](const core::Notification&) {
            if (!m_acknowledging)
                noteChange();
        });
    m_endObservation = core::NotificationCenter::defaultCenter().observe(VKDirectoryWatcher::DirectoryDidEndNotification,
        m_watcher, [this](const core::Notification&) {
            m_watcher.reset();
            if (m_ended)
                m_ended();
        });
}

VKFolderChangeFeed::~VKFolderChangeFeed()
{
    if (m_timer)
        m_timer->invalidate();
}

void VKFolderChangeFeed::noteChange()
{
    const double heard = feedClockNow();
    if (!m_firstChange)
        m_firstChange = heard;
    const double delay = std::clamp(*m_firstChange + LongestDelay - heard, 0.0, CollapseDelay);
    if (m_timer)
        m_timer->invalidate();
    m_timer = core::RunLoop::main().schedule(delay, false, [this](core::Timer&) { fire(); });
}

void VKFolderChangeFeed::reportPendingChanges()
{
    if (m_watcher)
        m_watcher->processPendingChanges();
    if (!isPending())
        return;
    if (m_timer)
        m_timer->invalidate();
    fire();
}

void VKFolderChangeFeed::willReadFolder()
{
    if (m_watcher)
        m_watcher->processPendingChanges();
    m_firstChange.reset();
    if (m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
}

void VKFolderChangeFeed::acknowledgeChanges()
{
    if (!m_watcher)
        return;
    m_acknowledging = true;
    m_watcher->processPendingChanges();
    m_acknowledging = false;
}

void VKFolderChangeFeed::fire()
{
    m_timer.reset();
    m_firstChange.reset();
    if (m_changed)
        m_changed();
}
