#include "Platform/Core/GLibMainContextBridge.h"
#include "Platform/Core/RunLoop.h"

#include "Support/TestCase.h"

#include <glib.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>
#include <utility>

using core::RunLoop;

namespace {

using Seconds = std::chrono::duration<double>;

double since(std::chrono::steady_clock::time_point start)
{
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

class GLibMainContextBridgeTest : public test::TestCase {
protected:
    RunLoop& loop = RunLoop::main();
};

TEST_F(GLibMainContextBridgeTest, PassObserversShortenTheWaitAndRunAroundItInEveryMode)
{
    std::vector<std::string> calls;
    std::vector<double> offered;
    RunLoop::PassObserver observer;
    observer.beforeWaiting = [&](double wait) {
        offered.push_back(wait);
        calls.push_back("before");
        return 0.05;
    };
    observer.afterWaiting = [&] {
        calls.push_back("after");
        if (calls.size() == 2)
            loop.post([&] { calls.push_back("posted by after"); });
    };
    auto token = loop.addPassObserver(observer);

    auto start = std::chrono::steady_clock::now();
    loop.runOnce(RunLoop::DefaultMode, 5.0);
    EXPECT_LT(since(start), 1.0);
    EXPECT_EQ(offered.at(0), 5.0);
    // What the observer posted after the wait belongs to a later pass.
    EXPECT_EQ(calls, (std::vector<std::string> { "before", "after" }));
    loop.runOnce("modal", 0);
    EXPECT_EQ(calls, (std::vector<std::string> { "before", "after", "before", "after", "posted by after" }));
    EXPECT_EQ(offered.at(1), 0.0) << "posted work waits for nothing";

    // The test environment's reset keeps observers; the token ends them.
    loop.resetForTesting();
    loop.runOnce(RunLoop::DefaultMode, 0);
    EXPECT_EQ(calls.size(), 7u);
    token.reset();
    loop.runOnce(RunLoop::DefaultMode, 0);
    EXPECT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls.back(), "after");
}

TEST_F(GLibMainContextBridgeTest, AGLibTimeoutFiresOnTimeUnderTheTestPump)
{
    core::GLibMainContextBridge::install();
    core::GLibMainContextBridge::install();
    std::atomic<bool> fired { false };
    auto start = std::chrono::steady_clock::now();
    g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            static_cast<std::atomic<bool>*>(data)->store(true);
            return G_SOURCE_REMOVE;
        },
        &fired);
    ASSERT_TRUE(loop.runUntil([&] { return fired.load(); }, 2.0));
    double elapsed = since(start);
    EXPECT_GE(elapsed, 0.05);
    EXPECT_LT(elapsed, 0.15);
}

TEST_F(GLibMainContextBridgeTest, AnIdleContextCostsNoPass)
{
    core::GLibMainContextBridge::install();
    loop.runUntilIdle();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        loop.stop();
    });
    uint64_t before = loop.passCountForTesting();
    loop.run();
    stopper.join();
    // The stop's own wake-up is the one pass.
    EXPECT_LE(loop.passCountForTesting() - before, 2u);
}

TEST_F(GLibMainContextBridgeTest, DescriptorsAndWakeUpsOfOtherThreadsReachTheContext)
{
    core::GLibMainContextBridge::install();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    struct Seen {
        std::string read;
        bool idle = false;
    } seen;
    GIOChannel* channel = g_io_channel_unix_new(fds[0]);
    guint watch = g_io_add_watch(
        channel, G_IO_IN,
        [](GIOChannel* source, GIOCondition, gpointer data) -> gboolean {
            char buffer[16];
            ssize_t n = read(g_io_channel_unix_get_fd(source), buffer, sizeof buffer);
            static_cast<Seen*>(data)->read.append(buffer, size_t(std::max<ssize_t>(n, 0)));
            return G_SOURCE_CONTINUE;
        },
        &seen);
    loop.runOnce(RunLoop::DefaultMode, 0);
    int watchedWithPipe = core::GLibMainContextBridge::watchedDescriptorCountForTesting();

    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(fds[1], "hi", 2), 2);
    });
    ASSERT_TRUE(loop.runUntil([&] { return seen.read == "hi"; }, 2.0));
    writer.join();

    // A source added from another thread wakes a loop that waits for ever.
    std::thread adder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        g_idle_add(
            [](gpointer data) -> gboolean {
                static_cast<Seen*>(data)->idle = true;
                return G_SOURCE_REMOVE;
            },
            &seen);
    });
    auto start = std::chrono::steady_clock::now();
    while (!seen.idle && since(start) < 2.0)
        loop.runOnce(RunLoop::DefaultMode, RunLoop::Forever);
    adder.join();
    EXPECT_TRUE(seen.idle);

    // A descriptor the context gives up leaves the loop too.
    g_source_remove(watch);
    g_io_channel_unref(channel);
    loop.runOnce(RunLoop::DefaultMode, 0);
    loop.runOnce(RunLoop::DefaultMode, 0);
    EXPECT_EQ(core::GLibMainContextBridge::watchedDescriptorCountForTesting(), watchedWithPipe - 1);
    close(fds[0]);
    close(fds[1]);
}

} // namespace

