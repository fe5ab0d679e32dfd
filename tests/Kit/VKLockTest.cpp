#include "Kit/RALatchTrigger.h"
#include "Kit/VKLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

bool tryLockFromAnotherThread(VKLock& lock)
{
    bool taken = false;
    std::thread([&] {
        taken = lock.tryLock();
        if (taken)
            lock.unlock();
    }).join();
    return taken;
}

TEST(VKLockTest, RecursiveLockHoldsUntilEveryUnlock)
{
    VKRecursiveLock lock;
    lock.lock();
    EXPECT_TRUE(lock.tryLock());
    EXPECT_FALSE(tryLockFromAnotherThread(lock));
    lock.unlock();
    EXPECT_FALSE(tryLockFromAnotherThread(lock));
    lock.unlock();
    EXPECT_TRUE(tryLockFromAnotherThread(lock));
}

TEST(VKLockTest, PlainLockGuardsAcrossThreads)
{
    VKLock lock;
    {
        std::lock_guard guard(lock);
        EXPECT_FALSE(tryLockFromAnotherThread(lock));
    }
    EXPECT_TRUE(tryLockFromAnotherThread(lock));

    int counter = 0;
    auto add = [&] {
        for (int i = 0; i < 10000; ++i) {
            std::lock_guard guard(lock);
            ++counter;
        }
    };
    std::thread a(add), b(add);
    a.join();
    b.join();
    EXPECT_EQ(counter, 20000);
}

TEST(RALatchTriggerTest, SignalsCoalesceAndWakeAWaiter)
{
    RALatchTrigger latch;
    latch.signal();
    latch.signal();
    latch.wait();

    // The two signals were one: the next waiter sleeps until a new one.
    std::atomic<bool> woke = false;
    std::thread waiter([&] {
        latch.wait();
        woke = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(woke);
    latch.signal();
    waiter.join();
    EXPECT_TRUE(woke);
}

} // namespace
