#include "Support/TestEnvironment.h"

#include "Support/FakeReachability.h"

#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/DesktopTrash.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/TimeZone.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Net/CookieStorage.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/InterfaceAddresses.h"
#include "Platform/Net/SocketTestHooks.h"
#include "Platform/Net/URLConnection.h"

#include <gtest/gtest.h>

#include <mutex>

namespace test {

namespace {

constexpr double ThreadGracePeriod = 5.0;

// The thread that runs the tests is the program's main thread from the start,
// so that fixtures may reach RunLoop::main() while they are made.
const bool mainThreadSet = (core::RunLoop::setMainThread(), true);

std::shared_ptr<core::ManualClock> manualClock;
std::mutex escapedMutex;
std::vector<std::string> escaped;

std::vector<std::function<void()>>& libraryResets()
{
    static std::vector<std::function<void()>> resets;
    return resets;
}

void resetServices()
{
    // Loads first: they watch sockets on the main loop.
    net::URLConnection::resetForTesting();
    net::CookieStorage::shared().reset();
    net::CredentialStorage::shared().removeAllCredentialsForTesting();
    net::SocketTestHooks::reset();
    FakeReachability::uninstall();
    net::setInterfaceAddressesForTesting(nullptr);
    core::FileTestHooks::reset();
    core::RunLoop::main().resetForTesting();
    core::NotificationCenter::defaultCenter().resetForTesting();
    core::resetBackgroundTasksForTesting();
    gfx::Screen::main().reset();
    gfx::setTextEngine(nullptr);
    VKAppDelegateHooks::setCurrent(nullptr);
    for (const auto& reset : libraryResets())
        reset();
    VKApplication::setSharedApplicationForTesting(nullptr);
    VKHomeLayout::setCurrent(nullptr);
    // A keychain over the file store of the next test's own home.
    VKKeychain::setSharedKeychainForTesting(nullptr);
}

} // namespace

void TestEnvironment::begin(const std::string& home)
{
    core::paths::setHome(home);
    // What a test replaces goes to a trash of its own, never the user's.
    core::desktopTrash::setLocation(home + "/DesktopTrash");
    core::TimeZone::setDefaultTimeZoneForTesting(core::TimeZone::utc());
    core::DateFormatter::setDefaultLocale("en");
    // Settings, bundle and device facts are made afresh from this home.
    core::Bundle::setMainForTesting(nullptr);
    core::UserDefaults::setArguments({});
    core::UserDefaults::resetStandardForTesting();
    core::Device::reset();
    core::setCurrentLanguage("en");
    manualClock = core::ManualClock::create();
    core::Clock::setCurrent(manualClock);
    takeEscapedExceptions();
    core::ExceptionReporter::setHandlerForTesting([](const std::string& description) {
        std::lock_guard lock(escapedMutex);
        escaped.push_back(description);
    });
    resetServices();
}

void TestEnvironment::end()
{
    core::UserDefaults::resetStandardForTesting();
    core::UserDefaults::setArguments({});
    core::Device::reset();
    core::Bundle::setMainForTesting(nullptr);
    core::setCurrentLanguage("en");
    // Dropping what the main loop holds also lets go of workers waiting on it.
    resetServices();
    expectNoThreadsRunning(ThreadGracePeriod);
    for (const auto& description : takeEscapedExceptions())
        ADD_FAILURE() << "an exception escaped a callback: " << description;
    core::ExceptionReporter::setHandlerForTesting(nullptr);
    resetServices();
}

core::ManualClock& TestEnvironment::clock()
{
    return *manualClock;
}

std::vector<std::string> TestEnvironment::takeEscapedExceptions()
{
    std::lock_guard lock(escapedMutex);
    return std::exchange(escaped, {});
}

void TestEnvironment::expectNoThreadsRunning(double timeout)
{
    if (core::Thread::waitForAll(timeout))
        return;
    std::string names;
    for (const auto& name : core::Thread::runningThreadNames())
        names += (names.empty() ? "\"" : ", \"") + name + "\"";
    ADD_FAILURE() << "threads still running " << timeout << " s after the test: " << names;
}

void TestEnvironment::addReset(std::function<void()> reset)
{
    libraryResets().push_back(std::move(reset));
}

} // namespace test