// GLib may close a descriptor and open another under the same number
// between two passes (a connection ending as the next begins): the new
// one wakes the loop as the old one did.
TEST_F(GLibMainContextBridgeTest, ADescriptorNumberReusedBetweenPassesIsWatchedAnew)
{
    core::GLibMainContextBridge::install();
    auto readInto = [](GIOChannel* source, GIOCondition, gpointer data) -> gboolean {
        char buffer[16];
        ssize_t n = read(g_io_channel_unix_get_fd(source), buffer, sizeof buffer);
        static_cast<std::string*>(data)->append(buffer, size_t(std::max<ssize_t>(n, 0)));
        return G_SOURCE_CONTINUE;
    };
    int first[2];
    ASSERT_EQ(pipe(first), 0);
    std::string read;
    GIOChannel* channel = g_io_channel_unix_new(first[0]);
    guint watch = g_io_add_watch(channel, G_IO_IN, readInto, &read);
    loop.runOnce(RunLoop::DefaultMode, 0);

    // Within one pass: the old pipe goes, a new one takes its number.
    g_source_remove(watch);
    g_io_channel_unref(channel);
    int number = first[0];
    close(first[0]);
    close(first[1]);
    int second[2];
    ASSERT_EQ(pipe(second), 0);
    if (second[0] != number) {
        ASSERT_EQ(dup2(second[0], number), number);
        close(second[0]);
    }
    channel = g_io_channel_unix_new(number);
    watch = g_io_add_watch(channel, G_IO_IN, readInto, &read);
    loop.runOnce(RunLoop::DefaultMode, 0);

    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(second[1], "hi", 2), 2);
    });
    auto start = std::chrono::steady_clock::now();
    while (read.empty() && since(start) < 5.0)
        loop.runOnce(RunLoop::DefaultMode, 3.0);
    writer.join();
    EXPECT_EQ(read, "hi");
    // Woken by the write, not by the pass's time running out.
    EXPECT_LT(since(start), 2.0);

    g_source_remove(watch);
    g_io_channel_unref(channel);
    close(number);
    close(second[1]);
}

namespace {

// A source whose input waits in a queue of its own, as X events do in Xlib's
// once a round trip has read them off the connection: only its prepare sees
// them, the descriptor wakes no one.
struct QueuedSource {
    GSource base;
    int* queued;
    int* dispatched;
};

GSourceFuncs queuedSourceFuncs = {
    [](GSource* source, gint* timeout) -> gboolean {
        *timeout = -1;
        return *reinterpret_cast<QueuedSource*>(source)->queued > 0;
    },
    [](GSource* source) -> gboolean { return *reinterpret_cast<QueuedSource*>(source)->queued > 0; },
    [](GSource* source, GSourceFunc, gpointer) -> gboolean {
        auto* queue = reinterpret_cast<QueuedSource*>(source);
        *queue->dispatched += std::exchange(*queue->queued, 0);
        return G_SOURCE_CONTINUE;
    },
    nullptr, nullptr, nullptr,
};

} // namespace

TEST_F(GLibMainContextBridgeTest, InputQueuedByAnotherObserverIsDispatchedWithoutWaiting)
{
    core::GLibMainContextBridge::install();
    int queued = 0;
    int dispatched = 0;
    GSource* source = g_source_new(&queuedSourceFuncs, sizeof(QueuedSource));
    reinterpret_cast<QueuedSource*>(source)->queued = &queued;
    reinterpret_cast<QueuedSource*>(source)->dispatched = &dispatched;
    g_source_attach(source, nullptr);
    loop.runUntilIdle();

    // Observers added after GLib's still run before its prepare.
    int passes = 0;
    RunLoop::PassObserver observer;
    observer.beforeWaiting = [&](double wait) {
        if (passes++ == 0)
            queued = 2;
        return wait;
    };
    auto token = loop.addPassObserver(observer);
    auto start = std::chrono::steady_clock::now();
    loop.runOnce(RunLoop::DefaultMode, 10.0);
    EXPECT_EQ(dispatched, 2);
    EXPECT_LT(since(start), 5.0) << "the pass waited with input queued";

    token.reset();
    g_source_destroy(source);
    g_source_unref(source);
}
