#include "Kit/HTTPDates.h"

#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/TimeZone.h"

#include "Support/TestCase.h"

#include <thread>

namespace {

constexpr core::Date Sunday = core::Date::fromUnixTime(784111777); // 1994-11-06 08:49:37 UTC

class HTTPDatesTest : public test::TestCase { };

TEST_F(HTTPDatesTest, FormatAndParseInAnyLocaleAndZone)
{
    // The user's zone and language must not reach machine dates.
    core::TimeZone::setDefaultTimeZoneForTesting(*core::TimeZone::named("Asia/Tokyo"));
    core::DateFormatter::setDefaultLocale("de");

    EXPECT_EQ(RFC1123String(Sunday), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(ISO8601String(Sunday), "1994-11-06T08:49:37Z");
    EXPECT_EQ(dateWithRFC1123String("Sun, 06 Nov 1994 08:49:37 GMT"), Sunday);
    EXPECT_EQ(dateWithRFC1123String("Sun, 06 November 1994 08:49:37 GMT"), Sunday);
    for (const char* form : { "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994" })
        EXPECT_EQ(dateWithHTTPDateString(form), Sunday) << form;
    EXPECT_EQ(dateWithHTTPDateString("Thu Nov 10 08:49:37 1994"), Sunday.addingTimeInterval(4 * 86'400.0));
    EXPECT_EQ(dateWithISO8601String("1994-11-06T08:49:37Z"), Sunday);
    EXPECT_EQ(dateWithISO8601String("1994-11-06T08:49:37+0100"), Sunday.addingTimeInterval(-3600));

    // Only whole texts count.
    EXPECT_FALSE(dateWithRFC1123String("Sun, 06 Nov 1994 08:49:37 GMT trailing"));
    EXPECT_FALSE(dateWithRFC1123String("garbage"));
    EXPECT_FALSE(dateWithRFC1123String(""));
    EXPECT_FALSE(dateWithHTTPDateString("Sun Nov  6 08:49:37 1994 x"));
    EXPECT_FALSE(dateWithISO8601String("1994-11-06T08:49:37Zjunk"));
    EXPECT_FALSE(dateWithISO8601String("1994-11-06"));
    EXPECT_FALSE(dateWithISO8601String("1994-11-06T08:49:37+0100 "));
}

TEST_F(HTTPDatesTest, SharedFormattersServeManyThreads)
{
    std::vector<std::thread> threads;
    std::atomic<int> wrong { 0 };
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                core::Date date = Sunday.addingTimeInterval(86'400.0 * (t * 1000 + i));
                if (dateWithRFC1123String(RFC1123String(date)) != date || dateWithISO8601String(ISO8601String(date)) != date)
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace

TEST_F(HTTPDatesTest, DirectFormatMatchesTheCalendar)
{
    // The direct form must agree with ICU's Gregorian calendar wherever it is
    // used, fractions and times before 1970 included, and hand the rest on.
    const core::DateFormatter icu("E, dd MMM yyyy HH:mm:ss 'GMT'", "en",
        core::TimeZone::named("GMT").value_or(core::TimeZone::utc()));
    std::vector<double> unixTimes { 0, -0.5, 0.999, -1, 951782400, 951868799.75, 4107542400, -12219292800,
        -11676096000, 253402300799, 253402300800, -62135596800 };
    for (double t = -11676096000; t < 253402300799; t += 987654321.123)
        unixTimes.push_back(t);
    const core::DateFormatter iso("yyyy-MM-dd'T'HH:mm:ss'Z'", "en", core::TimeZone::utc());
    for (double unix : unixTimes) {
        auto date = core::Date::fromUnixTime(unix);
        EXPECT_EQ(RFC1123String(date), icu.format(date)) << std::fixed << unix;
        EXPECT_EQ(ISO8601String(date), iso.format(date)) << std::fixed << unix;
    }
}
