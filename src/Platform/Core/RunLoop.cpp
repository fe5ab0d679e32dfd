#include "Platform/Core/RunLoop.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/RunLoopPassObservers.h"
#include "Platform/Core/RunLoopSchedule.h"
#include "Platform/Core/RunLoopSignals.h"
#include "Platform/Core/RunLoopSources.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fmt/ranges.h>
#include <mutex>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace core {

struct RunLoop::Private { };
struct Timer::Private { };

namespace {

// epoll id of the wake descriptor; the signalfd and the sources have theirs
// from RunLoopSignals and RunLoopSources.
constexpr uint64_t WakeId = 1;
constexpr size_t BusyPassLimit = 10000;
constexpr int MaxEventsPerPass = 256;
// The shortest repeat of a timer, so that a zero interval cannot fire in every pass.
constexpr double MinimumRepeatInterval = 0.0001;

using TimerEntry = RunLoopSchedule::TimerEntry;

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

} // namespace

struct RunLoop::Impl {
    explicit Impl(RunLoop& loop);

    RunLoop* self = nullptr;
    std::thread::id owner;
    int epollFd = -1;
    int wakeFd = -1;
    std::atomic<std::shared_ptr<Clock>> clock;

    mutable std::mutex postMutex;
    std::vector<std::function<void()>> posted;
    bool ended = false;
    std::atomic<bool> stopRequested { false };

    RunLoopSchedule schedule;
    RunLoopSources sources;
    RunLoopSignals signals;
    RunLoopPassObservers passObservers;

    bool inPass = false;
    std::string mode;
    uint64_t passes = 0;
    std::vector<std::shared_ptr<const void>> keepAlives;

    std::shared_ptr<Clock> loopClock() const
    {
        auto own = clock.load();
        return own ? own : Clock::current();
    }

    bool hasPosted() const
    {
        std::lock_guard lock(postMutex);
        return !posted.empty();
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
            auto scheduled = schedule.takeAll();
            auto watched = sources.takeAll();
            auto handlers = signals.takeAll();
            auto kept = std::move(keepAlives);
            keepAlives.clear();
            bool empty = blocks.empty() && scheduled.empty() && watched.empty() && handlers.empty() && kept.empty();
            if (empty)
                break;
        }
    }
};

RunLoop::Impl::Impl(RunLoop& loop)
    : self(&loop)
    , owner(std::this_thread::get_id())
    , epollFd(epoll_create1(EPOLL_CLOEXEC))
    , wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , sources(loop, epollFd)
    , signals(epollFd)
{
}

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
    : m(std::make_unique<Impl>(*this))
{
    if (m->epollFd < 0 || m->wakeFd < 0)
        throw Exception(Exception::InternalInconsistency, fmt::format("RunLoop: cannot make its descriptors: {}", strerror(errno)));
    epoll_event event {};
    event.events = EPOLLIN;
    event.data.u64 = WakeId;
    epoll_ctl(m->epollFd, EPOLL_CTL_ADD, m->wakeFd, &event);
}

RunLoop::~RunLoop()
{
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
    auto item = std::make_shared<RunLoopSchedule::Perform>();
    item->run = std::move(perform);
    item->key = std::move(key);
    item->mode = std::string(mode);
    item->inHeap = true;
    int64_t due = m->loopClock()->monotonicNanoseconds() + Clock::nanoseconds(delay);
    m->schedule.addPerform(std::move(item), due);
}

void RunLoop::cancelPerforms(const PerformKey& key)
{
    checkOwner("cancelPerforms");
    if (!key.target)
        return;
    m->schedule.cancel(key);
}

void RunLoop::cancelPerforms(const void* target)
{
    checkOwner("cancelPerforms");
    if (!target)
        return;
    m->schedule.cancel(target);
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
    m->schedule.pushTimer(timer, m->loopClock()->monotonicNanoseconds() + timer->m_intervalNanoseconds);
    return timer;
}

std::shared_ptr<DescriptorSource> RunLoop::addSource(int fd, unsigned interest,
    std::function<void(DescriptorSource&, unsigned events)> callback, std::string_view mode)
{
    checkOwner("addSource");
    return m->sources.add(weak_from_this(), fd, interest, std::move(callback), mode);
}

void RunLoop::setSignalHandler(int signal, std::function<void()> handler)
{
    checkOwner("setSignalHandler");
    m->signals.set(signal, std::move(handler));
}

Observation RunLoop::addPassObserver(PassObserver observer)
{
    checkOwner("addPassObserver");
    auto entry = m->passObservers.add(std::move(observer));
    std::weak_ptr<RunLoop> weakLoop = weak_from_this();
    std::weak_ptr<RunLoopPassObservers::Entry> weakEntry = entry;
    return Observation(entry->gate, [weakLoop, weakEntry] {
        auto loop = weakLoop.lock();
        auto gone = weakEntry.lock();
        if (loop && gone)
            loop->m->passObservers.remove(*gone);
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

uint64_t RunLoop::passCountForTesting() const
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

    m->sources.enterMode(mode);

    auto clock = m->loopClock();
    int64_t now = clock->monotonicNanoseconds();
    auto next = m->schedule.nextDueIn(mode);
    double wait = 0;
    if (!(next && *next <= now) && !m->sources.hasClosed() && !m->hasPosted()) {
        wait = std::max(maxWait, 0.0);
        if (next && !clock->isManual())
            wait = std::min(wait, static_cast<double>(*next - now) / 1e9);
    }
    if (!m->passObservers.empty())
        wait = m->passObservers.beforeWaiting(wait);
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
        } else if (id == RunLoopSignals::EpollId) {
            signalled = true;
        } else {
            ready.emplace_back(id, eventsFromEpoll(events[i].events));
        }
    }
    if (ready.empty())
        m->sources.lookForClosedWhenDue();
    auto closed = m->sources.takeClosed();
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(m->postMutex);
        blocks.swap(m->posted);
    }
    std::vector<TimerEntry> due;
    m->schedule.collectDue(mode, start, due);
    if (!m->passObservers.empty())
        m->passObservers.afterWaiting();

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
                m->schedule.pushTimer(timer, nextDue);
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
            m->schedule.unindex(*perform);
            ExceptionReporter::guard("a delayed perform", perform->run);
            // The target lives to the end of the pass.
            m->keepAlives.push_back(perform);
        }
    }
    // (3) signals and descriptors
    if (signalled && m->signals.runArrived())
        worked = true;
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
        auto source = m->sources.find(id);
        if (!source)
            continue;
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
    for (auto next = m->schedule.nextDueIn(DefaultMode); next && *next <= target; next = m->schedule.nextDueIn(DefaultMode)) {
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
    m->schedule.describeDue(now, parts);
    m->sources.describeReady(parts);
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
    m->sources.resetPassState();
    m->stopRequested = false;
    m->clock.store(nullptr);
    uint64_t value;
    while (read(m->wakeFd, &value, sizeof value) > 0) { }
}

void RunLoop::timerInvalidated(Timer& timer)
{
    m->schedule.timerInvalidated(timer);
}

void RunLoop::sourceInterestChanged(DescriptorSource& source)
{
    m->sources.interestChanged(source);
}

void RunLoop::sourceRemoved(DescriptorSource& source)
{
    m->sources.forget(source);
}

} // namespace core
