#include "HTTP/AsyncPacket.h"

#include "Platform/Core/Date.h"

#include <cmath>
#include <limits>

namespace {

int64_t nowSeconds()
{
    return static_cast<int64_t>(std::floor(core::Date::now().timeIntervalSince1970()));
}

} // namespace

AsyncPacket::AsyncPacket(double timeout, long tag)
    : tag(tag)
    , timeout(std::isfinite(timeout) && timeout >= 1 ? static_cast<int64_t>(std::min(timeout, 1e15)) : 0)
{
}

int64_t AsyncPacket::secondsFromNow(double seconds)
{
    return nowSeconds() + static_cast<int64_t>(std::ceil(std::min(seconds, 1e15)));
}

void AsyncPacket::restartTimeout()
{
    timeoutTime = timeout >= 1 ? nowSeconds() + timeout : 0;
}

bool AsyncPacket::hasExpired() const
{
    const int64_t now = nowSeconds();
    return (timeoutTime >= 1 && timeoutTime < now) || (deadline >= 1 && deadline < now);
}
