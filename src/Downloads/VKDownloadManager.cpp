#include "Downloads/VKDownloadManager.h"

#include "Cloud/VKCloudFileResource.h"
#include "FileModel/VKDownloadHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Assert.h"
#include "Platform/Core/ErrorValue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Downloads/VKDownloadFileResource.h"

#include <algorithm>
#include <mutex>

namespace {

constexpr size_t UUIDLength = 36;

std::shared_ptr<VKDownloadManager>& sharedSlot()
{
    static std::shared_ptr<VKDownloadManager> manager;
    return manager;
}

bool isRunning(VKNetworkState state)
{
    return state == VKNetworkStateConnecting || state == VKNetworkStateDownloading;
}

void updateQuota(const std::string& path)
{
    if (auto quota = VKQuotaManager::defaultManager())
        quota->updateQuotaForPath(path);
}

} // namespace

VKDownloadManager::VKDownloadManager(const Private&)
{
}

VKDownloadManager::~VKDownloadManager()
{
    for (auto& connection : m_connections)
        connection->setDelegate(nullptr);
}

std::shared_ptr<VKDownloadManager> VKDownloadManager::sharedManager()
{
    core::assertIsMainThread();
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_shared<VKDownloadManager>(Private());
        auto& center = core::NotificationCenter::defaultCenter();
        std::weak_ptr<VKDownloadManager> weak = slot;
        slot->m_notificationObservations.push_back(
            center.observe(ui::Application::willTerminateNotification, nullptr, [weak](const core::Notification&) {
                if (auto manager = weak.lock())
                    manager->applicationWillTerminate();
            }));
        for (auto name : { VKFolderControllerDidMoveResourceNotification, WebDAVDidMoveResourceNotification })
            slot->m_notificationObservations.push_back(center.observe(name, nullptr, [weak](const VKResourceMove& move) {
                if (auto manager = weak.lock())
                    manager->resourceDidMove(move);
            }));
    }
    return slot;
}

void VKDownloadManager::resetSharedManagerForTesting()
{
    auto old = std::exchange(sharedSlot(), nullptr);
    if (!old)
        return;
    for (auto& connection : old->m_connections) {
        connection->setDelegate(nullptr);
        connection->cancel();
    }
}

void VKDownloadManager::didChange(std::string_view key)
{
    auto found = m_observers.find(key);
    if (found != m_observers.end())
        found->second.notify();
}

core::Observation VKDownloadManager::observeValueForKey(std::string_view key, std::function<void()> handler)
{
    auto found = m_observers.find(key);
    if (found == m_observers.end())
        found = m_observers.try_emplace(std::string(key)).first;
    return found->second.add(std::move(handler));
}

void VKDownloadManager::initializeDownloads()
{
    std::string directory = VKHomeLayout::current()->downloadsDirectory();
    auto entries = core::fs::sortedContentsOfDirectory(directory);
    if (!entries)
        return;
    // A web item that got a byte has partial data named by its UUID; a
    // cloud item, or a web item that never got one, has only its state
    // file. Either way the state file names the item.
    std::vector<std::string> uuids;
    for (const auto& name : *entries) {
        if (name.size() == UUIDLength)
            uuids.push_back(name);
        else if (name.size() == UUIDLength + 5 && name.ends_with(".info")
            && !std::binary_search(entries->begin(), entries->end(), name.substr(0, UUIDLength)))
            uuids.push_back(name.substr(0, UUIDLength));
    }
    bool removed = false;
    for (const auto& uuid : uuids) {
        auto item = VKDownloadFileResource::createWithExistingUUID(uuid);
        if (!item) {
            std::string data = core::path::appendingPathComponent(directory, uuid);
            core::fs::removeItem(data);
            core::fs::removeItem(data + ".info");
            removed = true;
            continue;
        }
        (item->isWebDownload() ? m_webDownloads : m_cloudDownloads).push_back(item);
    }
    if (removed)
        updateQuota(directory);
    didChange("allDownloads");
}

