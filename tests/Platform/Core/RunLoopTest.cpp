#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SystemClock.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"

#include "Support/TestCase.h"
#include "Support/TestEnvironment.h"

#include <gtest/gtest-spi.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <latch>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using core::Date;
using core::DescriptorSource;
using core::PerformKey;
using core::RunLoop;
using core::Timer;
using core::Value;

namespace {

class RunLoopTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        start = Date::now();
    }

    RunLoop& loop = RunLoop::main();
    Date start;

    // Dates are seconds since 2001 in a double: fractions come back to
    // about a microsecond.
    double secondsSinceStart() const
    {
        return std::round(Date::now().timeIntervalSince(start) * 1e6) / 1e6;
    }
};

class Folder : public core::Object { };

struct Tracked {
    explicit Tracked(std::atomic<bool>* flag) : alive(flag) { }
    ~Tracked() { *alive = false; }
    std::atomic<bool>* alive;
};

TEST_F(RunLoopTest, WorkScheduledDuringAPassRunsInALaterOne)
{
    std::vector<std::string> order;
    loop.post([&] {
        order.push_back("block");
        loop.performAfter(0, [&] { order.push_back("perform"); });
        loop.post([&] { order.push_back("posted inside"); });
    });
    EXPECT_TRUE(loop.runOnce());
    EXPECT_EQ(order, (std::vector<std::string> { "block" }));
    loop.runOnce();
    EXPECT_EQ(order, (std::vector<std::string> { "block", "posted inside", "perform" }));
    EXPECT_FALSE(loop.runOnce());

    // A perform that schedules itself again runs once per pass, and the
    // pump names it instead of hanging.
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.performAfter(0, again, PerformKey { nullptr, "refreshAgain", {} });
    };
    loop.performAfter(0, again, PerformKey { nullptr, "refreshAgain", {} });
    uint64_t passes = loop.passCountForTesting();
    loop.runOnce();
    loop.runOnce();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(loop.passCountForTesting(), passes + 2);
    try {
        loop.runUntilIdle();
        ADD_FAILURE() << "runUntilIdle returned";
    } catch (const core::Exception& e) {
        EXPECT_EQ(e.name(), core::Exception::InternalInconsistency);
        EXPECT_NE(e.reason().find("perform \"refreshAgain\""), std::string::npos) << e.reason();
    }
    EXPECT_EQ(runs, 10002);
}

TEST_F(RunLoopTest, PostedBlocksComeFirstAndEqualDueTimesKeepSchedulingOrder)
{
    std::vector<std::string> order;
    loop.schedule(0.5, false, [&](Timer&) { order.push_back("timer A"); });
    loop.performAfter(0.5, [&] { order.push_back("perform B"); });
    loop.schedule(0.5, false, [&](Timer&) { order.push_back("timer C"); });
    loop.schedule(0.2, false, [&](Timer&) { order.push_back("timer early"); });
    for (int i = 1; i <= 3; ++i)
        loop.post([&, i] { order.push_back("block " + std::to_string(i)); });
    test::TestEnvironment::clock().advance(0.5);
    loop.runOnce();
    EXPECT_EQ(order, (std::vector<std::string> { "block 1", "block 2", "block 3", "timer early", "timer A",
                         "perform B", "timer C" }));

    // Bad delays count as 0; a negative interval makes a timer due at once.
    int ran = 0;
    loop.performAfter(-3, [&] { ++ran; });
    loop.performAfter(std::nan(""), [&] { ++ran; });
    loop.schedule(-1, false, [&](Timer&) { ++ran; });
    loop.runOnce();
    EXPECT_EQ(ran, 3);
}

