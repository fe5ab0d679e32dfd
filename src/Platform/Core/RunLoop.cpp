#include "Platform/Core/RunLoop.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fmt/ranges.h>
#include <map>
#include <mutex>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace core {

struct RunLoop::Private { };
struct Timer::Private { };
struct DescriptorSource::Private { };

namespace {

// epoll ids of the loop's own descriptors; sources count up from FirstSourceId.
constexpr uint64_t WakeId = 1;
constexpr uint64_t SignalId = 2;
constexpr uint64_t FirstSourceId = 16;
constexpr size_t BusyPassLimit = 10000;
constexpr int MaxEventsPerPass = 256;
// The shortest repeat of a timer, so that a zero interval cannot fire in every pass.
constexpr double MinimumRepeatInterval = 0.0001;

struct Perform {
    std::function<void()> run;
    PerformKey key;
    std::string mode;
    bool finished = false; // ran or cancelled
    bool inHeap = false;
};

// One scheduled firing. Timers and performs that were cancelled or moved
// leave their old entries behind; those are skipped when they come up and
// swept out when they outnumber the live ones.
struct TimerEntry {
    int64_t due;
    uint64_t sequence;
    uint64_t generation;
    std::shared_ptr<Timer> timer;
    std::shared_ptr<Perform> perform;
};

bool later(const TimerEntry& a, const TimerEntry& b)
{
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
}

struct Heap {
    std::vector<TimerEntry> entries;
    size_t live = 0;
};

std::mutex mainLoopMutex;
std::shared_ptr<RunLoop> mainLoop;
std::atomic<RunLoop*> mainPointer { nullptr };

int timeoutMilliseconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    // Round up: waking a little early for a timer would make the loop spin.
    double ms = std::ceil(seconds * 1000.0);
    if (ms >= 1e9)
        return -1;
    return static_cast<int>(ms);
}

unsigned eventsFromEpoll(uint32_t events)
{
    unsigned result = 0;
    if (events & EPOLLIN)
        result |= DescriptorSource::Read;
    if (events & EPOLLOUT)
        result |= DescriptorSource::Write;
    if (events & (EPOLLHUP | EPOLLRDHUP))
        result |= DescriptorSource::HangUp;
    if (events & EPOLLERR)
        result |= DescriptorSource::Error;
    return result;
}

std::string describeEntry(const TimerEntry& entry)
{
    if (entry.perform) {
        const auto& tag = entry.perform->key.tag;
        return tag.empty() ? std::string("perform") : fmt::format("perform \"{}\"", tag);
    }
    if (entry.timer->repeats())
        return fmt::format("timer every {} s", entry.timer->timeInterval());
    return "timer";
}

} // namespace

struct RunLoop::Impl {
    RunLoop* self = nullptr;
    std::thread::id owner;
    int epollFd = -1;
    int wakeFd = -1;
    int signalFd = -1;
    std::atomic<std::shared_ptr<Clock>> clock;

    mutable std::mutex postMutex;
    std::vector<std::function<void()>> posted;
    bool ended = false;
    std::atomic<bool> stopRequested { false };

    std::map<std::string, Heap, std::less<>> heaps;
    uint64_t nextSequence = 0;
    std::unordered_multimap<const void*, std::shared_ptr<Perform>> performsByTarget;

    std::unordered_map<uint64_t, std::shared_ptr<DescriptorSource>> sources;
    std::unordered_map<int, uint64_t> sourceByFd;
    uint64_t nextSourceId = FirstSourceId;
    std::string epollMode { DefaultMode };
    std::vector<std::shared_ptr<DescriptorSource>> closedSources;

    std::map<int, std::function<void()>> signalHandlers;
    sigset_t blockedByLoop;

    bool inPass = false;
    std::string mode;
    uint64_t passes = 0;
    // When the last look for closed descriptors was made (real time).
    std::chrono::steady_clock::time_point lastClosedCheck {};
    std::vector<std::shared_ptr<const void>> keepAlives;

    struct ObserverEntry {
        PassObserver observer;
        std::shared_ptr<ObserverGate> gate;
    };
    std::vector<std::shared_ptr<ObserverEntry>> passObservers;

