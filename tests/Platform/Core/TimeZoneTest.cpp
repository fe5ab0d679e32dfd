#include "Platform/Core/TimeZone.h"

#include "Support/TestCase.h"

#include <cmath>
#include <cstdlib>

using core::Date;
using core::TimeZone;

namespace {

class TimeZoneTest : public test::TestCase { };

TEST_F(TimeZoneTest, NamedZonesKnowTheirOffsets)
{
    auto berlin = TimeZone::named("Europe/Berlin");
    ASSERT_TRUE(berlin);
    EXPECT_EQ(berlin->name(), "Europe/Berlin");
    Date winter = Date::fromUnixTime(1294216200); // 2011-01-05 08:30 UTC
    Date summer = Date::fromUnixTime(1309854600); // 2011-07-05 08:30 UTC
    EXPECT_EQ(berlin->secondsFromGMT(winter), 3600);
    EXPECT_EQ(berlin->secondsFromGMT(summer), 7200);
    EXPECT_FALSE(berlin->isDaylightSavingTime(winter));
    EXPECT_TRUE(berlin->isDaylightSavingTime(summer));
    EXPECT_EQ(TimeZone::utc().secondsFromGMT(summer), 0);
    EXPECT_EQ(berlin->secondsFromGMT(Date(std::nan(""))), 0);

    EXPECT_FALSE(TimeZone::named("Mars/Olympus_Mons"));
    EXPECT_FALSE(TimeZone::named(""));
    EXPECT_FALSE(TimeZone::named(std::string(10000, 'A')));

    auto india = TimeZone::forSecondsFromGMT(5 * 3600 + 30 * 60);
    ASSERT_TRUE(india);
    EXPECT_EQ(india->name(), "GMT+05:30");
    EXPECT_EQ(india->secondsFromGMT(winter), 19800);
    EXPECT_EQ(TimeZone::forSecondsFromGMT(-15)->secondsFromGMT(winter), -15);
    EXPECT_FALSE(TimeZone::forSecondsFromGMT(19 * 3600));
}

TEST_F(TimeZoneTest, DefaultZoneIsSetThroughTimeZoneNotTheEnvironment)
{
    EXPECT_EQ(TimeZone::defaultTimeZone(), TimeZone::utc());

    TimeZone::setDefaultTimeZone(*TimeZone::named("Asia/Tokyo"));
    EXPECT_EQ(TimeZone::defaultTimeZone().name(), "Asia/Tokyo");

    // The system zone follows $TZ only when asked to read it again.
    const char* saved = std::getenv("TZ");
    std::string savedValue = saved ? saved : "";
    setenv("TZ", "America/New_York", 1);
    TimeZone::resetSystemTimeZone();
    EXPECT_EQ(TimeZone::systemTimeZone().name(), "America/New_York");
    EXPECT_EQ(TimeZone::defaultTimeZone().name(), "Asia/Tokyo");
    TimeZone::resetDefaultTimeZone();
    EXPECT_EQ(TimeZone::defaultTimeZone().name(), "America/New_York");

    if (saved)
        setenv("TZ", savedValue.c_str(), 1);
    else
        unsetenv("TZ");
    TimeZone::resetSystemTimeZone();
}

} // namespace