std::shared_ptr<VKDownloadFileResource> VKDownloadManager::startWebDownloadWithRequest(const core::URLRequest& request,
    const std::string& targetFolder)
{
    if (request.url().absoluteString().empty()) {
        core::log("Warning, startWebDownloadWithRequest has nil request");
        return nullptr;
    }
    auto item = VKDownloadFileResource::createWithRequest(request, targetFolder);
    if (!item) {
        core::log("Warning, failed to insert download: {}", request.url().absoluteString());
        return nullptr;
    }
    auto connection = VKDownloadConnection::create(item);
    if (!connection)
        return nullptr;
    item->saveState();
    m_webDownloads.push_back(item);
    registerAndStartConnection(connection);
    return item;
}

std::shared_ptr<VKDownloadFileResource> VKDownloadManager::startDownloadOfCloudResource(
    const std::shared_ptr<VKCloudFileResource>& resource, const std::string& targetFolder,
    std::shared_ptr<VKDownloadManagerCallback> callback)
{
    auto item = resource ? VKDownloadFileResource::createWithCloudFileResource(*resource, targetFolder) : nullptr;
    if (!item) {
        core::log("Warning, failed to insert cloud download: {}", resource ? resource->description() : std::string("(null)"));
        return nullptr;
    }
    auto connection = VKDownloadConnection::create(item);
    if (!connection)
        return nullptr;
    item->saveState();
    m_cloudDownloads.push_back(item);
    connection->setCallback(std::move(callback));
    registerAndStartConnection(connection);
    return item;
}

void VKDownloadManager::resumeDownloadForResource(const std::shared_ptr<VKDownloadFileResource>& item)
{
    if (!item || connectionForResource(*item))
        return;
    auto connection = VKDownloadConnection::create(item);
    if (!connection) {
        core::log("Warning, failed to create VKDownloadConnection for: {}", item ? item->description() : "(null)");
        return;
    }
    registerAndStartConnection(connection);
}

void VKDownloadManager::stopDownloadForResource(const std::shared_ptr<VKDownloadFileResource>& item)
{
    if (auto connection = item ? connectionForResource(*item) : nullptr)
        deregisterAndRemoveConnection(connection);
}

void VKDownloadManager::deleteDownloadResource(const std::shared_ptr<VKDownloadFileResource>& item)
{
    if (!item)
        return;
    if (auto connection = connectionForResource(*item))
        deregisterAndRemoveConnection(connection, true);
    std::string partial = item->downloadPath();
    if (!partial.empty())
        core::fs::removeItem(partial);
    item->removeStateFile();
    updateQuota(item->downloadInfoPath());
    if (!partial.empty())
        updateQuota(partial);
    removeFromLists(*item);
    std::erase_if(m_completedWebDownloads, [&](const auto& file) { return file && file->isEqual(*item); });
    didChange("allDownloads");
    didChange("completedWebDownloads");
    core::NotificationCenter::defaultCenter().post(VKDownloadFileResourceDidDeleteDownloadNotification, item);
}

void VKDownloadManager::removeFromLists(const VKDownloadFileResource& item)
{
    auto same = [&](const auto& other) { return other->isEqual(item); };
    std::erase_if(m_webDownloads, same);
    std::erase_if(m_cloudDownloads, same);
}

std::vector<std::shared_ptr<VKFileResource>> VKDownloadManager::downloadsForTargetFolder(const std::string& folder) const
{
    std::vector<std::shared_ptr<VKFileResource>> found;
    for (const auto& item : allDownloads())
        if (core::path::deletingLastPathComponent(item->path()) == folder)
            found.push_back(item);
    return found;
}

std::vector<std::shared_ptr<VKDownloadFileResource>> VKDownloadManager::allDownloads() const
{
    auto all = m_webDownloads;
    all.insert(all.end(), m_cloudDownloads.begin(), m_cloudDownloads.end());
    return all;
}

void VKDownloadManager::clearCompletedDownload(const std::shared_ptr<VKFileResource>& file)
{
    std::erase_if(m_completedWebDownloads, [&](const auto& other) { return file && other->isEqual(*file); });
    didChange("completedWebDownloads");
}

