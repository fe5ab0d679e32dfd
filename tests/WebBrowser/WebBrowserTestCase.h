#pragma once

// The browser's tests: the application (which owns the metadata folder the
// stores save in), fresh history and bookmark stores per test, and helpers
// to set the clock and read the stores' files.

#include "App/Shell/VKApplication.h"
#include "Platform/Core/Calendar.h"
#include "Platform/Core/ManualClock.h"
#include "Support/TestEnvironment.h"
#include "Support/UITestCase.h"
#include "WebBrowser/VKRegisterWebBrowser.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebHistory.h"

namespace test {

class WebBrowserTestCase : public UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
    void SetUp() override
    {
        UITestCase::SetUp();
        VKRegisterWebBrowser();
        VKWebHistory::resetSharedWebHistory();
        VKWebBookmarks::resetSharedWebBookmarks();
    }
    void TearDown() override
    {
        VKWebHistory::resetSharedWebHistory();
        VKWebBookmarks::resetSharedWebBookmarks();
        UITestCase::TearDown();
    }

    static core::ManualClock& clock() { return TestEnvironment::clock(); }
    // A wall-clock moment in the default time zone.
    static core::Date at(int year, int month, int day, int hour, int minute, int second = 0)
    {
        return *core::Calendar::current().date({ year, month, day, hour, minute, second });
    }
    static core::URL url(std::string_view text) { return *core::URL::parse(text); }
};

} // namespace test