    // The wait the observers allow (each may only shorten it).
    double observedWait(double wait)
    {
        for (auto& entry : std::vector(passObservers)) {
            if (!entry->observer.beforeWaiting)
                continue;
            entry->gate->run([&] {
                ExceptionReporter::guard("a run loop pass observer", [&] {
                    double allowed = entry->observer.beforeWaiting(wait);
                    if (allowed >= 0 && allowed < wait)
                        wait = allowed;
                    else if (!(allowed >= 0))
                        wait = 0;
                });
            });
        }
        return wait;
    }

    void afterWaiting()
    {
        for (auto& entry : std::vector(passObservers)) {
            if (entry->observer.afterWaiting)
                entry->gate->run([&] { ExceptionReporter::guard("a run loop pass observer", entry->observer.afterWaiting); });
        }
    }

    std::shared_ptr<Clock> loopClock() const
    {
        auto own = clock.load();
        return own ? own : Clock::current();
    }

    Heap& heapFor(std::string_view name)
    {
        auto it = heaps.find(name);
        if (it == heaps.end())
            it = heaps.emplace(std::string(name), Heap()).first;
        return it->second;
    }

    static bool isCurrent(const TimerEntry& entry)
    {
        if (entry.timer)
            return entry.timer->m_inHeap && entry.timer->m_generation == entry.generation;
        return entry.perform->inHeap;
    }

    void push(Heap& heap, TimerEntry entry)
    {
        entry.sequence = nextSequence++;
        heap.entries.push_back(std::move(entry));
        std::push_heap(heap.entries.begin(), heap.entries.end(), later);
        ++heap.live;
    }

    // Lazy deletion keeps cancelling O(1); a sweep once stale entries
    // dominate keeps the heap proportional to the live work.
    static void sweep(Heap& heap)
    {
        if (heap.entries.size() < 256 || heap.entries.size() < 2 * heap.live)
            return;
        std::erase_if(heap.entries, [](const TimerEntry& entry) { return !isCurrent(entry); });
        std::make_heap(heap.entries.begin(), heap.entries.end(), later);
    }

    void leaveHeap(Heap& heap)
    {
        --heap.live;
        sweep(heap);
    }

    void pushTimer(const std::shared_ptr<Timer>& timer, int64_t due)
    {
        Heap& heap = heapFor(timer->m_mode);
        if (timer->m_inHeap)
            --heap.live;
        ++timer->m_generation;
        timer->m_due = due;
        timer->m_inHeap = true;
        push(heap, TimerEntry { due, 0, timer->m_generation, timer, nullptr });
        sweep(heap);
    }

    static void dropTop(Heap& heap)
    {
        std::pop_heap(heap.entries.begin(), heap.entries.end(), later);
        heap.entries.pop_back();
    }

    std::optional<int64_t> nextDue(Heap* heap)
    {
        if (!heap)
            return std::nullopt;
        while (!heap->entries.empty() && !isCurrent(heap->entries.front()))
            dropTop(*heap);
        if (heap->entries.empty())
            return std::nullopt;
        return heap->entries.front().due;
    }

    Heap* findHeap(std::string_view name)
    {
        auto it = heaps.find(name);
        return it == heaps.end() ? nullptr : &it->second;
    }

    std::optional<int64_t> nextDueIn(std::string_view runMode)
    {
        auto first = nextDue(findHeap(runMode));
        if (runMode == CommonModes)
            return first;
        auto common = nextDue(findHeap(CommonModes));
        if (!first)
            return common;
        if (!common)
            return first;
        return std::min(*first, *common);
    }

    void collectDue(Heap* heap, int64_t now, std::vector<TimerEntry>& due)
    {
        if (!heap)
            return;
        while (!heap->entries.empty() && heap->entries.front().due <= now) {
            std::pop_heap(heap->entries.begin(), heap->entries.end(), later);
            TimerEntry entry = std::move(heap->entries.back());
            heap->entries.pop_back();
            if (!isCurrent(entry))
                continue;
            --heap->live;
            if (entry.timer)
                entry.timer->m_inHeap = false;
            else
                entry.perform->inHeap = false;
            due.push_back(std::move(entry));
        }
    }

