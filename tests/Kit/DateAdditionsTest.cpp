#include "Kit/DateAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Calendar.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/TimeZone.h"
#include "Support/TestCase.h"
#include "Support/TestEnvironment.h"

#include <atomic>
#include <thread>
#include <vector>

using core::Date;

namespace {

class DateAdditionsTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        core::TimeZone::setDefaultTimeZoneForTesting(*core::TimeZone::named("Europe/Berlin"));
    }

    // A wall-clock moment in Berlin.
    static Date berlin(int year, int month, int day, int hour, int minute)
    {
        return *core::Calendar::current().date({ year, month, day, hour, minute, 0 });
    }

    core::ManualClock& clock() { return test::TestEnvironment::clock(); }
};

} // namespace

TEST_F(DateAdditionsTest, OrderTests)
{
    Date early(100);
    Date late(200);
    EXPECT_TRUE(isAfterDate(late, early));
    EXPECT_TRUE(isBeforeDate(early, late));
    EXPECT_FALSE(isAfterDate(early, Date(100)));
    EXPECT_FALSE(isBeforeDate(early, Date(100)));
}

TEST_F(DateAdditionsTest, MidnightTodayIsTheCalendarDaysStart)
{
    clock().setNow(berlin(2024, 5, 15, 12, 0));
    EXPECT_EQ(dateAtMidnightToday(), berlin(2024, 5, 15, 0, 0));
    // The clocks went forward at 02:00: the day is 23 hours long, and its
    // start is still midnight, not 23:00 the day before.
    clock().setNow(berlin(2024, 3, 31, 10, 0));
    EXPECT_EQ(dateAtMidnightToday(), berlin(2024, 3, 31, 0, 0));
    EXPECT_EQ(dateAtMidnightToday().timeIntervalSince(berlin(2024, 3, 30, 0, 0)), 86400);
    clock().setNow(berlin(2024, 10, 27, 23, 59));
    EXPECT_EQ(dateAtMidnightToday(), berlin(2024, 10, 27, 0, 0));
}

TEST_F(DateAdditionsTest, NaturalLanguageDescriptions)
{
    using Level = VKDateAbbreviation;
    clock().setNow(berlin(2024, 5, 15, 12, 0));
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 15, 0, 5), Level::None), "Today 00:05");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 15, 9, 0), Level::None, true), "Today");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 14, 14, 5), Level::None), "Yesterday 14:05");
    // Calendar days, not 24-hour spans: late yesterday is yesterday.
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 14, 23, 59), Level::Months), "Yesterday 23:59");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 11, 9, 30), Level::MonthsAndWeekdays), "Sat 09:30");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 11, 9, 30), Level::None), "Saturday 09:30");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 8, 9, 30), Level::Months), "8 May 09:30");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 3, 2, 9, 30), Level::Months), "2 Mar 09:30");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 3, 2, 9, 30), Level::None), "2 March 09:30");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2023, 12, 31, 9, 30), Level::Months), "31 Dec 2023");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 16, 8, 0), Level::Months), "16 May 2024");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 16, 8, 0), Level::None), "16 May 2024");
}

TEST_F(DateAdditionsTest, TranslationsComeOutWhole)
{
    core::Value words = core::Value::makeDictionary({ { "Today", "Aujourd'hui" }, { "Yesterday", "Hier" } });
    ASSERT_TRUE(core::PropertyList::writeFile(makeFolder("App/strings/fr") + "/Default.plist", words,
        core::PropertyList::Format::XML));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("App")));
    core::setCurrentLanguage("fr");

    clock().setNow(berlin(2024, 5, 15, 12, 0));
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 15, 8, 0), VKDateAbbreviation::None),
        "Aujourd'hui 08:00");
    EXPECT_EQ(descriptionWithNaturalLanguageUsingAbbreviation(berlin(2024, 5, 14, 8, 0), VKDateAbbreviation::None, true),
        "Hier");
}

TEST_F(DateAdditionsTest, TheSharedFormatterServesAnyThread)
{
    clock().setNow(berlin(2024, 5, 15, 12, 0));
    const Date saturday = berlin(2024, 5, 11, 9, 30);
    const Date march = berlin(2024, 3, 2, 9, 30);
    std::vector<std::thread> threads;
    std::atomic<int> wrong { 0 };
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (descriptionWithNaturalLanguageUsingAbbreviation(saturday, VKDateAbbreviation::None) != "Saturday 09:30")
                    ++wrong;
                if (descriptionWithNaturalLanguageUsingAbbreviation(march, VKDateAbbreviation::Months, true) != "2 Mar")
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}
