#pragma once

#include "Platform/Core/Date.h"

#include <string>

// Additions to dates: order tests, the start of today, and the relative
// descriptions of file lists ("Today 14:05", "Yesterday", "Sat 09:30",
// "2 Mar", "31 Dec 2023").

// Equal dates are neither after nor before each other.
bool isAfterDate(core::Date date, core::Date other);
bool isBeforeDate(core::Date date, core::Date other);

// The first moment of the current day in the default time zone: a calendar
// day's start, right on days whose clocks change.
core::Date dateAtMidnightToday();

// How much a natural-language description abbreviates: nothing, the
// months, or the months and the weekdays.
enum class VKDateAbbreviation { None = 0, Months = 1, MonthsAndWeekdays = 2 };

// The date as file lists show it, counted in calendar days of the default
// time zone back from today: "Today" and "Yesterday" (translated), the
// weekday within the last week, the day and month within this year, the day,
// month and year otherwise (and for any day after today, always without
// the time). The time " HH:mm" follows unless `ignoreTime`. Safe from any
// thread.
std::string descriptionWithNaturalLanguageUsingAbbreviation(core::Date date, VKDateAbbreviation abbreviation,
    bool ignoreTime = false);
