// The browser's sheets with real text at phone and tablet size, both ways
// up, for a person to look at (build/screens/webbrowser/): the sign-in
// sheet made upright (the host as prompt) and on its side (the host in the
// title) with the keyboard up, one for a very long host, the offer of a file
// over a page, the adjusted link sheet, the image sheet and "Failed to open
// URL"; goldens of the sign-in sheet both ways and of the link sheet on a
// phone. Pages come from the recording engine, so the goldens stay
// deterministic.

#include "BrowserScreensTestCase.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TextField.h"
#include "Platform/Web/WebError.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "WebBrowser/VKWebAuthenticationController.h"

#include <fmt/format.h>

namespace {

class AuthenticationScreensTest : public test::BrowserScreensTestCase {
protected:
    // The device, then the links page loaded.
    void use(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        BrowserScreensTestCase::use(device, orientation);
        loadPage("http://127.0.0.1:8080/site/links.html", "Links and Images");
        advance(1.5);
    }
    VKWebAuthenticationController* sheet()
    {
        auto* stack = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
        return stack ? dynamic_cast<VKWebAuthenticationController*>(stack->topViewController()) : nullptr;
    }
    // A sign-in question for `host`; the sheet up with the name typed.
    void challenge(const std::string& host)
    {
        page().challenge({ host, 8080, "Tandry Test", "Basic", "http", false });
        runLoop();
        advance(1);
        ASSERT_TRUE(sheet());
        driver.type("anna");
        advance(0.5);
    }
    void cancelSheet()
    {
        driver.tapBarItem(*sheet()->navigationItem().leftBarButtonItem());
        runLoop();
        advance(1.5);
    }
    void holdLink(web::ElementInfo info)
    {
        info.point = { 60, 100 };
        page().rightClick(info);
        runLoop();
        advance(1);
    }
    void shootAll(const test::DeviceScreen& device);
};

void AuthenticationScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        use(device, orientation);
        challenge("127.0.0.1");
        shoot("signin");
        cancelSheet();
        challenge("a-very-long-host-name-of-a-site.with-many-parts.in-its-name.example.org");
        shoot("signin-long-host");
        cancelSheet();

        browser->loadRequest(core::URLRequest(url("http://127.0.0.1:8080/site/report.pdf")));
        runLoop();
        page().receiveResponse(core::HTTPURLResponse(url("http://127.0.0.1:8080/site/report.pdf"), 200,
                                   { { "Content-Type", "application/pdf" } }),
            core::URLRequest(url("http://127.0.0.1:8080/site/report.pdf")), false);
        runLoop();
        advance(1);
        shoot("offer");
        driver.pressSheetButton("Cancel");
        advance(1.5);

        holdLink({ "http://127.0.0.1:8080/site/report.pdf", "", "", {} });
        shoot("link-sheet");
        if (!device.tablet)
            driver.pressSheetButton("Cancel");
        else
            driver.tapOutsideSheet();
        advance(1);

        holdLink({ "", "http://127.0.0.1:8080/site/photo.jpg", "holiday/Sunset.jpg", {} });
        shoot("image-sheet");
        if (!device.tablet)
            driver.pressSheetButton("Cancel");
        else
            driver.tapOutsideSheet();
        advance(1);

        core::URLRequest open(url("http://127.0.0.1:8080/site/archive.zip"));
        VKWebBrowserController::setMutableRequestIsOpen(open);
        browser->loadRequest(open);
        runLoop();
        page().failLoad(web::WebError::make(web::WebError::CannotShowMIMEType, open.url()));
        runLoop();
        advance(1);
        shoot("failed-to-open");
        driver.pressAlertButton("OK");
        advance(2);
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(AuthenticationScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(AuthenticationScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

// The sheet keeps whole texts and 44-point buttons, and sits below the bar.
TEST_F(AuthenticationScreensTest, TheSheetsTargetsAndTextsFit)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            SCOPED_TRACE(fmt::format("{} {}", device->name, int(orientation)));
            use(*device, orientation);
            challenge("127.0.0.1");
            auto* form = sheet();
            auto& bar = form->navigationController()->navigationBar();
            // Cancel and Log In answer touches 44 points high (the bar's
            // height on a phone on its side) and wide.
            for (auto* item : { form->navigationItem().leftBarButtonItem().get(), form->navigationItem().rightBarButtonItem().get() }) {
                auto button = item->view();
                ASSERT_TRUE(button);
                gfx::Rect frame = button->superview()->convertRect(button->frame(), &bar);
                float dy = std::min(21.f, bar.bounds().height() / 2 - 1);
                float dx = std::max(21.f, frame.width() / 2 - 1);
                for (gfx::Point offset : { gfx::Point { 0, -dy }, gfx::Point { 0, dy }, gfx::Point { -dx, 0 }, gfx::Point { dx, 0 } }) {
                    gfx::Point point { frame.midX() + offset.x, std::clamp(frame.midY() + offset.y, 0.5f, bar.bounds().height() - 0.5f) };
                    ui::View* hit = bar.hitTest(point);
                    EXPECT_TRUE(hit && (hit == button.get() || hit->isDescendantOfView(button.get())))
                        << item->title() << " at " << point.x << "," << point.y;
                }
            }
            gfx::Rect view = form->view()->bounds();
            for (ui::View* part : { static_cast<ui::View*>(form->usernameField()), static_cast<ui::View*>(form->passwordField()),
                     static_cast<ui::View*>(form->securityWarningLabel()) }) {
                EXPECT_GE(part->frame().x(), 20);
                EXPECT_LE(part->frame().maxX(), view.width() - 20);
            }
            EXPECT_GE(form->usernameField()->frame().height(), 44);
            // Left and right margins even.
            EXPECT_NEAR(form->usernameField()->frame().x(), view.width() - form->securityWarningLabel()->frame().maxX(), 1);
            cancelSheet();
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

// In the deterministic text engine, against goldens.
TEST_F(AuthenticationScreensTest, Goldens)
{
    use(test::phoneScreen, ui::Orientation::Portrait);
    challenge("127.0.0.1");
    EXPECT_TRUE(test::matchesGolden(*picture(), sourcePath(""), "webbrowser-signin-phone-portrait"));
    cancelSheet();
    holdLink({ "http://127.0.0.1:8080/site/report.pdf", "", "", {} });
    EXPECT_TRUE(test::matchesGolden(*picture(), sourcePath(""), "webbrowser-link-sheet-phone-portrait"));
    driver.pressSheetButton("Cancel");
    advance(1);

    use(test::phoneScreen, ui::Orientation::LandscapeLeft);
    challenge("127.0.0.1");
    EXPECT_TRUE(test::matchesGolden(*picture(), sourcePath(""), "webbrowser-signin-phone-landscape"));
    cancelSheet();
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

} // namespace
