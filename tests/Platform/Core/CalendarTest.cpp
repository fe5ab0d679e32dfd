#include "Platform/Core/Calendar.h"

#include "Support/TestCase.h"

#include <climits>
#include <cmath>
#include <thread>
#include <vector>

using core::Calendar;
using core::Date;
using core::DateComponents;
using core::TimeZone;

namespace {

class CalendarTest : public test::TestCase {
protected:
    Calendar berlin { *TimeZone::named("Europe/Berlin") };
    Calendar utc { TimeZone::utc() };
};

TEST_F(CalendarTest, ReferenceDateAndComponents)
{
    EXPECT_EQ(Date::fromUnixTime(978307200).timeIntervalSinceReferenceDate(), 0);
    EXPECT_EQ(utc.components(Date(0)), (DateComponents { 2001, 1, 1, 0, 0, 0, 2 }));

    Date date(315909000); // 2011-01-05 08:30 UTC, a Wednesday
    EXPECT_EQ(utc.components(date), (DateComponents { 2011, 1, 5, 8, 30, 0, 4 }));
    EXPECT_EQ(berlin.components(date), (DateComponents { 2011, 1, 5, 9, 30, 0, 4 }));
    EXPECT_EQ(berlin.components(Date(-1)).year, 2001); // 00:59:59 local on New Year's Day
    EXPECT_EQ(utc.components(Date(-1)).year, 2000);
    EXPECT_EQ(utc.components(Date(std::nan(""))), DateComponents {});

    // Calendar::current() follows the default zone.
    EXPECT_EQ(Calendar::current().components(date).hour, 8);
    TimeZone::setDefaultTimeZoneForTesting(*TimeZone::named("Europe/Berlin"));
    EXPECT_EQ(Calendar::current().components(date).hour, 9);
}

TEST_F(CalendarTest, DatesFromComponents)
{
    EXPECT_EQ(berlin.date({ 2011, 1, 5, 9, 30, 0 }), Date(315909000));
    // Fields out of range carry over.
    EXPECT_EQ(utc.date({ 2010, 13, 5, 8, 30, 0 }), Date(315909000));
    EXPECT_EQ(utc.date({ 2011, 1, 4, 32, 30, 0 }), Date(315909000));
    // 02:30 does not exist on 2011-03-27 in Berlin: the first valid moment.
    EXPECT_EQ(berlin.date({ 2011, 3, 27, 2, 30, 0 }), berlin.date({ 2011, 3, 27, 3, 0, 0 }));
    // 02:30 happens twice on 2011-10-30: the earlier one, still summer time.
    Date repeated = *berlin.date({ 2011, 10, 30, 2, 30, 0 });
    EXPECT_EQ(repeated, Date::fromUnixTime(1319934600)); // 00:30 UTC
    EXPECT_FALSE(utc.date({ INT_MAX, 1, 1, 0, 0, 0 }));
    EXPECT_FALSE(utc.date({ 2011, 1, INT_MIN, 0, 0, 0 }));
}

TEST_F(CalendarTest, StartOfDay)
{
    Date date(315909000);
    EXPECT_EQ(utc.startOfDay(date), Date(315909000 - 8 * 3600 - 30 * 60));
    EXPECT_EQ(berlin.startOfDay(date), Date(315909000 - 9 * 3600 - 30 * 60));
    // On the day summer time began, midnight was still winter time.
    Date afternoon = *berlin.date({ 2011, 3, 27, 15, 0, 0 });
    EXPECT_EQ(berlin.startOfDay(afternoon), berlin.date({ 2011, 3, 27, 0, 0, 0 }));
    EXPECT_EQ(afternoon.timeIntervalSince(berlin.startOfDay(afternoon)), 14 * 3600);

    // Where the clock jumps from 00:00 to 01:00, the day starts at 01:00.
    Calendar saoPaulo(*TimeZone::named("America/Sao_Paulo"));
    Date start = saoPaulo.startOfDay(Date(563036400)); // 2018-11-04 13:00 local
    EXPECT_EQ(start, Date(563036400 - 12 * 3600));
    EXPECT_EQ(saoPaulo.components(start), (DateComponents { 2018, 11, 4, 1, 0, 0, 1 }));
}

TEST_F(CalendarTest, CalendarDaysBetween)
{
    EXPECT_EQ(utc.calendarDaysBetween(*utc.date({ 2011, 1, 5, 23, 59, 0 }), *utc.date({ 2011, 1, 6, 0, 1, 0 })), 1);
    EXPECT_EQ(utc.calendarDaysBetween(*utc.date({ 2011, 1, 6, 0, 1, 0 }), *utc.date({ 2011, 1, 5, 23, 59, 0 })), -1);
    EXPECT_EQ(utc.calendarDaysBetween(*utc.date({ 2011, 1, 5, 0, 0, 0 }), *utc.date({ 2011, 1, 5, 23, 59, 59 })), 0);

    // Across the start of summer time: the day in between has only 23 hours.
    Date lateSaturday = *berlin.date({ 2011, 3, 26, 23, 59, 0 });
    EXPECT_EQ(berlin.calendarDaysBetween(lateSaturday, *berlin.date({ 2011, 3, 27, 0, 1, 0 })), 1);
    Date earlyMonday = *berlin.date({ 2011, 3, 28, 0, 1, 0 });
    EXPECT_LT(earlyMonday.timeIntervalSince(lateSaturday), 2 * 86400 - 3600);
    EXPECT_EQ(berlin.calendarDaysBetween(lateSaturday, earlyMonday), 2);
    // The same moments are one day apart in a zone where both fall on one night's ends.
    EXPECT_EQ(utc.calendarDaysBetween(lateSaturday, earlyMonday), 1);

    EXPECT_EQ(utc.calendarDaysBetween(Date(0), Date(std::nan(""))), 0);
}

TEST_F(CalendarTest, SharedBetweenThreads)
{
    Calendar calendar = berlin;
    std::vector<std::thread> threads;
    std::atomic<int> wrong { 0 };
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                Date date = *calendar.date({ 2011, 1 + t, 1 + i % 28, 12, 0, 0 });
                if (calendar.components(date).month != 1 + t)
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
