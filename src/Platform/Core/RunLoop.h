#pragma once

#include "Platform/Core/Observation.h"
#include "Platform/Core/OwnerBound.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace core {

class Clock;
class DescriptorSource;
class Timer;

// Names a delayed perform so that a later request can cancel it: the target
// (kept alive until the perform ran or was cancelled, compared by identity),
// the tag (the method's name) and the argument (compared by value).
struct PerformKey {
    std::shared_ptr<const void> target;
    std::string tag;
    Value argument;
};

// The event loop of one thread: blocks posted from any thread, timers and
// delayed performs on the loop's clock, and descriptor sources on epoll.
//
// One pass runs, in this order: (1) the blocks posted before the pass began,
// (2) the timers and performs due at the pass's start, by due time and, for
// equal times, in scheduling order, (3) the callbacks of the descriptors
// ready at the pass's start, (4) the release of the keep-alives. Whatever is
// scheduled during a pass runs in a later pass, never inside the call that
// scheduled it.
//
// Timers, performs and sources belong to the loop's own thread and are added
// and changed there; other threads post(). An exception escaping a callback
// is logged (ExceptionReporter) and the loop goes on.
class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    // Modes: an item scheduled in DefaultMode runs only while the loop runs
    // in that mode; one in CommonModes runs in every mode; any other name is
    // a mode of its own (a modal run).
    static constexpr std::string_view DefaultMode = "default";
    static constexpr std::string_view CommonModes = "common";
    static constexpr double Forever = std::numeric_limits<double>::infinity();

    // The loop of the calling thread, made on first use.
    static RunLoop& current();
    // The loop of the thread that called setMainThread() (the program's
    // main, the test thread). Throws when no thread was made the main one.
    static RunLoop& main();
    static void setMainThread();
    static bool hasMainThread();

    struct Private;
    explicit RunLoop(const Private&);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Any thread. Blocks run in posting order. A loop whose thread has
    // ended drops the block and logs it.
    void post(std::function<void()> block);
    // Posts `block(owner)`, skipped when the owner (held or weak) is gone
    // by then.
    template<typename Owner, typename F> void post(const std::shared_ptr<Owner>& owner, F block)
    {
        post(std::function<void()>(ownerBound(owner, std::move(block))));
    }
    template<typename Owner, typename F> void post(std::weak_ptr<Owner> owner, F block)
    {
        post(std::function<void()>(ownerBound(std::move(owner), std::move(block))));
    }
    // Ends run() (any thread). A stop requested while run() is not running
    // ends the next run() after its first pass.
    void stop();
    // Makes a waiting pass return (any thread).
    void wakeUp();
    bool isCurrent() const;

    // Delayed performs. A delay of 0 (negative and NaN count as 0) runs on
    // the next pass. cancelPerforms(key) drops the pending performs with the
    // same target, tag and an equal argument; cancelPerforms(target) drops
    // every pending perform of the target.
    void performAfter(double delay, std::function<void()> perform, PerformKey key = {},
        std::string_view mode = DefaultMode);
    // The owner-bound form: runs `perform(owner)`, skipped when the owner
    // is gone by then (the loop holds it weakly until then).
    template<typename Owner, typename F>
    void performAfter(const std::shared_ptr<Owner>& owner, double delay, F perform, PerformKey key = {},
        std::string_view mode = DefaultMode)
    {
        performAfter(delay, std::function<void()>(ownerBound(owner, std::move(perform))), std::move(key), mode);
    }
    template<typename Owner, typename F>
    void performAfter(std::weak_ptr<Owner> owner, double delay, F perform, PerformKey key = {},
        std::string_view mode = DefaultMode)
    {
        performAfter(delay, std::function<void()>(ownerBound(std::move(owner), std::move(perform))), std::move(key), mode);
    }
    void cancelPerforms(const PerformKey& key);
    void cancelPerforms(const void* target);

    // A timer firing after `interval` seconds, and every `interval` seconds
    // after that when it repeats. The loop holds it until it is invalidated
    // (a one-shot timer invalidates itself after firing).
    std::shared_ptr<Timer> schedule(double interval, bool repeats, std::function<void(Timer&)> fire,
        std::string_view mode = DefaultMode);
    // The owner-bound form: fires `fire(owner, timer)` while the owner
    // lives; a firing after it is gone does nothing.
    template<typename Owner, typename F>
    std::shared_ptr<Timer> schedule(const std::shared_ptr<Owner>& owner, double interval, bool repeats, F fire,
        std::string_view mode = DefaultMode)
    {
        return schedule(interval, repeats, std::function<void(Timer&)>(ownerBound(owner, std::move(fire))), mode);
    }

    // Watches a descriptor (DescriptorSource::Read / Write interest) until the
    // source is removed. One source per descriptor. Remove the source before
    // closing its descriptor; a descriptor closed while registered is
    // reported once with DescriptorSource::Error and dropped.
    std::shared_ptr<DescriptorSource> addSource(int fd, unsigned interest,
        std::function<void(DescriptorSource&, unsigned events)> callback, std::string_view mode = DefaultMode);

    // Runs `handler` on this loop (in every mode) when `signal` arrives; an
    // empty handler removes it. The signal is blocked in the calling thread;
    // the program blocks SIGINT and SIGTERM in main before any thread starts,
    // so that no other thread takes them.
    void setSignalHandler(int signal, std::function<void()> handler);

    // Hooks around every pass's wait, in every mode, for another event loop
    // that runs inside this one (GLib's). `beforeWaiting` gets the wait the
    // pass is about to make (real seconds: 0 for none, Forever until an
    // event) and answers the longest wait it allows, which caps it.
    // `afterWaiting` runs once the wait is over and the pass has taken its
    // work, before that work runs: what it posts or schedules goes to a later
    // pass. Either may be empty. Observers run in increasing `order`, equal
    // orders as they were added. Observers stay through resetForTesting; the
    // token ends the observation. The loop's own thread only.
    struct PassObserver {
        std::function<double(double wait)> beforeWaiting;
        std::function<void()> afterWaiting;
        int order = 0;
    };
    Observation addPassObserver(PassObserver observer);

    // Keeps `object` alive until the end of the current pass (or of the next
    // one when called outside a pass).
    void keepAliveUntilEndOfPass(std::shared_ptr<const void> object);

    // The clock of this loop's timers: Clock::current() unless set.
    void setClock(std::shared_ptr<Clock> clock);
    std::shared_ptr<Clock> clock() const;

    // One pass in `mode`, first waiting up to `maxWait` real seconds for
    // something to do. With a manual clock the loop never waits for timers.
    // Returns whether any callback ran. A nested call throws
    // NSInternalInconsistencyException.
    bool runOnce(std::string_view mode = DefaultMode, double maxWait = 0);
    // Passes until stop().
    void run(std::string_view mode = DefaultMode);
    // The mode of the running pass (empty outside one).

    // The test pump (default mode).
    uint64_t passCountForTesting() const;
    // Passes until one has nothing to do; throws naming the pending work
    // after 10,000 busy passes.
    void runUntilIdle();
    // Steps the manual clock to each due time up to now + seconds in turn
    // and runs the loop idle there, work scheduled on the way included.
    void advance(double seconds);
    // Passes (waiting for real events) until `predicate` holds; false when
    // `realTimeout` seconds passed first.
    bool runUntil(const std::function<bool()>& predicate, double realTimeout);
    // A line naming the work that is due or ready now.
    std::string describePendingWork() const;
    // Drops everything scheduled, posted and watched (the test environment).
    void resetForTesting();

private:
    friend class Timer;
    friend class DescriptorSource;
    friend class Thread;
    struct Impl;
    struct ThreadHolder;
    static thread_local ThreadHolder s_threadLoop;
    std::unique_ptr<Impl> m;

    static void endCurrentThread();
    void threadDidEnd();
    void checkOwner(const char* what) const;
    void timerInvalidated(Timer& timer);
    void sourceInterestChanged(DescriptorSource& source);
    void sourceRemoved(DescriptorSource& source);
};

} // namespace core