void VKDownloadManager::clearAllCompletedDownloads()
{
    m_completedWebDownloads.clear();
    didChange("completedWebDownloads");
}

unsigned VKDownloadManager::downloadingConnectionCount() const
{
    return static_cast<unsigned>(std::count_if(m_connections.begin(), m_connections.end(),
        [](const auto& connection) { return isRunning(connection->resource()->downloadState()); }));
}

std::shared_ptr<VKDownloadConnection> VKDownloadManager::connectionForResource(const VKDownloadFileResource& item) const
{
    for (const auto& connection : m_connections)
        if (connection->resource()->isEqual(item))
            return connection;
    return nullptr;
}

std::shared_ptr<VKDownloadConnection> VKDownloadManager::sharedConnection(VKDownloadConnection& connection) const
{
    for (const auto& registered : m_connections)
        if (registered.get() == &connection)
            return registered;
    return std::static_pointer_cast<VKDownloadConnection>(connection.shared_from_this());
}

void VKDownloadManager::updateNetworkActivityIndicator() const
{
    if (auto application = ui::Application::shared())
        application->setNetworkActivityIndicatorVisible(hasActiveDownloads());
}

void VKDownloadManager::registerAndStartConnection(const std::shared_ptr<VKDownloadConnection>& connection)
{
    connection->setDelegate(this);
    std::weak_ptr<VKDownloadConnection> weak = connection;
    m_stateObservations[connection.get()] = connection->resource()->observeValueForKey("downloadState", [this, weak] {
        if (auto registered = weak.lock())
            downloadStateDidChange(registered);
    });
    m_connections.push_back(connection);
    if (downloadingConnectionCount() < MaximumRunningDownloads)
        connection->start();
    else
        connection->setWaiting();
    didChange("allDownloads");
    core::NotificationCenter::defaultCenter().post(VKDownloadManagerDownloadDidStartNotification, connection->resource());
    if (auto application = ui::Application::shared())
        application->setNetworkActivityIndicatorVisible(true);
}

void VKDownloadManager::deregisterAndRemoveConnection(const std::shared_ptr<VKDownloadConnection>& connection,
    bool discard)
{
    core::RunLoop::current().keepAliveUntilEndOfPass(connection);
    std::erase(m_connections, connection);
    connection->setDelegate(nullptr);
    m_stateObservations.erase(connection.get());
    connection->cancel(discard);
    // The place it held may go to a waiting download.
    downloadStateDidChange(connection);
}

void VKDownloadManager::downloadStateDidChange(const std::shared_ptr<VKDownloadConnection>& changed)
{
    updateNetworkActivityIndicator();
    unsigned running = downloadingConnectionCount();
    if (running != m_lastDownloadingCount) {
        m_lastDownloadingCount = running;
        didChange("downloadingConnectionCount");
    }
    if (running >= MaximumRunningDownloads)
        return;
    for (const auto& connection : m_connections) {
        if (connection != changed && connection->resource()->downloadState() == VKNetworkStateWaiting) {
            auto next = connection;
            next->start();
            return;
        }
    }
}

bool VKDownloadManager::downloadConnectionDidReceiveResponse(VKDownloadConnection& connection, int64_t expectedSize)
{
    auto shared = sharedConnection(connection);
    auto quota = VKQuotaManager::defaultManager();
    auto available = quota ? quota->quotaAvailableBytes() : std::nullopt;
    if (!available || expectedSize == -1)
        return true;
    if (static_cast<int64_t>(*available) >= expectedSize)
        return true;
    const bool enforced = VKQuotaManager::isQuotaEnforced();
    const auto& item = shared->resource();
    if (!enforced && item->isAllowedPastQuota())
        return true;
    // The connection stops here. Past an enforced quota the download stays,
    // paused with the reason, for when there is room; otherwise the answer
    // deletes it or runs it again without asking for the rest of its life.
    if (enforced)
        item->setDownloadError(core::Error(core::Error::CocoaDomain, 640,
            core::localized("The download does not fit in the remaining disk quota.")));
    if (auto questions = VKTransferQuestions::current()) {
        std::weak_ptr<VKDownloadManager> weak = sharedAs<VKDownloadManager>();
        questions->askToExceedQuota(static_cast<uint64_t>(std::max<int64_t>(expectedSize, 0)), *available, !enforced,
            [weak, shared, enforced](VKTransferAnswer answer) {
                auto manager = weak.lock();
                if (manager && !enforced)
                    manager->quotaQuestionAnswered(shared, answer);
            });
    }
    return false;
}

