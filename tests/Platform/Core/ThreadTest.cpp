#include "Platform/Core/Thread.h"

#include "Platform/Core/Object.h"

#include "Support/TestCase.h"

#include <atomic>
#include <gtest/gtest.h>

namespace {

class ThreadTest : public test::TestCase { };

// What a thread keeps for itself is let go when its body returns, before
// waitForAll() sees it finished, so nothing of it outlives the wait.
TEST_F(ThreadTest, DictionaryGoesBeforeTheThreadCountsAsFinished)
{
    struct Kept : core::Object {
        explicit Kept(std::atomic<bool>& flag) : released(flag) { }
        ~Kept() override { released = true; }
        std::atomic<bool>& released;
    };
    std::atomic<bool> released { false };
    std::atomic<bool> sawOwnValue { false };
    core::Thread::detach("keeper", [&] {
        auto& dictionary = core::Thread::current()->threadDictionary();
        dictionary["kept"] = core::Value(std::make_shared<Kept>(released));
        sawOwnValue = core::Thread::current()->threadDictionary().count("kept") == 1;
    });
    ASSERT_TRUE(core::Thread::waitForAll(10));
    EXPECT_TRUE(sawOwnValue);
    EXPECT_TRUE(released);
    EXPECT_TRUE(core::Thread::current()->threadDictionary().empty());

    // The same for one thread waited for by itself: off the registry too.
    std::atomic<bool> releasedAgain { false };
    auto thread = core::Thread::detach("keeper", [&] {
        core::Thread::current()->threadDictionary()["kept"] = core::Value(std::make_shared<Kept>(releasedAgain));
    });
    thread->waitUntilFinished();
    EXPECT_TRUE(releasedAgain);
    EXPECT_TRUE(core::Thread::runningThreadNames().empty());
}

} // namespace