    void unindex(const std::shared_ptr<Perform>& perform)
    {
        if (!perform->key.target)
            return;
        auto range = performsByTarget.equal_range(perform->key.target.get());
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == perform) {
                performsByTarget.erase(it);
                return;
            }
        }
    }

    bool hasPosted() const
    {
        std::lock_guard lock(postMutex);
        return !posted.empty();
    }

    bool wantsRegistration(const DescriptorSource& source) const
    {
        return source.m_active && (source.m_interest & (DescriptorSource::Read | DescriptorSource::Write))
            && (source.m_mode == epollMode || source.m_mode == CommonModes);
    }

    // Brings the epoll set in line with the source; returns the errno of a
    // failed registration (0 when fine).
    int updateRegistration(DescriptorSource& source)
    {
        if (!wantsRegistration(source)) {
            if (source.m_registered) {
                epoll_ctl(epollFd, EPOLL_CTL_DEL, source.m_fd, nullptr);
                source.m_registered = false;
            }
            return 0;
        }
        epoll_event event {};
        if (source.m_interest & DescriptorSource::Read)
            event.events |= EPOLLIN | EPOLLRDHUP;
        if (source.m_interest & DescriptorSource::Write)
            event.events |= EPOLLOUT;
        event.data.u64 = source.m_id;
        int result = epoll_ctl(epollFd, source.m_registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, source.m_fd, &event);
        if (result != 0 && source.m_registered && errno == ENOENT)
            result = epoll_ctl(epollFd, EPOLL_CTL_ADD, source.m_fd, &event);
        if (result != 0) {
            int error = errno;
            source.m_registered = false;
            return error;
        }
        source.m_registered = true;
        return 0;
    }

    void updateOrReportClosed(const std::shared_ptr<DescriptorSource>& source)
    {
        if (updateRegistration(*source) == 0)
            return;
        if (std::find(closedSources.begin(), closedSources.end(), source) == closedSources.end())
            closedSources.push_back(source);
        self->wakeUp();
    }

    void forgetSource(DescriptorSource& source)
    {
        if (source.m_registered) {
            epoll_ctl(epollFd, EPOLL_CTL_DEL, source.m_fd, nullptr);
            source.m_registered = false;
        }
        auto byFd = sourceByFd.find(source.m_fd);
        if (byFd != sourceByFd.end() && byFd->second == source.m_id)
            sourceByFd.erase(byFd);
        sources.erase(source.m_id);
    }

    // epoll forgets a descriptor when it is closed and says nothing; find
    // such sources when a pass has no events, so each is reported once.
    void findClosedSources()
    {
        std::vector<pollfd> fds;
        std::vector<std::shared_ptr<DescriptorSource>> watched;
        for (auto& [id, source] : sources) {
            if (source->m_registered) {
                fds.push_back(pollfd { source->m_fd, 0, 0 });
                watched.push_back(source);
            }
        }
        if (fds.empty() || poll(fds.data(), fds.size(), 0) <= 0)
            return;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents & POLLNVAL) {
                watched[i]->m_registered = false;
                closedSources.push_back(watched[i]);
            }
        }
    }

    void updateSignalMask()
    {
        if (signalHandlers.empty()) {
            if (signalFd >= 0) {
                epoll_ctl(epollFd, EPOLL_CTL_DEL, signalFd, nullptr);
                close(signalFd);
                signalFd = -1;
            }
            return;
        }
        sigset_t mask;
        sigemptyset(&mask);
        for (auto& [signal, handler] : signalHandlers)
            sigaddset(&mask, signal);
        bool fresh = signalFd < 0;
        int fd = signalfd(signalFd, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
        if (fd < 0)
            throw Exception(Exception::InternalInconsistency, fmt::format("RunLoop: signalfd failed: {}", strerror(errno)));
        signalFd = fd;
        if (fresh) {
            epoll_event event {};
            event.events = EPOLLIN;
            event.data.u64 = SignalId;
            epoll_ctl(epollFd, EPOLL_CTL_ADD, signalFd, &event);
        }
    }

    void unblockSignal(int signal)
    {
        if (!sigismember(&blockedByLoop, signal))
            return;
        sigset_t pending;
        sigpending(&pending);
        // A pending signal would take its default action on unblocking.
        if (sigismember(&pending, signal))
            return;
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        sigdelset(&blockedByLoop, signal);
    }

    template<typename Match> void cancelMatching(const void* target, Match match)
    {
        std::vector<std::shared_ptr<Perform>> cancelled;
        auto range = performsByTarget.equal_range(target);
        for (auto it = range.first; it != range.second;) {
            if (match(*it->second)) {
                cancelled.push_back(std::move(it->second));
                it = performsByTarget.erase(it);
            } else {
                ++it;
            }
        }
        // Released after the index is consistent: a target's destructor may cancel again.
        std::vector<std::function<void()>> runs;
        std::vector<std::shared_ptr<const void>> targets;
        for (auto& perform : cancelled) {
            perform->finished = true;
            if (perform->inHeap) {
                perform->inHeap = false;
                leaveHeap(heapFor(perform->mode));
            }
            runs.push_back(std::move(perform->run));
            targets.push_back(std::move(perform->key.target));
        }
    }

    // Takes everything the loop holds out of it and lets it go outside the
    // loop's structures: what is released may schedule again, so repeat.
    void dropEverything()
    {
        for (int round = 0; round < 16; ++round) {
            std::vector<std::function<void()>> blocks;
            {
                std::lock_guard lock(postMutex);
                blocks.swap(posted);
            }
            auto oldHeaps = std::move(heaps);
            heaps.clear();
            std::vector<std::shared_ptr<std::function<void(Timer&)>>> timerCallbacks;
            std::vector<std::function<void()>> performs;
            std::vector<std::shared_ptr<const void>> targets;
            for (auto& [name, heap] : oldHeaps) {
                for (auto& entry : heap.entries) {
                    if (entry.timer) {
                        entry.timer->m_inHeap = false;
                        entry.timer->m_valid = false;
                        timerCallbacks.push_back(std::move(entry.timer->m_fire));
                    } else {
                        entry.perform->inHeap = false;
                        entry.perform->finished = true;
                        performs.push_back(std::move(entry.perform->run));
                        targets.push_back(std::move(entry.perform->key.target));
                    }
                }
            }
            auto byTarget = std::move(performsByTarget);
            performsByTarget.clear();
            auto oldSources = std::move(sources);
            sources.clear();
            sourceByFd.clear();
            std::vector<std::shared_ptr<DescriptorSource::Callback>> sourceCallbacks;
            for (auto& [id, source] : oldSources) {
                if (source->m_registered)
                    epoll_ctl(epollFd, EPOLL_CTL_DEL, source->m_fd, nullptr);
                source->m_registered = false;
                source->m_active = false;
                sourceCallbacks.push_back(std::move(source->m_callback));
            }
            auto closed = std::move(closedSources);
            closedSources.clear();
            auto handlers = std::move(signalHandlers);
            signalHandlers.clear();
            updateSignalMask();
            for (auto& [signal, handler] : handlers)
                unblockSignal(signal);
            auto kept = std::move(keepAlives);
            keepAlives.clear();
            bool empty = blocks.empty() && oldHeaps.empty() && byTarget.empty() && oldSources.empty()
                && closed.empty() && handlers.empty() && kept.empty();
            if (empty)
                break;
        }
    }
};

