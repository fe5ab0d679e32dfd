#include "Kit/DateAdditions.h"

#include "Platform/Core/Calendar.h"

bool isAfterDate(core::Date date, core::Date other)
{
    return date > other;
}

bool isBeforeDate(core::Date date, core::Date other)
{
    return date < other;
}

core::Date dateAtMidnightToday()
{
    return core::Calendar::current().startOfDay(core::Date::now());
}
