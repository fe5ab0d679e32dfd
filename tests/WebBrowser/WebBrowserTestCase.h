#pragma once

// The browser's tests: the application (which owns the metadata folder the
// stores save in), fresh history and bookmark stores per test, and helpers
// to set the clock and read the stores' files.

#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/Calendar.h"
#include "Platform/Core/ManualClock.h"
#include "Support/TestEnvironment.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"
#include "WebBrowser/VKRegisterWebBrowser.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebHistory.h"

namespace test {

// The browser's stacks turn with the device.
class RotatingNavigation : public VKNavigationController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class WebBrowserTestCase : public UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
    void SetUp() override
    {
        UITestCase::SetUp();
        VKRegisterWebBrowser();
        VKWebHistory::resetSharedWebHistoryForTesting();
        VKWebBookmarks::resetSharedWebBookmarksForTesting();
    }
    void TearDown() override
    {
        VKWebHistory::resetSharedWebHistoryForTesting();
        VKWebBookmarks::resetSharedWebBookmarksForTesting();
        UITestCase::TearDown();
    }

    static core::ManualClock& clock() { return TestEnvironment::clock(); }
    // A wall-clock moment in the default time zone.
    static core::Date at(int year, int month, int day, int hour, int minute, int second = 0)
    {
        return *core::Calendar::current().date({ year, month, day, hour, minute, second });
    }
    static core::URL url(std::string_view text) { return *core::URL::parse(text); }
    // The renderer draws no keyboard: while one shows, a grey stand-in marks
    // where it covers the screen (remove it after the picture).
    std::shared_ptr<ui::View> keyboardStandIn()
    {
        if (!driver.keyboardVisible())
            return nullptr;
        auto standIn = ui::View::create(ui::Keyboard::shared().frame());
        standIn->setBackgroundColor(gfx::Color::rgb255(172, 178, 190));
        window().addSubview(standIn);
        return standIn;
    }
};

} // namespace test