void VKDownloadManager::quotaQuestionAnswered(const std::shared_ptr<VKDownloadConnection>& connection,
    VKTransferAnswer answer)
{
    if (answer == VKTransferAnswer::Dismissed)
        return;
    if (answer == VKTransferAnswer::Decline) {
        deleteDownloadResource(connection->resource());
        return;
    }
    connection->resource()->allowPastQuota();
    registerAndStartConnection(connection);
}

void VKDownloadManager::downloadConnectionDidUpdateProgress(VKDownloadConnection& connection, float progress)
{
    if (auto callback = connection.callback())
        callback->downloadManagerDidUpdateProgress(*this, progress, *connection.resource());
}

void VKDownloadManager::downloadConnectionDidFinishLoading(VKDownloadConnection& connection)
{
    auto shared = sharedConnection(connection);
    auto item = shared->resource();
    deregisterAndRemoveConnection(shared);
    item->removeStateFile();
    updateQuota(item->path());
    updateQuota(VKHomeLayout::current()->downloadsDirectory());
    bool web = item->isWebDownload();
    removeFromLists(*item);
    bool completed = false;
    if (web) {
        if (auto file = VKFileResource::resourceWithPath(item->path())) {
            m_completedWebDownloads.push_back(file);
            completed = true;
        }
    }
    didChange("allDownloads");
    if (completed)
        didChange("completedWebDownloads");
    if (auto callback = shared->callback())
        callback->downloadManagerDownloadCompletedForResource(*this, *item);
    updateNetworkActivityIndicator();
    core::NotificationCenter::defaultCenter().post(VKDownloadManagerDownloadDidFinishNotification, item);
}

void VKDownloadManager::downloadConnectionDidFailWithError(VKDownloadConnection& connection, const core::Error& error)
{
    core::log("downloadConnection: didFailWithError: {}", error.description());
    auto shared = sharedConnection(connection);
    auto item = shared->resource();
    updateQuota(item->downloadPath());
    deregisterAndRemoveConnection(shared);
    if (auto callback = shared->callback())
        callback->downloadManagerDownloadFailedForResource(*this, *item);
    core::NotificationCenter::defaultCenter().post(VKDownloadManagerDownloadDidFailNotification, item,
        core::Value::makeDictionary({ { "error", core::errorValue(error) } }));
    updateNetworkActivityIndicator();
}

void VKDownloadManager::downloadConnectionDidCancel(VKDownloadConnection& connection)
{
    auto shared = sharedConnection(connection);
    auto item = shared->resource();
    updateQuota(item->downloadPath());
    deregisterAndRemoveConnection(shared);
    if (auto callback = shared->callback())
        callback->downloadManagerDidCancelDownloadForResource(*this, *item);
}

void VKDownloadManager::resourceDidMove(const VKResourceMove& move)
{
    const std::string& oldPath = move.oldPath;
    const std::string& newPath = move.newPath;
    if (oldPath.empty() || newPath.empty())
        return;
    bool isFolder = false;
    if (!core::fs::exists(newPath, &isFolder) || !isFolder)
        return;
    for (const auto& item : allDownloads()) {
        std::string folder = item->targetFolder();
        if (folder == oldPath)
            item->updatePath(core::path::appendingPathComponent(newPath, item->name()));
        else if (folder.starts_with(oldPath + "/"))
            item->updatePath(core::path::appendingPathComponent(newPath + folder.substr(oldPath.size()), item->name()));
    }
}

void VKDownloadManager::applicationWillTerminate()
{
    auto connections = m_connections;
    for (const auto& connection : connections)
        connection->cancel();
}
