#include "Kit/ObjectAdditions.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/TestCase.h"

#include <atomic>
#include <fmt/format.h>

namespace {

class A : public core::Object {
public:
    void add(int value)
    {
        values.push_back(value);
        onMainThread = onMainThread && core::RunLoop::main().isCurrent();
    }
    std::vector<int> values;
    bool onMainThread = true;
};

using ObjectAdditionsTest = test::TestCase;

TEST_F(ObjectAdditionsTest, MainThreadProxyRunsAtOnceOnTheMainThread)
{
    auto target = std::make_shared<A>();
    vkProxyForMainThread(target).send([](A& a) { a.add(1); });
    EXPECT_EQ(target->values, std::vector<int> { 1 });
}

TEST_F(ObjectAdditionsTest, MainThreadProxyHandsWorkerCallsOverInOrder)
{
    auto target = std::make_shared<A>();
    std::weak_ptr<A> weak = target;
    std::atomic<bool> workerDone = false;
    core::Thread::detach("sender", [target = std::move(target), &workerDone]() mutable {
        auto proxy = vkProxyForMainThread(std::move(target));
        for (int i = 0; i < 100; ++i)
            proxy.send([i](A& a) { a.add(i); });
        workerDone = true;
    });
    ASSERT_TRUE(core::Thread::waitForAll(20));
    EXPECT_TRUE(workerDone);
    // The worker moved on and let go of the target; the queued calls keep it.
    auto kept = weak.lock();
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->values.empty());

    core::RunLoop::main().runUntilIdle();
    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i)
        expected[i] = i;
    EXPECT_EQ(kept->values, expected);
    EXPECT_TRUE(kept->onMainThread);
    kept.reset();
    EXPECT_TRUE(weak.expired());
}

TEST_F(ObjectAdditionsTest, PerformOnNextRunLoopRunWaitsForTheNextPass)
{
    auto target = std::make_shared<A>();
    auto& loop = core::RunLoop::main();
    loop.post([&] {
        vkPerformSelectorOnNextRunLoopRun(target, [](A& a) { a.add(2); });
        target->add(1);
    });
    loop.runOnce();
    EXPECT_EQ(target->values, std::vector<int> { 1 });
    loop.runOnce();
    EXPECT_EQ(target->values, (std::vector<int> { 1, 2 }));

    // On a worker the call runs on the worker's own loop.
    auto other = std::make_shared<A>();
    std::atomic<bool> ranOnWorker = false;
    core::Thread::detach("performer", [other, &ranOnWorker] {
        vkPerformSelectorOnNextRunLoopRun(other, [&ranOnWorker](A&) { ranOnWorker = !core::RunLoop::main().isCurrent(); });
        core::RunLoop::current().runOnce();
    });
    ASSERT_TRUE(core::Thread::waitForAll(20));
    EXPECT_TRUE(ranOnWorker);
}

TEST_F(ObjectAdditionsTest, Descriptions)
{
    A a;
    std::string address = fmt::format("{}", static_cast<const void*>(&a));
    ASSERT_EQ(address.rfind("0x", 0), 0u);
    EXPECT_EQ(address.find_first_not_of("0123456789abcdef", 2), std::string::npos);
    EXPECT_EQ(vkDescriptionWithDetail(a, "x"), "<A: " + address + "; x>");
    EXPECT_EQ(vkShortDescription(a), "<A: " + address + ">");
}

} // namespace
