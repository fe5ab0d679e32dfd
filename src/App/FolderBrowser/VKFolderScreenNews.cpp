#include "App/FolderBrowser/VKFolderScreenNews.h"

#include "App/FolderBrowser/VKBrowserOperation.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Thread.h"

VKFolderScreenNews::VKFolderScreenNews(const core::Object& owner, Handlers handlers) : m_owner(owner)
{
    auto& center = core::NotificationCenter::defaultCenter();
    auto observe = [&](const char* name, std::function<void(const core::Notification&)> handler) {
        m_observations.push_back(center.observe(name, nullptr, [this, handler](const core::Notification& notification) {
            deliver([handler, notification] { handler(notification); });
        }));
    };
    observe(VKFolderControllerOperationDidStartNotification, [started = handlers.operationStarted](const core::Notification&) {
        started();
    });
    observe(VKFolderControllerOperationDidEndNotification, [ended = handlers.operationEnded](const core::Notification&) {
        ended();
    });
    m_observations.push_back(center.observe(VKFolderControllerOperationProgressNotification, nullptr,
        [this, progressed = handlers.operationProgressed](const VKOperationProgress& news) {
            deliver([progressed, progress = news.progress] { progressed(progress); });
        }));
    for (const char* name : { NetReachability::DidUpdateNotification, HTTPServer::StatusDidChangeNotification })
        observe(name, [changed = handlers.statusChanged](const core::Notification& notification) { changed(&notification); });
    if (auto quota = VKQuotaManager::defaultManager())
        m_observations.push_back(quota->observeRebuildingIndex([this, changed = handlers.statusChanged](const bool&, const bool&) {
            deliver([changed] { changed(nullptr); });
        }));
}

VKFolderScreenNews::~VKFolderScreenNews()
{
    // Closed first: a worker's post waits for nothing of the screen after.
    m_observations.clear();
}

void VKFolderScreenNews::deliver(std::function<void()> work, bool later) const
{
    std::weak_ptr<int> alive = m_lifetime;
    auto run = [owner = &m_owner, alive, work = std::move(work)] {
        if (alive.expired())
            return;
        if (auto keep = owner->weak_from_this().lock())
            work();
    };
    if (core::Thread::isMainThread() && !later)
        run();
    else
        core::performOnMainThread(std::move(run));
}
