#include "Kit/VKImageOperationQueue.h"

#include "Platform/Core/Thread.h"
#include "Support/TestCase.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class Count : public VKOperation {
public:
    explicit Count(std::atomic<int>& count) : m_count(count) { }
    void run() override { ++m_count; }

private:
    std::atomic<int>& m_count;
};

class VKImageOperationQueueTest : public test::TestCase {
protected:
    void TearDown() override
    {
        VKImageOperationQueue::resetSharedQueue();
        test::TestCase::TearDown();
    }
};

TEST_F(VKImageOperationQueueTest, OneSharedNewestFirstQueue)
{
    auto queue = VKImageOperationQueue::sharedQueue();
    ASSERT_TRUE(queue);
    EXPECT_TRUE(queue->isPopBack());
    // Racing first users get the same queue.
    std::shared_ptr<VKImageOperationQueue> other;
    std::thread([&] { other = VKImageOperationQueue::sharedQueue(); }).join();
    EXPECT_EQ(other, queue);

    std::atomic<int> count { 0 };
    for (int i = 0; i < 3; ++i)
        queue->addOperation(std::make_shared<Count>(count));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (count < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(count, 3);

    // Once dropped, its worker ends and a new queue takes its place.
    other.reset();
    queue.reset();
    VKImageOperationQueue::resetSharedQueue();
    EXPECT_TRUE(core::Thread::waitForAll(5));
    EXPECT_NE(VKImageOperationQueue::sharedQueue(), nullptr);
}

} // namespace
