#include "Platform/Core/Calendar.h"
#include "Platform/Core/TimeZone.h"

#include "Support/TestCase.h"

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
    EXPECT_EQ(core::Calendar(*berlin).components(winter).hour, 9);
    EXPECT_EQ(core::Calendar(*berlin).components(summer).hour, 10);
    EXPECT_EQ(core::Calendar(TimeZone::utc()).components(summer).hour, 8);

    EXPECT_FALSE(TimeZone::named("Mars/Olympus_Mons"));
    EXPECT_FALSE(TimeZone::named(""));
    EXPECT_FALSE(TimeZone::named(std::string(10000, 'A')));
}

TEST_F(TimeZoneTest, DefaultZoneIsSetThroughTimeZoneNotTheEnvironment)
{
    EXPECT_EQ(TimeZone::defaultTimeZone(), TimeZone::utc());

    TimeZone::setDefaultTimeZoneForTesting(*TimeZone::named("Asia/Tokyo"));
    EXPECT_EQ(TimeZone::defaultTimeZone().name(), "Asia/Tokyo");

    // The system zone follows $TZ only when asked to read it again.
    const char* saved = std::getenv("TZ");
    std::string savedValue = saved ? saved : "";
    setenv("TZ", "America/New_York", 1);
    TimeZone::resetSystemTimeZoneForTesting();
    EXPECT_EQ(TimeZone::systemTimeZone().name(), "America/New_York");
    EXPECT_EQ(TimeZone::defaultTimeZone().name(), "Asia/Tokyo");
    TimeZone::setDefaultTimeZoneForTesting(TimeZone::systemTimeZone());
    EXPECT_EQ(TimeZone::defaultTimeZone().name(), "America/New_York");

    if (saved)
        setenv("TZ", savedValue.c_str(), 1);
    else
        unsetenv("TZ");
    TimeZone::resetSystemTimeZoneForTesting();
}

} // namespace