// The calling thread's loop, ended with the thread.
struct RunLoop::ThreadHolder {
    std::shared_ptr<RunLoop> loop;
    ~ThreadHolder()
    {
        if (loop)
            loop->threadDidEnd();
    }
};

thread_local RunLoop::ThreadHolder RunLoop::s_threadLoop;

RunLoop::RunLoop(const Private&)
    : m(std::make_unique<Impl>())
{
    m->self = this;
    m->owner = std::this_thread::get_id();
    sigemptyset(&m->blockedByLoop);
    m->epollFd = epoll_create1(EPOLL_CLOEXEC);
    m->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m->epollFd < 0 || m->wakeFd < 0)
        throw Exception(Exception::InternalInconsistency, fmt::format("RunLoop: cannot make its descriptors: {}", strerror(errno)));
    epoll_event event {};
    event.events = EPOLLIN;
    event.data.u64 = WakeId;
    epoll_ctl(m->epollFd, EPOLL_CTL_ADD, m->wakeFd, &event);
}

RunLoop::~RunLoop()
{
    if (m->signalFd >= 0)
        close(m->signalFd);
    if (m->wakeFd >= 0)
        close(m->wakeFd);
    if (m->epollFd >= 0)
        close(m->epollFd);
}

RunLoop& RunLoop::current()
{
    if (!s_threadLoop.loop) {
        s_threadLoop.loop = std::make_shared<RunLoop>(Private {});
        Thread::current()->attachRunLoop(s_threadLoop.loop);
    }
    return *s_threadLoop.loop;
}

