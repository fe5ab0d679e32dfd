#include "Kit/VKOperationQueue.h"
#include "Kit/VKSelectorOperation.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Support/TestCase.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Records what the operations did, from any thread.
class Recorder : public core::Object {
public:
    void note(std::string event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    std::vector<std::string> events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    bool saw(const std::string& event) const
    {
        auto all = events();
        return std::find(all.begin(), all.end(), event) != all.end();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

// Holds operations until it is opened; stays open after.
class Gate {
public:
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_condition.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_condition.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_open = false;
};

class VKOperationQueueTest : public test::TestCase {
protected:
    void TearDown() override
    {
        for (auto& gate : gates)
            gate->open();
        test::TestCase::TearDown();
    }

    // Opens the current gate and puts up a new one for later operations.
    void openGate()
    {
        gates.back()->open();
        gates.push_back(std::make_shared<Gate>());
    }

    std::shared_ptr<VKSelectorOperation> note(std::string event, std::shared_ptr<core::Object> object = nullptr)
    {
        return VKSelectorOperation::create(recorder, "note:", std::move(object),
            [event](Recorder& target, const auto&) { target.note(event); });
    }

    // An operation that notes its start, holds its worker until the current
    // gate opens and then notes whether it was cancelled.
    std::shared_ptr<VKOperation> holding(std::string name)
    {
        class Holding : public VKOperation {
        public:
            Holding(std::shared_ptr<Recorder> recorder, std::shared_ptr<Gate> gate, std::string name)
                : m_recorder(std::move(recorder)), m_gate(std::move(gate)), m_name(std::move(name)) { }
            void run() override
            {
                m_recorder->note(m_name + " started");
                m_gate->wait();
                m_recorder->note(m_name + (isCancelled() ? " cancelled" : " finished"));
            }

        private:
            std::shared_ptr<Recorder> m_recorder;
            std::shared_ptr<Gate> m_gate;
            std::string m_name;
        };
        return std::make_shared<Holding>(recorder, gates.back(), std::move(name));
    }

    bool waitFor(const std::string& event)
    {
        return core::RunLoop::main().runUntil([&] { return recorder->saw(event); }, 20);
    }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::vector<std::shared_ptr<Gate>> gates { std::make_shared<Gate>() };
};

TEST_F(VKOperationQueueTest, EqualWaitingWorkIsReplacedAndMovesToTheNewestEnd)
{
    for (bool popBack : { true, false }) {
        auto queue = VKOperationQueue::create(1);
        queue->setPopBack(popBack);
        EXPECT_EQ(queue->isPopBack(), popBack);
        auto item = std::make_shared<core::Object>();
        queue->addOperation(holding("H"));
        ASSERT_TRUE(waitFor("H started"));
        queue->addOperation(note("A", item));
        queue->addOperation(note("B"));
        queue->addOperation(note("A'", item));
        openGate();
        ASSERT_TRUE(waitFor(popBack ? "B" : "A'"));
        auto expected = popBack ? std::vector<std::string> { "H started", "H finished", "A'", "B" }
                                : std::vector<std::string> { "H started", "H finished", "B", "A'" };
        EXPECT_EQ(recorder->events(), expected);
        recorder = std::make_shared<Recorder>();
    }
}

TEST_F(VKOperationQueueTest, SetOperationReplacesWaitingWorkAndFlagsTheRunningOne)
{
    auto queue = VKOperationQueue::create(1);
    queue->addOperation(holding("H"));
    ASSERT_TRUE(waitFor("H started"));
    queue->addOperation(note("A"));
    queue->addOperation(note("B"));
    queue->setOperation(nullptr);
    openGate();
    ASSERT_TRUE(waitFor("H cancelled"));
    queue->setOperation(note("X"));
    ASSERT_TRUE(waitFor("X"));
    EXPECT_EQ(recorder->events(), (std::vector<std::string> { "H started", "H cancelled", "X" }));

    // Emptying the list leaves the running operation alone.
    queue->addOperation(holding("I"));
    ASSERT_TRUE(waitFor("I started"));
    queue->addOperation(note("C"));
    queue->removeAllPendingOperations();
    openGate();
    queue->addOperation(note("Y"));
    ASSERT_TRUE(waitFor("Y"));
    EXPECT_TRUE(recorder->saw("I finished"));
    EXPECT_FALSE(recorder->saw("C"));

    try {
        queue->addOperation(nullptr);
        FAIL();
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "NSInvalidArgumentException");
    }
}

TEST_F(VKOperationQueueTest, DroppingTheQueueFinishesTheRunningWorkAndEndsTheWorkers)
{
    auto queue = VKOperationQueue::create(2);
    queue->addOperation(holding("H"));
    ASSERT_TRUE(waitFor("H started"));
    queue->addOperation(holding("G"));
    ASSERT_TRUE(waitFor("G started"));
    auto first = note("W1");
    std::weak_ptr<VKOperation> waiting = first;
    queue->addOperation(std::move(first));
    queue->addOperation(note("W2"));
    queue.reset();
    openGate();
    ASSERT_TRUE(waitFor("H finished"));
    ASSERT_TRUE(core::Thread::waitForAll(20));
    EXPECT_TRUE(recorder->saw("G finished"));
    EXPECT_FALSE(recorder->saw("W1"));
    EXPECT_FALSE(recorder->saw("W2"));
    EXPECT_TRUE(waiting.expired()) << "the waiting work is let go with the queue";

    auto idle = VKOperationQueue::create(0);
    idle->addOperation(note("never"));
    idle.reset();
    EXPECT_FALSE(recorder->saw("never"));
}

TEST_F(VKOperationQueueTest, AFailingOperationDoesNotEndItsWorker)
{
    class Throwing : public VKOperation {
    public:
        void run() override { throw core::Exception(core::Exception::NotImplemented, "no way to run"); }
    };
    auto queue = VKOperationQueue::create(1);
    queue->addOperation(std::make_shared<Throwing>());
    queue->addOperation(note("after"));
    ASSERT_TRUE(waitFor("after"));
    EXPECT_TRUE(logContains("Warning, operation raised: VKNotImplemented: no way to run"));
}

TEST_F(VKOperationQueueTest, ManyWorkersRunEachOperationOnce)
{
    constexpr int count = 10000;
    auto queue = VKOperationQueue::create(4);
    std::vector<std::atomic<int>> runs(count);
    std::atomic<int> total = 0;
    auto add = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            queue->addOperation(VKSelectorOperation::create(recorder, "count:", std::make_shared<core::Object>(),
                [&, i](Recorder&, const auto&) {
                    ++runs[i];
                    ++total;
                }));
        }
    };
    std::thread first(add, 0, count / 2), second(add, count / 2, count);
    first.join();
    second.join();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return total.load() == count; }, 60));
    queue.reset();
    ASSERT_TRUE(core::Thread::waitForAll(20));
    EXPECT_EQ(total.load(), count);
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const auto& n) { return n.load() == 1; }));
}

} // namespace