TEST_F(RunLoopTest, TimersFireOnTheManualClock)
{
    int fired = 0;
    auto once = loop.schedule(0.3, false, [&](Timer&) { ++fired; });
    loop.advance(0.29);
    EXPECT_EQ(fired, 0);
    loop.advance(0.01);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(once->isValid());

    // A repeating timer fires at each step of an advance and sees the clock there.
    start = Date::now();
    std::vector<double> seen;
    auto ticker = loop.schedule(1.0, true, [&](Timer&) { seen.push_back(secondsSinceStart()); });
    loop.advance(3.0);
    EXPECT_EQ(seen, (std::vector<double> { 1.0, 2.0, 3.0 }));

    // One that fell behind fires once and keeps its phase.
    test::TestEnvironment::clock().advance(3.5);
    loop.runOnce();
    loop.runOnce();
    EXPECT_EQ(seen.size(), 4u);
    loop.advance(0.49);
    EXPECT_EQ(seen.size(), 4u);
    loop.advance(0.01);
    EXPECT_EQ(seen.back(), 7.0);
    ticker->invalidate();
    loop.advance(5);
    EXPECT_EQ(seen.size(), 5u);

    // Invalidating inside its own callback stops it.
    int beats = 0;
    auto stopper = loop.schedule(1.0, true, [&](Timer& timer) {
        if (++beats == 2)
            timer.invalidate();
    });
    loop.advance(5.0);
    EXPECT_EQ(beats, 2);
    EXPECT_FALSE(stopper->isValid());
}

TEST_F(RunLoopTest, CancellingMostTimersKeepsTheRestInOrder)
{
    // Enough cancelled entries to make the heap sweep itself several times.
    std::vector<int> fired;
    std::vector<std::shared_ptr<Timer>> timers;
    for (int i = 0; i < 3000; ++i)
        timers.push_back(loop.schedule(0.001 * (3000 - i), false, [&fired, i](Timer&) { fired.push_back(i); }));
    for (int i = 0; i < 3000; ++i) {
        if (i % 10 != 0)
            timers[i]->invalidate();
    }
    loop.advance(10);
    std::vector<int> expected;
    for (int i = 2990; i >= 0; i -= 10)
        expected.push_back(i);
    EXPECT_EQ(fired, expected);
}

TEST_F(RunLoopTest, WorkScheduledDuringAnAdvanceRunsWithinIt)
{
    std::vector<double> events;
    loop.schedule(0.5, false, [&](Timer&) {
        events.push_back(secondsSinceStart());
        // A memory-warning retry: try again 0.1 s later.
        loop.performAfter(0.1, [&] { events.push_back(secondsSinceStart()); });
    });
    loop.advance(1.0);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_DOUBLE_EQ(events[0], 0.5);
    EXPECT_DOUBLE_EQ(events[1], 0.6);
    EXPECT_DOUBLE_EQ(secondsSinceStart(), 1.0);
}

TEST_F(RunLoopTest, CancellingPerformsDebouncesABurst)
{
    auto folder = std::make_shared<Folder>();
    std::vector<std::pair<std::string, double>> rebuilds;
    auto request = [&](const std::string& argument) {
        PerformKey key { folder, "updateModelAndView", argument };
        loop.cancelPerforms(key);
        loop.performAfter(0.4, [&, argument] { rebuilds.emplace_back(argument, secondsSinceStart()); }, key);
    };
    for (int i = 0; i < 5; ++i) {
        request("a");
        loop.advance(0.1);
    }
    EXPECT_TRUE(rebuilds.empty());
    loop.advance(0.29);
    EXPECT_TRUE(rebuilds.empty());
    loop.advance(0.01);
    ASSERT_EQ(rebuilds.size(), 1u);
    EXPECT_DOUBLE_EQ(rebuilds[0].second, 0.8);

    // The argument is part of the key: cancelling "a" spares "b".
    rebuilds.clear();
    request("a");
    request("b");
    loop.cancelPerforms(PerformKey { folder, "updateModelAndView", "a" });
    loop.advance(0.4);
    ASSERT_EQ(rebuilds.size(), 1u);
    EXPECT_EQ(rebuilds[0].first, "b");

    // A pending perform holds its target until it is cancelled.
    request("c");
    std::weak_ptr<Folder> weak = folder;
    auto* address = folder.get();
    folder.reset();
    EXPECT_FALSE(weak.expired());
    loop.cancelPerforms(address);
    EXPECT_TRUE(weak.expired());
    loop.advance(1);
    EXPECT_EQ(rebuilds.size(), 1u);
}

