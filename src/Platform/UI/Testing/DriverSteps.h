#pragma once

// What every part of the test driver shares: the name its failures carry,
// the application it drives (failing when there is none), letting the run
// loop settle after a step, and failing a step with the dump lines of the
// views that show why. Free functions: the parts hold no state of their own
// for these.

#include <string>
#include <vector>

namespace ui {
class Application;
class View;
} // namespace ui

namespace ui::testing {

// The name of the core::Exception a step throws when it cannot be done as
// asked.
inline constexpr const char* DriverFailure = "DriverFailure";

Application& drivenApplication();

// Runs what a step set going until the main run loop is idle.
void settle();

// Throws the step's failure: `reason`, then each view's dump line and its
// superviews' lines under it.
[[noreturn]] void failStep(const std::string& reason, const std::vector<const View*>& views);

} // namespace ui::testing
