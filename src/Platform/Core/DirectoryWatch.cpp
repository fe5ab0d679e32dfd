#include "Platform/Core/DirectoryWatch.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace core {

namespace {

// Entries added, removed or renamed, and the folder itself going away.
// Never IN_MODIFY or IN_ATTRIB: writes into a file are not the folder's news.
constexpr uint32_t EntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t WatchMask = EntryEvents | IN_ONLYDIR | IN_MOVE_SELF | IN_DELETE_SELF;

} // namespace

struct DirectoryWatch::State {
    int wd = -1;
    // The events this watch counts; a shared kernel watch sees the union.
    uint32_t events = EntryEvents;
    std::function<void()> changed;
    // Told once when the folder itself went away (onEnd).
    std::function<void()> ended;
    bool active = true;
};

struct DirectoryWatch::Queue {
    int fd = -1;
    bool failed = false;
    std::shared_ptr<DescriptorSource> source;
    // One folder watched twice on a queue shares one kernel watch.
    std::unordered_map<int, std::vector<std::weak_ptr<State>>> watches;

    ~Queue()
    {
        if (source)
            source->remove();
        if (fd >= 0)
            close(fd);
    }

    bool listen(const std::shared_ptr<Queue>& self)
    {
        if (source && source->isActive())
            return true;
        std::weak_ptr<Queue> weak = self;
        source = RunLoop::current().addSource(fd, DescriptorSource::Read, [weak](DescriptorSource&, unsigned) {
            if (auto queue = weak.lock())
                queue->readable();
        });
        return source != nullptr;
    }

    void end(int wd, bool removeFromKernel)
    {
        auto found = watches.find(wd);
        if (found == watches.end())
            return;
        for (auto& weak : found->second)
            if (auto state = weak.lock())
                state->active = false;
        watches.erase(found);
        if (removeFromKernel)
            inotify_rm_watch(fd, wd);
    }

    void fail(int code)
    {
        log("DirectoryWatch: reading folder events failed: {}", std::strerror(code));
        failed = true;
        for (auto& [wd, list] : watches)
            for (auto& weak : list)
                if (auto state = weak.lock())
                    state->active = false;
        watches.clear();
        if (source)
            source->remove();
    }

    void readable()
    {
        alignas(inotify_event) char buffer[4096];
        std::unordered_map<int, uint32_t> changed;
        std::unordered_set<int> ended;
        bool overflow = false;
        for (;;) {
            ssize_t count = read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            if (count < 0) {
                fail(errno);
                return;
            }
            if (count == 0)
                break;
            size_t offset = 0;
            while (offset + sizeof(inotify_event) <= size_t(count)) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                size_t length = sizeof(inotify_event) + event->len;
                if (offset + length > size_t(count))
                    break;
                offset += length;
                if (event->mask & IN_Q_OVERFLOW)
                    overflow = true;
                else if (event->mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED | IN_UNMOUNT))
                    ended.insert(event->wd);
                else if (event->mask & (EntryEvents | IN_CLOSE_WRITE))
                    changed[event->wd] |= event->mask;
            }
        }
        // The watches of a folder that went away hear it after the others'
        // changes: a callback may end other watches, or this queue.
        std::vector<std::shared_ptr<State>> gone;
        for (int wd : ended) {
            if (auto found = watches.find(wd); found != watches.end())
                for (auto& weak : found->second)
                    if (auto state = weak.lock(); state && state->active && state->ended)
                        gone.push_back(std::move(state));
            end(wd, true);
        }

        // Collected first: a callback may end other watches, or this queue.
        std::vector<std::shared_ptr<State>> due;
        for (auto& [wd, list] : watches) {
            auto found = changed.find(wd);
            uint32_t seen = overflow ? ~0u : found == changed.end() ? 0 : found->second;
            for (auto& weak : list)
                if (auto state = weak.lock(); state && (seen & state->events))
                    due.push_back(std::move(state));
        }
        for (auto& state : due)
            if (state->active)
                state->changed();
        for (auto& state : gone)
            if (auto told = std::exchange(state->ended, nullptr))
                told();
    }
};

namespace {

thread_local std::weak_ptr<DirectoryWatch::Queue> currentQueue;

std::shared_ptr<DirectoryWatch::Queue> queueForCurrentLoop(Error* error)
{
    auto queue = currentQueue.lock();
    if (queue && !queue->failed && queue->listen(queue))
        return queue;
    queue = std::make_shared<DirectoryWatch::Queue>();
    queue->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (queue->fd < 0) {
        setError(error, Error::posix(errno));
        return nullptr;
    }
    queue->listen(queue);
    currentQueue = queue;
    return queue;
}

} // namespace

std::unique_ptr<DirectoryWatch> DirectoryWatch::create(const std::string& path, std::function<void()> changed,
    Error* error, Events events)
{
    auto queue = queueForCurrentLoop(error);
    if (!queue)
        return nullptr;
    const uint32_t counted = events == Events::EntriesAndContents ? EntryEvents | IN_CLOSE_WRITE : EntryEvents;
    // Added to what the folder's kernel watch on this queue already asks.
    int wd = inotify_add_watch(queue->fd, path.c_str(), WatchMask | counted | IN_MASK_ADD);
    if (wd < 0) {
        setError(error, Error::posix(errno));
        return nullptr;
    }
    auto state = std::make_shared<State>();
    state->wd = wd;
    state->events = counted;
    state->changed = std::move(changed);
    queue->watches[wd].push_back(state);
    return std::unique_ptr<DirectoryWatch>(new DirectoryWatch(path, std::move(queue), std::move(state)));
}

DirectoryWatch::DirectoryWatch(std::string path, std::shared_ptr<Queue> queue, std::shared_ptr<State> state)
    : m_path(std::move(path))
    , m_queue(std::move(queue))
    , m_state(std::move(state))
{
}

DirectoryWatch::~DirectoryWatch()
{
    if (!m_state->active)
        return;
    m_state->active = false;
    auto found = m_queue->watches.find(m_state->wd);
    if (found == m_queue->watches.end())
        return;
    auto& list = found->second;
    std::erase_if(list, [&](const std::weak_ptr<State>& weak) {
        auto state = weak.lock();
        return !state || state == m_state;
    });
    if (list.empty()) {
        m_queue->watches.erase(found);
        inotify_rm_watch(m_queue->fd, m_state->wd);
    }
}

void DirectoryWatch::onEnd(std::function<void()> ended)
{
    if (m_state->active)
        m_state->ended = std::move(ended);
}

bool DirectoryWatch::isActive() const
{
    return m_state->active;
}

void DirectoryWatch::processPendingEvents()
{
    // A callback may end this watch, and with it the last hold on the queue.
    if (m_state->active && !m_queue->failed)
        std::shared_ptr<Queue>(m_queue)->readable();
}

} // namespace core