RunLoop& RunLoop::main()
{
    RunLoop* loop = mainPointer.load();
    if (!loop)
        throw Exception(Exception::InternalInconsistency, "RunLoop::main: no thread was made the main thread");
    return *loop;
}

void RunLoop::setMainThread()
{
    RunLoop& loop = current();
    {
        std::lock_guard lock(mainLoopMutex);
        mainLoop = loop.shared_from_this();
        mainPointer = &loop;
    }
    Thread::markMainThread();
}

bool RunLoop::hasMainThread()
{
    return mainPointer.load() != nullptr;
}

void RunLoop::endCurrentThread()
{
    if (auto loop = std::move(s_threadLoop.loop))
        loop->threadDidEnd();
}

void RunLoop::threadDidEnd()
{
    {
        std::lock_guard lock(m->postMutex);
        m->ended = true;
    }
    m->dropEverything();
}

void RunLoop::checkOwner(const char* what) const
{
    if (std::this_thread::get_id() != m->owner)
        throw Exception(Exception::InternalInconsistency,
            fmt::format("RunLoop::{} called off the loop's thread (post to the loop instead)", what));
}

bool RunLoop::isCurrent() const
{
    return std::this_thread::get_id() == m->owner;
}

void RunLoop::post(std::function<void()> block)
{
    {
        std::lock_guard lock(m->postMutex);
        if (!m->ended) {
            bool wasEmpty = m->posted.empty();
            m->posted.push_back(std::move(block));
            if (!wasEmpty)
                return; // the loop was woken for the first one and takes them all
            block = nullptr;
        }
    }
    if (block) {
        log("Warning, dropped a block posted to the run loop of a thread that has ended");
        return;
    }
    wakeUp();
}

void RunLoop::wakeUp()
{
    uint64_t one = 1;
    ssize_t written = write(m->wakeFd, &one, sizeof one);
    (void)written; // a full counter already wakes the loop
}

void RunLoop::stop()
{
    m->stopRequested = true;
    wakeUp();
}

void RunLoop::performAfter(double delay, std::function<void()> perform, PerformKey key, std::string_view mode)
{
    checkOwner("performAfter");
    auto item = std::make_shared<Perform>();
    item->run = std::move(perform);
    item->key = std::move(key);
    item->mode = std::string(mode);
    item->inHeap = true;
    if (item->key.target)
        m->performsByTarget.emplace(item->key.target.get(), item);
    int64_t due = m->loopClock()->monotonicNanoseconds() + Clock::nanoseconds(delay);
    m->push(m->heapFor(mode), TimerEntry { due, 0, 0, nullptr, std::move(item) });
}

void RunLoop::cancelPerforms(const PerformKey& key)
{
    checkOwner("cancelPerforms");
    if (!key.target)
        return;
    m->cancelMatching(key.target.get(),
        [&](const Perform& perform) { return perform.key.tag == key.tag && perform.key.argument == key.argument; });
}

void RunLoop::cancelPerforms(const void* target)
{
    checkOwner("cancelPerforms");
    if (!target)
        return;
    m->cancelMatching(target, [](const Perform&) { return true; });
}

std::shared_ptr<Timer> RunLoop::schedule(double interval, bool repeats, std::function<void(Timer&)> fire,
    std::string_view mode)
{
    checkOwner("schedule");
    if (!(interval > 0))
        interval = 0;
    if (repeats && interval < MinimumRepeatInterval)
        interval = MinimumRepeatInterval;
    auto timer = std::make_shared<Timer>(Timer::Private {}, weak_from_this(), interval, repeats, std::string(mode),
        std::move(fire));
    m->pushTimer(timer, m->loopClock()->monotonicNanoseconds() + timer->m_intervalNanoseconds);
    return timer;
}