TEST_F(RunLoopTest, DescriptorSourcesReportReadinessInterestAndHangUp)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::vector<unsigned> seen;
    ssize_t lastRead = -1;
    auto source = loop.addSource(fds[0], DescriptorSource::Read, [&](DescriptorSource& s, unsigned events) {
        seen.push_back(events);
        if (events & DescriptorSource::Read) {
            char byte;
            lastRead = read(s.fd(), &byte, 1);
        }
    });
    EXPECT_FALSE(loop.runOnce());

    // A byte from a worker wakes the waiting loop.
    core::Thread::detach("writer", [peer = fds[1]] { EXPECT_EQ(write(peer, "x", 1), 1); });
    EXPECT_TRUE(loop.runUntil([&] { return !seen.empty(); }, 5.0));
    EXPECT_EQ(seen, (std::vector<unsigned> { DescriptorSource::Read }));
    EXPECT_EQ(lastRead, 1);

    seen.clear();
    source->setInterest(DescriptorSource::Write);
    loop.runOnce();
    EXPECT_EQ(seen, (std::vector<unsigned> { DescriptorSource::Write }));

    seen.clear();
    source->setInterest(DescriptorSource::Read);
    close(fds[1]);
    loop.runOnce();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0] & DescriptorSource::HangUp);
    EXPECT_EQ(lastRead, 0);
    source->remove();
    seen.clear();
    loop.runOnce();
    EXPECT_TRUE(seen.empty());
    close(fds[0]);

    // Of two sources ready in one pass, the one removed by the other's
    // callback is not called.
    int a[2], b[2];
    ASSERT_EQ(pipe(a), 0);
    ASSERT_EQ(pipe(b), 0);
    std::shared_ptr<DescriptorSource> first, second;
    int calls = 0;
    first = loop.addSource(a[0], DescriptorSource::Read, [&](DescriptorSource&, unsigned) {
        ++calls;
        second->remove();
    });
    second = loop.addSource(b[0], DescriptorSource::Read, [&](DescriptorSource&, unsigned) {
        ++calls;
        first->remove();
    });
    EXPECT_EQ(write(a[1], "x", 1), 1);
    EXPECT_EQ(write(b[1], "x", 1), 1);
    loop.runOnce();
    EXPECT_EQ(calls, 1);
    EXPECT_NE(first->isActive(), second->isActive());
    for (int fd : { a[0], a[1], b[0], b[1] })
        close(fd);
    EXPECT_TRUE(core::Thread::waitForAll(5));
}

TEST_F(RunLoopTest, ADescriptorClosedWhileWatchedIsReportedOnceAndDropped)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<unsigned> seen;
    auto source = loop.addSource(fds[0], DescriptorSource::Read, [&](DescriptorSource&, unsigned events) {
        seen.push_back(events);
    });
    close(fds[0]);
    loop.runOnce();
    loop.runOnce();
    EXPECT_EQ(seen, (std::vector<unsigned> { DescriptorSource::Error }));
    EXPECT_FALSE(source->isActive());
    EXPECT_TRUE(logContains("was closed while its run loop source was registered"));
    close(fds[1]);

    EXPECT_THROW(loop.addSource(-1, DescriptorSource::Read, [](DescriptorSource&, unsigned) { }), core::Exception);
}

TEST_F(RunLoopTest, ModesChooseWhatRuns)
{
    std::vector<std::string> fired;
    loop.schedule(0.1, false, [&](Timer&) { fired.push_back("default"); });
    loop.schedule(0.1, false, [&](Timer&) { fired.push_back("common"); }, RunLoop::CommonModes);
    loop.schedule(0.1, false, [&](Timer&) { fired.push_back("modal"); }, "modal");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto source = loop.addSource(fds[0], DescriptorSource::Read, [&](DescriptorSource& s, unsigned) {
        char byte;
        EXPECT_EQ(read(s.fd(), &byte, 1), 1);
        fired.push_back("source");
    });
    EXPECT_EQ(write(fds[1], "x", 1), 1);
    loop.post([&] { fired.push_back("posted"); });
    test::TestEnvironment::clock().advance(0.2);

    loop.runOnce("modal");
    EXPECT_EQ(fired, (std::vector<std::string> { "posted", "common", "modal" }));
    EXPECT_FALSE(loop.runOnce("modal"));
    fired.clear();
    loop.runOnce();
    EXPECT_EQ(fired, (std::vector<std::string> { "default", "source" }));
    source->remove();
    close(fds[0]);
    close(fds[1]);
}

