#include "Platform/Core/Assert.h"

#include "Support/TestCase.h"

#include <thread>

namespace {

class AssertTest : public test::TestCase { };

TEST_F(AssertTest, ABrokenInvariantAndMainThreadCodeOnAWorkerEndTheCheckedProgram)
{
    int evaluated = 0;
    TANDRY_ASSERT(++evaluated == 1);
    core::assertIsMainThread();
#ifdef NDEBUG
    EXPECT_EQ(evaluated, 0);
#else
    EXPECT_EQ(evaluated, 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(TANDRY_ASSERT(evaluated == 2), "assertion failed: evaluated == 2 \\(.*AssertTest.cpp:");
    EXPECT_DEATH(std::thread([] { core::assertIsMainThread(); }).join(), "assertion failed: on the main thread");
#endif
}

} // namespace