std::shared_ptr<DescriptorSource> RunLoop::addSource(int fd, unsigned interest,
    std::function<void(DescriptorSource&, unsigned events)> callback, std::string_view mode)
{
    checkOwner("addSource");
    if (fd < 0)
        throw Exception(Exception::InvalidArgument, fmt::format("RunLoop::addSource: invalid descriptor {}", fd));
    if (m->sourceByFd.count(fd))
        throw Exception(Exception::InvalidArgument, fmt::format("RunLoop::addSource: descriptor {} is already watched", fd));
    auto source = std::make_shared<DescriptorSource>(DescriptorSource::Private {}, weak_from_this(), fd,
        interest & (DescriptorSource::Read | DescriptorSource::Write), std::string(mode), std::move(callback));
    source->m_id = m->nextSourceId++;
    if (int error = m->updateRegistration(*source)) {
        source->m_active = false;
        throw Exception(Exception::InvalidArgument,
            fmt::format("RunLoop::addSource: descriptor {} cannot be watched: {}", fd, strerror(error)));
    }
    m->sources.emplace(source->m_id, source);
    m->sourceByFd.emplace(fd, source->m_id);
    return source;
}

void RunLoop::setSignalHandler(int signal, std::function<void()> handler)
{
    checkOwner("setSignalHandler");
    if (handler) {
        sigset_t one;
        sigset_t before;
        sigemptyset(&one);
        sigaddset(&one, signal);
        pthread_sigmask(SIG_BLOCK, &one, &before);
        if (!sigismember(&before, signal))
            sigaddset(&m->blockedByLoop, signal);
        m->signalHandlers[signal] = std::move(handler);
        m->updateSignalMask();
        return;
    }
    if (!m->signalHandlers.erase(signal))
        return;
    m->updateSignalMask();
    m->unblockSignal(signal);
}

Observation RunLoop::addPassObserver(PassObserver observer)
{
    checkOwner("addPassObserver");
    auto entry = std::make_shared<Impl::ObserverEntry>();
    entry->observer = std::move(observer);
    entry->gate = std::make_shared<ObserverGate>();
    auto place = std::upper_bound(m->passObservers.begin(), m->passObservers.end(), entry->observer.order,
        [](int order, const auto& other) { return order < other->observer.order; });
    m->passObservers.insert(place, entry);
    std::weak_ptr<RunLoop> weakLoop = weak_from_this();
    std::weak_ptr<Impl::ObserverEntry> weakEntry = entry;
    return Observation(entry->gate, [weakLoop, weakEntry] {
        auto loop = weakLoop.lock();
        auto gone = weakEntry.lock();
        if (loop && gone)
            std::erase(loop->m->passObservers, gone);
    });
}

void RunLoop::keepAliveUntilEndOfPass(std::shared_ptr<const void> object)
{
    checkOwner("keepAliveUntilEndOfPass");
    if (object)
        m->keepAlives.push_back(std::move(object));
}

void RunLoop::setClock(std::shared_ptr<Clock> clock)
{
    m->clock = std::move(clock);
}

std::shared_ptr<Clock> RunLoop::clock() const
{
    return m->loopClock();
}

std::string RunLoop::currentMode() const
{
    return m->mode;
}

uint64_t RunLoop::passCount() const
{
    return m->passes;
}