TEST_F(RunLoopTest, WorkersHandBlocksToTheMainThreadInOrder)
{
    constexpr int Workers = 3;
    constexpr int Blocks = 1000;
    std::vector<std::vector<int>> received(Workers);
    int total = 0;
    bool offMain = false;
    for (int w = 0; w < Workers; ++w) {
        core::Thread::detach("sender " + std::to_string(w), [&, w] {
            for (int n = 0; n < Blocks; ++n) {
                core::performOnMainThread([&, w, n] {
                    offMain = offMain || !core::Thread::isMainThread();
                    received[w].push_back(n);
                    ++total;
                });
            }
        });
    }
    ASSERT_TRUE(loop.runUntil([&] { return total == Workers * Blocks; }, 30.0));
    EXPECT_FALSE(offMain);
    for (int w = 0; w < Workers; ++w) {
        ASSERT_EQ(received[w].size(), size_t(Blocks));
        for (int n = 0; n < Blocks; ++n)
            ASSERT_EQ(received[w][n], n) << "worker " << w;
    }
    EXPECT_TRUE(core::Thread::waitForAll(5));

    // AndWait returns after its block ran; on the main thread it runs inline.
    std::atomic<bool> ran { false }, sawRun { false }, returned { false };
    core::Thread::detach("waiter", [&] {
        core::performOnMainThreadAndWait([&] { ran = true; });
        sawRun = ran.load();
        returned = true;
    });
    EXPECT_TRUE(loop.runUntil([&] { return returned.load(); }, 5.0));
    EXPECT_TRUE(sawRun);
    bool inline_ = false;
    core::performOnMainThreadAndWait([&] { inline_ = true; });
    EXPECT_TRUE(inline_);
    EXPECT_TRUE(core::Thread::waitForAll(5));
}

TEST_F(RunLoopTest, ObjectsDroppedInsideACallbackLiveToTheEndOfThePass)
{
    std::atomic<bool> alive { true };
    auto object = std::make_shared<Tracked>(&alive);
    bool aliveLater = false;
    loop.post([&] {
        loop.keepAliveUntilEndOfPass(object);
        object.reset();
    });
    loop.post([&] { aliveLater = alive; });
    loop.runOnce();
    EXPECT_TRUE(aliveLater);
    EXPECT_FALSE(alive);

    // A perform keeps its target to the end of the pass in which it ran.
    alive = true;
    auto target = std::make_shared<Tracked>(&alive);
    std::weak_ptr<Tracked> weak = target;
    loop.performAfter(0, [&] { target.reset(); }, PerformKey { target, "release", {} });
    loop.performAfter(0, [&] { aliveLater = !weak.expired(); });
    loop.runOnce();
    EXPECT_TRUE(aliveLater);
    EXPECT_FALSE(alive);
}

TEST_F(RunLoopTest, OwnerBoundCallsRunOnlyWhileTheirOwnerLives)
{
    struct Owner {
        std::string name;
        std::vector<std::string>* log;
        void called(const char* how) { log->push_back(name + " " + how); }
    };
    std::vector<std::string> log;
    auto kept = std::make_shared<Owner>(Owner { "kept", &log });
    auto dropped = std::make_shared<Owner>(Owner { "dropped", &log });
    for (auto& owner : { kept, dropped }) {
        loop.performAfter(owner, 1, [](Owner& o) { o.called("perform"); });
        loop.post(owner, [](Owner& o) { o.called("post"); });
        loop.schedule(owner, 2, false, [](Owner& o, Timer&) { o.called("timer"); });
    }
    // A worker hands the owner over held or weakly.
    core::Thread::detach("sender", [kept, weak = std::weak_ptr<Owner>(dropped)] {
        core::performOnMainThread(kept, [](Owner& o) { o.called("main"); });
        core::performOnMainThread(weak, [](Owner& o) { o.called("main"); });
    });
    EXPECT_TRUE(core::Thread::waitForAll(5));
    std::weak_ptr<Owner> weak = dropped;
    dropped.reset();
    EXPECT_TRUE(weak.expired());
    loop.advance(3);
    EXPECT_EQ(log, (std::vector<std::string> { "kept post", "kept main", "kept perform", "kept timer" }));
}

