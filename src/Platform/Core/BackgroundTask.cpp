#include "Platform/Core/BackgroundTask.h"

#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/Thread.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace core {

namespace {

struct Grant {
    std::function<void()> expiry;
    bool expired = false;
};

std::mutex tableMutex;
std::map<BackgroundTaskId, std::shared_ptr<Grant>> table;
BackgroundTaskId lastId = InvalidBackgroundTask;

void expireAll()
{
    std::vector<BackgroundTaskId> ids;
    {
        std::lock_guard lock(tableMutex);
        for (auto& [id, grant] : table)
            ids.push_back(id);
    }
    for (BackgroundTaskId id : ids) {
        std::shared_ptr<Grant> grant;
        {
            std::lock_guard lock(tableMutex);
            auto it = table.find(id);
            if (it == table.end() || it->second->expired)
                continue;
            grant = it->second;
            grant->expired = true;
        }
        if (grant->expiry)
            ExceptionReporter::guard("a background task's expiry handler", grant->expiry);
    }
}

} // namespace

BackgroundTaskId beginBackgroundTask(std::function<void()> expiry)
{
    auto grant = std::make_shared<Grant>();
    grant->expiry = std::move(expiry);
    std::lock_guard lock(tableMutex);
    if (++lastId == InvalidBackgroundTask)
        ++lastId;
    table.emplace(lastId, std::move(grant));
    return lastId;
}

void endBackgroundTask(BackgroundTaskId id)
{
    // Declared before the lock so that the handler goes after it: its
    // captures may end other grants.
    std::shared_ptr<Grant> ended;
    std::lock_guard lock(tableMutex);
    auto it = table.find(id);
    if (it == table.end())
        return;
    ended = std::move(it->second);
    table.erase(it);
}

size_t activeBackgroundTaskCount()
{
    std::lock_guard lock(tableMutex);
    return table.size();
}

void expireBackgroundTasksForTesting()
{
    if (Thread::isMainThread())
        expireAll();
    else
        performOnMainThread(expireAll);
}

void resetBackgroundTasksForTesting()
{
    std::map<BackgroundTaskId, std::shared_ptr<Grant>> old;
    std::lock_guard lock(tableMutex);
    old.swap(table);
}

} // namespace core
