#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace core {
class ManualClock;
}

namespace test {

// Sets up and resets the process-wide services for one test: every test
// starts on a fresh home with fresh settings and service instances. Each
// module that keeps process-wide state adds its reset here.
//
// Time: each test runs on its own ManualClock with a fresh main run loop,
// default notification centre and background-task table. A test fails when
// an exception escaped a callback during it, or when a core::Thread it
// started still runs 5 s after it ended.
class TestEnvironment {
public:
    static void begin(const std::string& home);
    static void end();

    // The test's clock (also Date::now() and the main loop's timers).
    static core::ManualClock& clock();
    // The exceptions that escaped callbacks so far, taken out so that they
    // do not fail the test (for tests of that behaviour).
    static std::vector<std::string> takeEscapedExceptions();
    // Fails the current test when core::Threads still run after `timeout`.
    static void expectNoThreadsRunning(double timeout);

    // A reset of process-wide services kept by a library above the platform
    // layer, run with the platform's own at the start and end of every test.
    // Libraries' test support registers these while the program starts.
    static void addReset(std::function<void()> reset);
};

} // namespace test
