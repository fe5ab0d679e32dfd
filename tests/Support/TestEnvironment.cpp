#include "Support/TestEnvironment.h"

#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/TimeZone.h"

namespace test {

void TestEnvironment::begin(const std::string& home)
{
    core::paths::setHome(home);
    core::TimeZone::setDefaultTimeZone(core::TimeZone::utc());
    core::DateFormatter::setDefaultLocale("en");
}

void TestEnvironment::end()
{
}

} // namespace test
