#pragma once

// The toolkit's test environment: each test gets a fresh shared application,
// the main screen at 320 × 480 and scale 2, portrait, deterministic text and
// a visible key window over the whole screen. At the end everything the
// toolkit keeps process-wide is dropped, and the counts of live views,
// layers, recognizers and controllers tell whether the test left a cycle.

#include "Platform/UI/Application.h"
#include "Platform/UI/Window.h"

#include <memory>
#include <string>
#include <vector>

namespace ui::testing {

class Environment {
public:
    // `application` replaces the plain Application (a subclass under test).
    static void begin(std::shared_ptr<Application> application = nullptr);
    static void end();
    // What outlived the test, one line per kind ("3 views"); empty when
    // nothing did. Ask after the test's own objects are gone.
    static std::vector<std::string> leftovers();

    static Application& application();
    static const std::shared_ptr<Window>& keyWindow();
};

} // namespace ui::testing
