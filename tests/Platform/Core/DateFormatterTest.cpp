#include "Platform/Core/DateFormatter.h"

#include "Support/TestCase.h"

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

using core::Date;
using core::DateFormatter;
using core::TimeZone;

namespace {

class DateFormatterTest : public test::TestCase {
protected:
    TimeZone berlin = *TimeZone::named("Europe/Berlin");
    Date date { 315909000 }; // 2011-01-05 08:30 UTC, a Wednesday
};

TEST_F(DateFormatterTest, FormatsInLocaleAndZoneAndReadsBack)
{
    DateFormatter formatter("d-MMM-yyyy HHmmss", "en", berlin);
    EXPECT_EQ(formatter.format(date), "5-Jan-2011 093000");
    EXPECT_EQ(formatter.parse("5-Jan-2011 093000"), date);

    formatter.setPattern("EEEE");
    EXPECT_EQ(formatter.format(date), "Wednesday");

    formatter.setLocale("de");
    formatter.setPattern("d. MMMM yyyy, EEEE");
    EXPECT_EQ(formatter.format(date), "5. Januar 2011, Mittwoch");
    EXPECT_EQ(formatter.parse("5. Januar 2011, Mittwoch"), Date(315909000 - 9 * 3600 - 30 * 60));

    formatter.setTimeZone(TimeZone::utc());
    formatter.setPattern("HH:mm");
    EXPECT_EQ(formatter.format(date), "08:30");

    // New formatters take the default locale and zone.
    TimeZone::setDefaultTimeZoneForTesting(berlin);
    DateFormatter::setDefaultLocale("de");
    DateFormatter defaults("MMMM HH:mm");
    EXPECT_EQ(defaults.format(date), "Januar 09:30");
    EXPECT_EQ(defaults.locale(), "de");
    EXPECT_EQ(defaults.timeZone(), berlin);
}

TEST_F(DateFormatterTest, ParsingIsStrict)
{
    DateFormatter http = DateFormatter::posix("EEE, dd MMM yyyy HH:mm:ss 'GMT'");
    Date sample(-194195423); // 1994-11-06 08:49:37 UTC
    EXPECT_EQ(http.format(sample), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(http.parse("Sun, 06 Nov 1994 08:49:37 GMT"), sample);
    EXPECT_FALSE(http.parse("Sun, 06 Nov 1994 08:49:37 GMT "));
    EXPECT_FALSE(http.parse(" Sun, 06 Nov 1994 08:49:37 GMT"));
    EXPECT_FALSE(http.parse("Sun, 06 Nov 1994 08:49:37"));
    EXPECT_FALSE(http.parse("Sun, 06 Nov 1994 08:49:37 GM"));
    EXPECT_FALSE(http.parse("Sun, 06 11 1994 08:49:37 GMT"));
    EXPECT_FALSE(http.parse("Sun, 31 Feb 1994 08:49:37 GMT"));
    EXPECT_FALSE(http.parse("Sun, 06 Nov 1994 25:49:37 GMT"));
    EXPECT_FALSE(http.parse(""));
    EXPECT_FALSE(http.parse(std::string(100000, '1')));
    EXPECT_FALSE(http.parse("Sun, 06 Nov 1994 08:49:37 GMT\xff"));
    EXPECT_FALSE(http.parse("Sun, 06 Nov 1994 08:49:37 GMT\xef\xb7\x90"));
    EXPECT_FALSE(http.parse("Sun, 6 Nov 1994 08:49:37 GMT"));

    // Full and short names both read.
    DateFormatter lenientNames = DateFormatter::posix("E, dd MMMM yyyy HH:mm:ss zzz");
    EXPECT_EQ(lenientNames.parse("Sun, 06 Nov 1994 08:49:37 GMT"), sample);
    EXPECT_EQ(lenientNames.parse("Sunday, 06 November 1994 09:49:37 GMT+01:00"), sample);

    // Fractions of a second: ICU's arithmetic breaks down on very long ones.
    DateFormatter fraction = DateFormatter::posix("HH:mm:ss.S");
    EXPECT_EQ(fraction.parse("00:00:01.25"), Date::fromUnixTime(1.25));
    EXPECT_FALSE(fraction.parse("00:00:01." + std::string(120, '0')));

    DateFormatter iso = DateFormatter::posix("yyyy-MM-dd'T'HH:mm:ssZ");
    EXPECT_EQ(iso.parse("1994-11-06T09:49:37+0100"), sample);
    EXPECT_FALSE(iso.parse("1994-11-06 09:49:37+0100"));
}

TEST_F(DateFormatterTest, PatternsAndOddDates)
{
    DateFormatter formatter = DateFormatter::posix("yyyy");
    // Week-based year differs from the calendar year at the turn of the year.
    Date newYearsEve2012(378648000); // 2012-12-31 12:00 UTC
    EXPECT_EQ(formatter.format(newYearsEve2012), "2012");
    formatter.setPattern("YYYY");
    EXPECT_EQ(formatter.format(newYearsEve2012), "2013");

    // Natural-language texts quote their words into the pattern.
    formatter.setPattern(DateFormatter::quote("Today") + " HH:mm");
    EXPECT_EQ(formatter.format(date), "Today 08:30");
    formatter.setPattern(DateFormatter::quote("Aujourd'hui") + DateFormatter::quote("") + " HH:mm");
    EXPECT_EQ(formatter.format(date), "Aujourd'hui 08:30");

    formatter.setPattern("yyyy-MM-ddTHH");
    EXPECT_TRUE(logContains("Invalid date format pattern"));
    EXPECT_EQ(formatter.format(date), "");
    EXPECT_FALSE(formatter.parse("2011-01-05T08"));

    formatter.setPattern("yyyy-MM-dd");
    EXPECT_EQ(formatter.format(Date(std::nan(""))), "");
    EXPECT_EQ(formatter.format(Date(1e300)), formatter.format(Date(1e301))); // clamped, not undefined
    EXPECT_EQ(formatter.format(Date::distantFuture()), "4001-01-01");

    DateFormatter copy = formatter;
    formatter.setPattern("HH");
    EXPECT_EQ(copy.format(date), "2011-01-05");
    EXPECT_EQ(formatter.format(date), "08");
}

TEST_F(DateFormatterTest, OneFormatterServesSeveralThreads)
{
    DateFormatter shared = DateFormatter::posix("yyyy-MM-dd HH:mm:ss");
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                Date value(t * 1e8 + i * 3601.0);
                if (shared.parse(shared.format(value)) != value)
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
