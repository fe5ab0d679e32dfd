#include "Platform/Core/Clock.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/SystemClock.h"

#include "Support/TestCase.h"
#include "Support/TestEnvironment.h"

#include <cmath>

using core::Date;

namespace {

class ClockTest : public test::TestCase { };

TEST_F(ClockTest, TheManualClockStepsDatesAndMonotonicTimeTogether)
{
    auto& clock = test::TestEnvironment::clock();
    EXPECT_EQ(Date::now().description(), "2011-06-01 12:00:00 +0000");
    int64_t monotonic = clock.monotonicNanoseconds();

    clock.advance(1.5);
    EXPECT_EQ(Date::now(), core::ManualClock::StartDate.addingTimeInterval(1.5));
    EXPECT_EQ(clock.monotonicNanoseconds(), monotonic + 1500000000);

    // Time never runs backwards; small steps add up exactly.
    clock.advance(-4);
    clock.advance(std::nan(""));
    clock.advance(0.29);
    clock.advance(0.01);
    EXPECT_EQ(clock.monotonicNanoseconds(), monotonic + 1800000000);

    // Setting the date moves the wall only.
    clock.setNow(Date(0));
    EXPECT_EQ(Date::now(), Date(0));
    EXPECT_EQ(clock.monotonicNanoseconds(), monotonic + 1800000000);
    clock.advance(2);
    EXPECT_EQ(Date::now(), Date(2));
}

TEST_F(ClockTest, DateNowFollowsTheInstalledClock)
{
    auto manual = core::Clock::current();
    EXPECT_TRUE(manual->isManual());
    core::Clock::setCurrent(nullptr);
    EXPECT_EQ(core::Clock::current(), core::SystemClock::shared());
    EXPECT_NEAR(Date::now().timeIntervalSince1970(), static_cast<double>(time(nullptr)), 5.0);
    int64_t a = core::Clock::current()->monotonicNanoseconds();
    EXPECT_GE(core::Clock::current()->monotonicNanoseconds(), a);
    core::Clock::setCurrent(manual);
    EXPECT_EQ(Date::now(), core::ManualClock::StartDate);
}

} // namespace
