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
