// The browser with real text at phone and tablet size, both ways up, for a
// person to look at (build/screens/webbrowser/): a page loaded, a secure
// one, loading, the address edited over the type-ahead list, search mode,
// a very long title, the bar slid in over a scrolled page and a load error;
// goldens of the idle bar with its padlock, editing and search mode. Pages
// come from the recording engine, so the goldens stay deterministic.

#include "BrowserScreensTestCase.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Keyboard.h"
#include "WebBrowser/VKBarButton.h"
#include "Platform/UI/Renderer.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/Web/ServerCertificate.h"
#include "Platform/Web/WebError.h"
#include "WebBrowser/VKWebCertificateController.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "WebBrowser/VKWebHistory.h"

#include <fmt/format.h>

using web::NavigationType;

namespace {

class BrowserScreensTest : public test::BrowserScreensTestCase {
protected:
    void SetUp() override
    {
        BrowserScreensTestCase::SetUp();
        for (const char* address : { "http://example.org/", "http://example.org/news/today",
                 "https://www.example.com/search?q=trains", "http://docs.example/manual/chapter-3" })
            VKWebHistory::sharedWebHistory()->addURL(url(address), std::string("Example"));
    }
    void showPage(const std::string& address, const std::string& title)
    {
        loadPage(address, title);
        advance(1.5);
    }
    void shootAll(const test::DeviceScreen& device);
};

void BrowserScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        use(device, orientation);
        showPage("http://127.0.0.1:8080/site/index.html", "Tandry Test Home");
        shoot("loaded");
        showPage("https://localhost:4433/secure/account?view=1", "Your account");
        shoot("secure");

        browser->loadRequest(core::URLRequest(url("http://127.0.0.1:8080/site/a.html")));
        advance(0.3);
        shoot("loading");
        page().finishLoad("Page A");
        advance(1.5);

        driver.tap(field());
        advance(1);
        driver.clear(field());
        driver.type("example");
        advance(1);
        shoot("editing");
        driver.tap(*bar().cancelButton());
        advance(1);

        driver.tap(bar().searchButton());
        advance(1);
        driver.type("trains to vienna");
        advance(1);
        shoot("search");
        bar().cancelEditing();
        advance(1);

        showPage("http://127.0.0.1:8080/site/long.html",
            "A title of three hundred characters: " + std::string(120, 'W') + " and then some more words to run on and on "
                + std::string(100, 'i'));
        shoot("long-title");

        page().reportMetrics({ 0, 540, 1000, 5000, 1000, 1500 });
        advance(1);
        page().navigate(core::URLRequest(url("http://127.0.0.1:8080/site/next.html")), NavigationType::LinkClicked);
        advance(1);
        shoot("slid-in");
        page().failLoad(web::WebError::make(web::WebError::FrameLoadInterruptedByPolicyChange,
            url("http://127.0.0.1:8080/site/next.html")));
        advance(1);
        shoot("load-error");
        driver.pressAlertButton("OK");
        advance(2);
        scroller().setContentOffset({ 0, 0 });
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(BrowserScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(BrowserScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

TEST_F(BrowserScreensTest, AnUntrustedCertificateShowsItsSheetWhoseContinueTrustsItForTheHost)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    const std::string address = "https://self-signed.test:4433/account";
    web::ServerCertificate certificate { "self-signed.test", "CN=self-signed.test,O=Tandry Test", "CN=self-signed.test,O=Tandry Test",
        "2026-01-01T00:00:00Z", "2027-01-01T00:00:00Z", std::string(), { "Unknown issuer", "Issued for another site" } };
    for (int pair = 0; pair < 32; ++pair)
        certificate.sha256 += fmt::format("{}{:02X}", pair ? ":" : "", pair * 7);
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        const bool trust = device->tablet;
        use(*device, ui::Orientation::Portrait);
        browser->loadRequest(core::URLRequest(url(address)));
        advance(0.3);
        auto failure = net::URLError::make(net::URLError::ServerCertificateUntrusted, url(address));
        failure.setUserInfoValue(web::ServerCertificate::Key, certificate.toValue());
        page().failLoad(failure);
        advance(1);
        EXPECT_TRUE(driver.shownChoices().empty()) << "no alert";
        auto* shown = dynamic_cast<ui::NavigationController*>(browser->presenter().modalViewController());
        ASSERT_TRUE(shown);
        auto* sheet = dynamic_cast<VKWebCertificateController*>(shown->topViewController());
        ASSERT_TRUE(sheet);
        EXPECT_EQ(sheet->title(), "Certificate");
        ASSERT_GE(sheet->entries().size(), 2u);
        EXPECT_EQ(sheet->entries()[0].second,
            "The identity of self-signed.test cannot be verified. Continue only if you trust this site.");
        EXPECT_EQ(sheet->entries()[1], (std::pair<std::string, std::string> { "Problems", "Unknown issuer\nIssued for another site" }));
        shoot("certificate");

        const size_t loads = page().loads().size();
        driver.tapBarItem(trust ? "continue" : "cancel");
        advance(1);
        EXPECT_FALSE(browser->presenter().modalViewController());
        auto& commands = page().commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "trust self-signed.test"), trust ? 1 : 0);
        ASSERT_EQ(page().loads().size(), loads + (trust ? 1 : 0));
        if (trust) {
            EXPECT_EQ(page().loads().back().request.url().absoluteString(), address);
        }
    }
}

// In the deterministic text engine, against goldens.
TEST_F(BrowserScreensTest, Goldens)
{
    use(test::phoneScreen, ui::Orientation::Portrait);
    showPage("https://localhost:4433/secure/account?view=1", "Your account");
    EXPECT_TRUE(test::matchesGolden(*picture(), sourcePath(""), "webbrowser-bar-secure-phone-portrait"));

    use(test::phoneScreen, ui::Orientation::LandscapeLeft);
    driver.tap(field());
    advance(1);
    driver.clear(field());
    driver.type("example");
    advance(1);
    EXPECT_TRUE(test::matchesGolden(*picture(), sourcePath(""), "webbrowser-bar-editing-phone-landscape"));
    driver.tap(*bar().cancelButton());
    advance(1);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);

    use(test::tabletScreen, ui::Orientation::Portrait);
    driver.tap(bar().searchButton());
    advance(1);
    driver.type("trains to vienna");
    advance(1);
    EXPECT_TRUE(test::matchesGolden(*picture(), sourcePath(""), "webbrowser-bar-search-tablet-portrait"));
    bar().cancelEditing();
    advance(1);
}

} // namespace
