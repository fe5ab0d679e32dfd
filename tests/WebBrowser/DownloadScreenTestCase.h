#pragma once

// The downloads screen's tests: downloads against the loopback web server
// (DownloadTestCase) under the application, the browser wired in with the
// search site "search.test", a fresh shared browser per test, and helpers
// to save screens and close sheets on either device.

#include "Downloads/DownloadTestCase.h"

#include "Shell/VKNavigationController.h"
#include "Platform/Core/UserDefaults.h"
#include "Support/UIScreens.h"
#include "WebBrowser/VKDownloadViewController.h"
#include "WebBrowser/VKRegisterWebBrowser.h"
#include "WebBrowser/WebBrowserTestCase.h" // test::RotatingNavigation

#include <fmt/format.h>

namespace test {

class DownloadScreenTestCase : public DownloadTestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }
    void SetUp() override
    {
        DownloadTestCase::SetUp();
        VKRegisterWebBrowser();
        core::UserDefaults::standard()->set(VKWebBrowserController::SearchHostKey, core::Value("search.test"));
        VKDownloadViewController::releaseSharedWebBrowserController();
    }
    void TearDown() override
    {
        VKDownloadViewController::releaseSharedWebBrowserController();
        runLoop();
        DownloadTestCase::TearDown();
    }

    // Renders the screen with real text as <prefix>-<name>-<device>-<side>.png
    // under build/screens/webbrowser/.
    void shoot(const std::string& prefix, const std::string& name)
    {
        runLoop();
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        saveScreen(driver, sourcePath("build/screens/webbrowser"), fmt::format("{}-{}-{}-{}", prefix, name, device.name, side),
            device.scale);
    }
    // A sheet at its anchor on the tablet has no Cancel: a tap beside it.
    void dismissSheet()
    {
        if (device.tablet)
            driver.tapOutsideSheet();
        else
            driver.pressSheetButton("Cancel");
        advance(1);
    }

    DeviceScreen device = phoneScreen;
};

} // namespace test
