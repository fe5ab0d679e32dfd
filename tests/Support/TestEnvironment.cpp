#include "Support/TestEnvironment.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/TimeZone.h"
#include "Platform/Core/UserDefaults.h"

namespace test {

void TestEnvironment::begin(const std::string& home)
{
    core::paths::setHome(home);
    core::TimeZone::setDefaultTimeZone(core::TimeZone::utc());
    core::DateFormatter::setDefaultLocale("en");
    // Settings, bundle and device facts are made afresh from this home.
    core::Bundle::setMain(nullptr);
    core::UserDefaults::setArguments({});
    core::UserDefaults::resetStandard();
    core::Device::reset();
    core::setCurrentLanguage("en");
}

void TestEnvironment::end()
{
    core::UserDefaults::resetStandard();
    core::UserDefaults::setArguments({});
    core::Device::reset();
    core::Bundle::setMain(nullptr);
    core::setCurrentLanguage("en");
}

} // namespace test
