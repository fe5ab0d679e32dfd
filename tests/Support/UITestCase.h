#pragma once

#include "Platform/UI/Testing/Driver.h"
#include "Platform/UI/Testing/Environment.h"
#include "Support/TestCase.h"

namespace test {

// Base fixture of the tests that drive the toolkit: a fresh application and
// a visible 320 × 480 key window per test, a driver, and a check after the
// fixture is gone that the test left no views, layers, recognizers or
// controllers alive.
class UITestCase : public TestCase {
protected:
    ~UITestCase() override;
    void SetUp() override;
    void TearDown() override;
    // The application the test runs under (a subclass under test); null
    // gives the toolkit's plain one.
    virtual std::shared_ptr<ui::Application> makeApplication() { return nullptr; }

    ui::Application& application() { return ui::testing::Environment::application(); }
    ui::Window& window() { return *ui::testing::Environment::keyWindow(); }
    // Runs the main loop until idle.
    static void runLoop();
    // Advances the test clock, running what falls due.
    static void advance(double seconds);

    ui::testing::Driver driver;
};

} // namespace test