bool RunLoop::runOnce(std::string_view mode, double maxWait)
{
    checkOwner("runOnce");
    if (m->inPass)
        throw Exception(Exception::InternalInconsistency, "RunLoop::runOnce: the loop is already running on this thread");
    struct PassScope {
        Impl& m;
        PassScope(Impl& impl, std::string_view mode) : m(impl)
        {
            m.inPass = true;
            m.mode = std::string(mode);
        }
        ~PassScope()
        {
            m.inPass = false;
            m.mode.clear();
        }
    } scope(*m, mode);

    if (m->epollMode != mode) {
        m->epollMode = std::string(mode);
        for (auto& [id, source] : m->sources)
            m->updateOrReportClosed(source);
    }

    auto clock = m->loopClock();
    int64_t now = clock->monotonicNanoseconds();
    auto next = m->nextDueIn(mode);
    double wait = 0;
    if (!(next && *next <= now) && m->closedSources.empty() && !m->hasPosted()) {
        wait = std::max(maxWait, 0.0);
        if (next && !clock->isManual())
            wait = std::min(wait, static_cast<double>(*next - now) / 1e9);
    }
    if (!m->passObservers.empty())
        wait = m->observedWait(wait);
    int timeout = timeoutMilliseconds(wait);
    epoll_event events[MaxEventsPerPass];
    int count = epoll_wait(m->epollFd, events, MaxEventsPerPass, timeout);
    if (count < 0)
        count = 0; // EINTR: an empty pass

    // The pass begins: what is posted, due and ready now is its work.
    ++m->passes;
    int64_t start = clock->monotonicNanoseconds();
    std::vector<std::pair<uint64_t, unsigned>> ready;
    bool signalled = false;
    for (int i = 0; i < count; ++i) {
        uint64_t id = events[i].data.u64;
        if (id == WakeId) {
            uint64_t value;
            while (read(m->wakeFd, &value, sizeof value) > 0) { }
        } else if (id == SignalId) {
            signalled = true;
        } else {
            ready.emplace_back(id, eventsFromEpoll(events[i].events));
        }
    }
    // Looking for closed descriptors costs a poll over every source, so an
    // idle pass does it at most once a second: passes stay O(ready).
    if (ready.empty()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - m->lastClosedCheck >= std::chrono::seconds(1)) {
            m->lastClosedCheck = now;
            m->findClosedSources();
        }
    }
    auto closed = std::move(m->closedSources);
    m->closedSources.clear();
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(m->postMutex);
        blocks.swap(m->posted);
    }
    std::vector<TimerEntry> due;
    m->collectDue(m->findHeap(mode), start, due);
    if (mode != CommonModes)
        m->collectDue(m->findHeap(CommonModes), start, due);
    std::sort(due.begin(), due.end(), [](const TimerEntry& a, const TimerEntry& b) { return later(b, a); });
    if (!m->passObservers.empty())
        m->afterWaiting();

    bool worked = false;
    // (1) posted blocks
    for (auto& block : blocks) {
        worked = true;
        ExceptionReporter::guard("a posted block", block);
    }
    // (2) timers and performs
    for (auto& entry : due) {
        if (auto& timer = entry.timer) {
            if (!timer->m_valid || timer->m_generation != entry.generation || timer->m_inHeap)
                continue;
            worked = true;
            auto fire = timer->m_fire;
            if (timer->m_repeats) {
                int64_t interval = std::max<int64_t>(timer->m_intervalNanoseconds, 1);
                int64_t nextDue = entry.due + ((start - entry.due) / interval + 1) * interval;
                m->pushTimer(timer, nextDue);
            }
            uint64_t generation = timer->m_generation;
            if (fire)
                ExceptionReporter::guard("a timer", [&] { (*fire)(*timer); });
            if (!timer->m_repeats && timer->m_valid && timer->m_generation == generation && !timer->m_inHeap) {
                timer->m_valid = false;
                timer->m_fire.reset();
            }
            if (fire && fire != timer->m_fire)
                m->keepAlives.push_back(std::move(fire));
        } else {
            auto& perform = entry.perform;
            if (perform->finished)
                continue;
            worked = true;
            perform->finished = true;
            m->unindex(perform);
            ExceptionReporter::guard("a delayed perform", perform->run);
            // The target lives to the end of the pass.
            m->keepAlives.push_back(perform);
        }
    }
    // (3) signals and descriptors
    if (signalled && m->signalFd >= 0) {
        signalfd_siginfo info;
        while (read(m->signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            auto it = m->signalHandlers.find(static_cast<int>(info.ssi_signo));
            if (it == m->signalHandlers.end())
                continue;
            worked = true;
            auto handler = it->second;
            ExceptionReporter::guard("a signal handler", handler);
        }
    }
    auto dispatch = [&](const std::shared_ptr<DescriptorSource>& source, unsigned events) {
        auto callback = source->m_callback;
        worked = true;
        if (callback)
            ExceptionReporter::guard("a descriptor source", [&] { (*callback)(*source, events); });
        if (!source->m_active || callback != source->m_callback) {
            m->keepAlives.push_back(source);
            m->keepAlives.push_back(std::move(callback));
        }
    };
    for (auto& source : closed) {
        if (!source->m_active)
            continue;
        log("Warning, descriptor {} was closed while its run loop source was registered", source->m_fd);
        dispatch(source, DescriptorSource::Error);
        source->remove();
    }
    for (auto& [id, events] : ready) {
        auto it = m->sources.find(id);
        if (it == m->sources.end())
            continue;
        auto source = it->second;
        if (!source->m_active)
            continue;
        unsigned wanted = events & (source->m_interest | DescriptorSource::HangUp | DescriptorSource::Error);
        if (wanted)
            dispatch(source, wanted);
    }
    // (4) keep-alives
    auto kept = std::move(m->keepAlives);
    m->keepAlives.clear();
    worked = worked || !kept.empty();
    kept.clear();
    blocks.clear();
    return worked;
}

