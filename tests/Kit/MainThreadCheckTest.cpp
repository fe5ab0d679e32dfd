#include "Platform/Core/Thread.h"

#include <gtest/gtest.h>

TEST(MainThreadCheckTest, TheTestThreadIsTheMainThread)
{
    EXPECT_TRUE(core::Thread::isMainThread());
}
