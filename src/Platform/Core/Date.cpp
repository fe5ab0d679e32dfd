#include "Platform/Core/Date.h"

#include <atomic>
#include <cmath>
#include <ctime>
#include <fmt/format.h>

namespace core {

namespace {

Date wallClockNow()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return Date::fromUnixTime(static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9);
}

std::atomic<Date::NowFunction> nowFunction { &wallClockNow };

} // namespace

Date Date::now()
{
    return nowFunction.load()();
}

void Date::setNowFunction(NowFunction function)
{
    nowFunction.store(function ? function : &wallClockNow);
}

std::string Date::description() const
{
    double unix = std::floor(timeIntervalSince1970());
    time_t seconds = static_cast<time_t>(unix);
    struct tm parts;
    if (!std::isfinite(unix) || !gmtime_r(&seconds, &parts))
        return "(invalid date)";
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02} +0000", parts.tm_year + 1900, parts.tm_mon + 1,
        parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

} // namespace core
