#include "FileModel/VKQuotaWatcher.h"

#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/DirectoryWatch.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SystemClock.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <algorithm>
#include <map>
#include <optional>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The subfolders of a folder (no links), read without following any.
std::vector<std::string> subfoldersOf(const std::string& path)
{
    std::vector<std::string> folders;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return folders;
    DIR* directory = fdopendir(fd);
    if (!directory) {
        close(fd);
        return folders;
    }
    while (dirent* entry = readdir(directory)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            isFolder = fstatat(dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder)
            folders.push_back(core::path::appendingPathComponent(path, name));
    }
    closedir(directory);
    return folders;
}

} // namespace

// Lives on the watcher's thread; only the flags and counters are shared.
struct VKQuotaWatcher::Worker : std::enable_shared_from_this<Worker> {
    std::shared_ptr<VKQuotaManager> quota;
    std::vector<std::string> roots;

    std::mutex mutex;
    std::condition_variable ended;
    core::RunLoop* loop = nullptr;
    bool stopping = false;
    bool finished = false;
    // Read between the entries of a walk, so that the end never waits for
    // a whole tree.
    std::atomic<bool> stopRequested { false };
    std::atomic<bool> ready { false };
    std::atomic<uint64_t> rescans { 0 };

    // The thread's own.
    std::map<std::string, std::unique_ptr<core::DirectoryWatch>> watches;
    std::set<std::string> pending;
    std::shared_ptr<core::Timer> timer;
    std::optional<double> firstChange;
    bool outOfWatches = false;

    void run()
    {
        auto& current = core::RunLoop::current();
        current.setClock(core::SystemClock::shared());
        bool stopped;
        {
            std::lock_guard lock(mutex);
            stopped = stopping;
            if (!stopped)
                loop = &current;
        }
        if (stopped)
            return finish();
        for (const auto& root : roots)
            watchTree(root);
        ready = true;
        current.run();
        watches.clear();
        if (timer)
            timer->invalidate();
        finish();
    }

    void finish()
    {
        std::lock_guard lock(mutex);
        loop = nullptr;
        finished = true;
        ended.notify_all();
    }

    // Watches the folder and every folder below it not watched yet; answers
    // the folders newly watched.
    std::vector<std::string> watchTree(const std::string& top)
    {
        std::vector<std::string> added;
        std::vector<std::string> stack { top };
        while (!stack.empty() && !outOfWatches && !stopRequested) {
            std::string folder = std::move(stack.back());
            stack.pop_back();
            if (!watches.count(folder)) {
                if (!watch(folder))
                    continue;
                added.push_back(folder);
            }
            for (auto& sub : subfoldersOf(folder))
                stack.push_back(std::move(sub));
        }
        return added;
    }

    bool watch(const std::string& folder)
    {
        std::weak_ptr<Worker> weak = weak_from_this();
        core::Error error;
        auto made = core::DirectoryWatch::create(folder, [weak, folder] {
            if (auto self = weak.lock())
                self->changed(folder);
        }, &error, core::DirectoryWatch::Events::EntriesAndContents);
        if (!made) {
            if (error.code() == ENOSPC) {
                core::log("Warning, no more folders can be watched for the quota (the system's inotify limit); "
                          "the rest waits for the next launch's recount");
                outOfWatches = true;
            }
            return false;
        }
        watches.emplace(folder, std::move(made));
        return true;
    }

    // A burst is rescanned once it settles, and a stream at least once per
    // LongestDelay.
    void changed(const std::string& folder)
    {
        pending.insert(folder);
        const double now = core::RunLoop::current().clock()->monotonic();
        if (!firstChange)
            firstChange = now;
        const double delay = std::clamp(*firstChange + LongestDelay - now, 0.0, SettleDelay);
        if (timer)
            timer->invalidate();
        std::weak_ptr<Worker> weak = weak_from_this();
        timer = core::RunLoop::current().schedule(shared_from_this(), delay, false, [](Worker& self, core::Timer&) {
            self.rescanPending();
        });
    }

    void rescanPending()
    {
        timer.reset();
        firstChange.reset();
        std::set<std::string> due;
        due.swap(pending);
        std::erase_if(watches, [](const auto& entry) { return !entry.second->isActive(); });
        for (const auto& folder : due) {
            if (stopRequested)
                return;
            quota->rescanDirectory(folder);
            ++rescans;
            // Folders that came with the change are watched, and looked at
            // again for what landed in them before their watch stood.
            for (const auto& sub : subfoldersOf(folder)) {
                if (stopRequested)
                    return;
                if (watches.count(sub))
                    continue;
                for (const auto& added : watchTree(sub))
                    changed(added);
            }
        }
    }
};

std::unique_ptr<VKQuotaWatcher> VKQuotaWatcher::start(std::shared_ptr<VKQuotaManager> quota, std::vector<std::string> roots)
{
    auto worker = std::make_shared<Worker>();
    worker->quota = std::move(quota);
    for (auto& root : roots)
        worker->roots.push_back(core::path::standardizingPath(root));
    auto thread = core::Thread::detach("VKQuotaWatcher", [worker] { worker->run(); });
    return std::unique_ptr<VKQuotaWatcher>(new VKQuotaWatcher(worker, std::move(thread)));
}

VKQuotaWatcher::VKQuotaWatcher(std::shared_ptr<Worker> worker, std::shared_ptr<core::Thread> thread)
    : m_worker(std::move(worker))
    , m_thread(std::move(thread))
{
}

VKQuotaWatcher::~VKQuotaWatcher()
{
    m_worker->stopRequested = true;
    std::unique_lock lock(m_worker->mutex);
    m_worker->stopping = true;
    if (m_worker->loop)
        m_worker->loop->stop();
    m_worker->ended.wait(lock, [&] { return m_worker->finished; });
    lock.unlock();
    // Its run loop and its hold on the quota go with the thread: the
    // watcher is gone only once the thread is.
    m_thread->waitUntilFinished();
}

bool VKQuotaWatcher::isReadyForTesting() const
{
    return m_worker->ready;
}

uint64_t VKQuotaWatcher::rescanCountForTesting() const
{
    return m_worker->rescans;
}