TEST_F(RunLoopTest, RunEndsOnStopFromAWorkerAndOnASignalHandler)
{
    core::Thread::detach("stopper", [&] { loop.stop(); });
    loop.run();
    EXPECT_TRUE(core::Thread::waitForAll(5));

    bool handled = false;
    loop.setSignalHandler(SIGTERM, [&] {
        handled = true;
        loop.stop();
    });
    ASSERT_EQ(pthread_kill(pthread_self(), SIGTERM), 0);
    loop.run();
    EXPECT_TRUE(handled);
    loop.setSignalHandler(SIGTERM, nullptr);
}

TEST_F(RunLoopTest, AWorkerRunsItsOwnLoopOnTheRealClockUntilCancelled)
{
    std::atomic<int> ticks { 0 };
    std::atomic<bool> sawCancel { false };
    auto worker = core::Thread::detach("ticker", [&] {
        auto& own = RunLoop::current();
        EXPECT_NE(&own, &RunLoop::main());
        EXPECT_EQ(core::Thread::current()->name(), "ticker");
        EXPECT_FALSE(core::Thread::isMainThread());
        own.setClock(core::SystemClock::shared());
        auto timer = own.schedule(0.01, true, [&](Timer&) { ++ticks; });
        while (!core::Thread::current()->isCancelled())
            own.runOnce(RunLoop::DefaultMode, RunLoop::Forever);
        timer->invalidate();
        sawCancel = true;
    });
    EXPECT_EQ(worker->name(), "ticker");
    EXPECT_TRUE(loop.runUntil([&] { return ticks >= 3; }, 10.0));
    worker->cancel();
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(worker->isFinished());
}

TEST_F(RunLoopTest, MisuseAndFailuresAreContained)
{
    // An exception escaping a callback is logged and the loop goes on.
    bool after = false;
    loop.post([] { throw core::Exception("VKTestException", "thrown on purpose"); });
    loop.post([&] { after = true; });
    loop.runOnce();
    EXPECT_TRUE(after);
    EXPECT_TRUE(logContains("VKTestException: thrown on purpose"));
    EXPECT_EQ(test::TestEnvironment::takeEscapedExceptions(),
        (std::vector<std::string> { "VKTestException: thrown on purpose" }));

    // A nested pass of the same loop is refused.
    bool refused = false;
    loop.post([&] {
        try {
            loop.runOnce();
        } catch (const core::Exception& e) {
            refused = e.name() == core::Exception::InternalInconsistency;
        }
    });
    loop.runOnce();
    EXPECT_TRUE(refused);

    // Timers and performs belong to the loop's thread; posting to a loop
    // whose thread has ended is dropped with a log line.
    std::shared_ptr<RunLoop> ended;
    std::atomic<bool> offThreadRefused { false };
    core::Thread::detach("short-lived", [&] {
        ended = RunLoop::current().shared_from_this();
        try {
            RunLoop::main().performAfter(1, [] { });
        } catch (const core::Exception&) {
            offThreadRefused = true;
        }
    });
    ASSERT_TRUE(core::Thread::waitForAll(5));
    EXPECT_TRUE(offThreadRefused);
    bool ranOnEnded = false;
    ended->post([&] { ranOnEnded = true; });
    EXPECT_FALSE(ranOnEnded);
    EXPECT_TRUE(logContains("dropped a block posted to the run loop of a thread that has ended"));
}

TEST_F(RunLoopTest, ATestLeavingAThreadRunningFails)
{
    std::latch release(1);
    core::Thread::detach("lingering", [&] { release.wait(); });
    EXPECT_NONFATAL_FAILURE(test::TestEnvironment::expectNoThreadsRunning(0.05), "\"lingering\"");
    release.count_down();
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_TRUE(core::Thread::isMainThread());
}

} // namespace