void RunLoop::run(std::string_view mode)
{
    checkOwner("run");
    while (!m->stopRequested.exchange(false))
        runOnce(mode, Forever);
}

void RunLoop::runUntilIdle()
{
    checkOwner("runUntilIdle");
    for (size_t passes = 1; runOnce(DefaultMode, 0); ++passes) {
        if (passes >= BusyPassLimit)
            throw Exception(Exception::InternalInconsistency,
                fmt::format("RunLoop::runUntilIdle: still busy after {} passes; pending: {}", BusyPassLimit,
                    describePendingWork()));
    }
}

void RunLoop::advance(double seconds)
{
    checkOwner("advance");
    auto clock = std::dynamic_pointer_cast<ManualClock>(m->loopClock());
    if (!clock)
        throw Exception(Exception::InternalInconsistency, "RunLoop::advance: the loop's clock is not a ManualClock");
    int64_t target = clock->monotonicNanoseconds() + Clock::nanoseconds(seconds);
    runUntilIdle();
    // Step to each due time in turn: a repeating timer fires at every step
    // and work scheduled on the way gets its turn.
    for (auto next = m->nextDueIn(DefaultMode); next && *next <= target; next = m->nextDueIn(DefaultMode)) {
        clock->advanceNanoseconds(*next - clock->monotonicNanoseconds());
        runUntilIdle();
    }
    clock->advanceNanoseconds(target - clock->monotonicNanoseconds());
    runUntilIdle();
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, double realTimeout)
{
    checkOwner("runUntil");
    using namespace std::chrono;
    auto deadline = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(std::max(realTimeout, 0.0)));
    while (!predicate()) {
        double remaining = duration<double>(deadline - steady_clock::now()).count();
        if (remaining <= 0)
            return false;
        // Short waits so that a predicate on plain state (nothing posted) is seen too.
        runOnce(DefaultMode, std::min(remaining, 0.05));
    }
    return true;
}

std::string RunLoop::describePendingWork() const
{
    std::vector<std::string> parts;
    {
        std::lock_guard lock(m->postMutex);
        if (!m->posted.empty())
            parts.push_back(fmt::format("{} posted block(s)", m->posted.size()));
    }
    int64_t now = m->loopClock()->monotonicNanoseconds();
    for (auto& [name, heap] : m->heaps) {
        for (auto& entry : heap.entries) {
            if (Impl::isCurrent(entry) && entry.due <= now)
                parts.push_back(describeEntry(entry) + (name == DefaultMode ? "" : " in mode " + name));
        }
    }
    for (auto& [id, source] : m->sources) {
        pollfd fd { source->m_fd, 0, 0 };
        if (source->m_interest & DescriptorSource::Read)
            fd.events |= POLLIN;
        if (source->m_interest & DescriptorSource::Write)
            fd.events |= POLLOUT;
        if (poll(&fd, 1, 0) > 0)
            parts.push_back(fmt::format("descriptor {}", source->m_fd));
    }
    if (parts.empty())
        return "nothing";
    return fmt::format("{}", fmt::join(parts, ", "));
}

void RunLoop::resetForTesting()
{
    checkOwner("resetForTesting");
    if (m->inPass)
        throw Exception(Exception::InternalInconsistency, "RunLoop::resetForTesting: called inside a pass");
    m->dropEverything();
    m->passes = 0;
    m->lastClosedCheck = {};
    m->stopRequested = false;
    m->clock.store(nullptr);
    m->epollMode = std::string(DefaultMode);
    uint64_t value;
    while (read(m->wakeFd, &value, sizeof value) > 0) { }
}

void RunLoop::timerInvalidated(Timer& timer)
{
    if (!timer.m_inHeap)
        return;
    timer.m_inHeap = false;
    m->leaveHeap(m->heapFor(timer.m_mode));
}

void RunLoop::timerMoved(const std::shared_ptr<Timer>& timer, int64_t due)
{
    m->pushTimer(timer, due);
}

void RunLoop::sourceInterestChanged(DescriptorSource& source)
{
    m->updateOrReportClosed(source.shared_from_this());
}

void RunLoop::sourceRemoved(DescriptorSource& source)
{
    m->forgetSource(source);
}

} // namespace core
