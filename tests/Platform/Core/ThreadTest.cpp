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
}

} // namespace
