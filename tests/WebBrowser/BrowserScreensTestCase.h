#pragma once

// The browser's screen tests: the browser in a navigation stack that turns,
// put on a phone or tablet screen both ways up, pictures of the screen (a
// grey stand-in where the keyboard covers it) saved into
// build/screens/webbrowser/ or compared with goldens.

#include "BrowserTestCase.h"

#include "Platform/UI/Renderer.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace test {

class BrowserScreensTestCase : public BrowserTestCase {
protected:
    void SetUp() override
    {
        BrowserTestCase::SetUp();
        window().setRootViewController(nullptr);
        navigation->setViewControllers({}, false);
        navigation = std::make_shared<RotatingNavigation>();
        navigation->setViewControllers({ browser }, false);
        navigation->setNavigationBarHidden(true, false);
    }
    void use(const DeviceScreen& device, ui::Orientation orientation)
    {
        m_device = device;
        window().setRootViewController(nullptr);
        useDeviceScreen(window(), device);
        window().setRootViewController(navigation);
        advance(1);
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
    }
    std::unique_ptr<gfx::BitmapContext> picture()
    {
        runLoop();
        auto standIn = keyboardStandIn();
        auto image = ui::Renderer::renderScreenImage();
        if (standIn)
            standIn->removeFromSuperview();
        return image;
    }
    // build/screens/webbrowser/browser-<name>-<device>-<portrait|landscape>.png
    void shoot(const std::string& name)
    {
        runLoop();
        auto standIn = keyboardStandIn();
        std::string side = application().statusBarOrientation() == ui::Orientation::Portrait ? "portrait" : "landscape";
        saveScreen(driver, sourcePath("build/screens/webbrowser"),
            fmt::format("browser-{}-{}-{}", name, m_device.name, side), m_device.scale);
        if (standIn)
            standIn->removeFromSuperview();
    }

    DeviceScreen m_device = phoneScreen;
};

} // namespace test
