// The browser controller on the recording engine: loads and their end, the
// bar's title, padlock and address, what typing loads or searches, the
// retries of unknown hosts, the failure table, the bar's place while pages
// load, the type-ahead list, bookmarks and download hand-off.

#include "BrowserTestCase.h"

#include "Platform/Net/URLError.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/Web/WebError.h"
#include "Platform/UI/ViewAnimation.h"
#include "WebBrowser/VKBarButton.h"
#include "WebBrowser/VKWebAddBookmarkViewController.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebBookmarksViewController.h"
#include "WebBrowser/VKWebDocumentTitle.h"
#include "WebBrowser/VKWebHistory.h"
#include "WebBrowser/VKWebHistorySearchController.h"

using web::NavigationType;

namespace {

class VKWebBrowserControllerTest : public test::BrowserTestCase {
protected:
    std::vector<VKWebHistoryItem> history() { return VKWebHistory::sharedWebHistory()->allItems(); }
    bool alertShown() { return !driver.shownChoices().empty(); }
    bool shows(const char* image) { return field().rightButton().imageForState(ui::Control::Normal) == ui::Images::imageNamed(image); }
    void fail(const core::Error& error)
    {
        page().failLoad(error);
        runLoop();
    }
    static core::Error urlError(int code, std::string_view address) { return net::URLError::make(code, url(address)); }
};

TEST_F(VKWebBrowserControllerTest, TheViewIsAWebViewWithTheBarInItsScroller)
{
    auto& view = webView();
    EXPECT_EQ(view.frame(), gfx::Rect(0, 0, 320, 460));
    EXPECT_TRUE(view.scalesPageToFit());
    EXPECT_EQ(view.webBrowserController(), browser);
    EXPECT_EQ(view.interactionDelegate(), browser);
    EXPECT_TRUE(view.allowsImageSheet());
    EXPECT_EQ(bar().superview(), &scroller());
    EXPECT_EQ(bar().frame(), gfx::Rect(0, 0, 320, 60));
    EXPECT_EQ(view.documentViewFrame().y(), 60);
    EXPECT_EQ(scroller().scrollIndicatorInsets(), gfx::EdgeInsets(60, 0, 0, 0));
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::PortraitUpsideDown, ui::Orientation::LandscapeLeft,
             ui::Orientation::LandscapeRight })
        EXPECT_TRUE(browser->shouldAutorotate(orientation));
    EXPECT_EQ(ui->count("willAppear"), 1u);
    EXPECT_FALSE(browser->viewTransitionActive());

    // Close ends the browser; the stop and reload events reach the engine.
    driver.tap(bar().closeButton());
    runLoop();
    EXPECT_EQ(ui->count("didEnd"), 1u);
    loadPage("http://127.0.0.1:8/site/index.html");
    field().sendActions(VKWebLocationField::ReloadEvent);
    field().sendActions(VKWebLocationField::StopEvent);
    EXPECT_EQ(page().commands(), (std::vector<std::string> { "reload", "stop" }));
    EXPECT_TRUE(browser->didCancelLoad());
}

TEST_F(VKWebBrowserControllerTest, ALoadShowsItsProgressThenTheTitleAddressAndHistoryAndEndsASecondLater)
{
    browser->loadRequest(core::URLRequest(url("http://127.0.0.1:8/site/index.html")));
    runLoop();
    EXPECT_EQ(bar().titleLabel().text(), "Loading...");
    EXPECT_EQ(field().text(), "127.0.0.1:8/site/index.html");
    EXPECT_TRUE(bar().isLoading());
    EXPECT_TRUE(shows("VKTextFieldControlStop.png"));
    EXPECT_TRUE(application().isNetworkActivityIndicatorVisible());
    EXPECT_EQ(ui->count("backForward"), 1u);

    page().finishLoad("  Tandry Test Home\n\t");
    runLoop();
    EXPECT_EQ(ui->count("didFinishLoad"), 1u);
    EXPECT_EQ(bar().titleLabel().text(), "Tandry Test Home");
    ASSERT_EQ(history().size(), 1u);
    EXPECT_EQ(history()[0].URL, "http://127.0.0.1:8/site/index.html");
    EXPECT_EQ(history()[0].title, "Tandry Test Home");
    EXPECT_EQ(field().text(), "127.0.0.1:8/site/index.html");
    EXPECT_FALSE(bar().isSecure());

    // The loading end waits a second; a load started meanwhile cancels it.
    advance(0.9);
    EXPECT_TRUE(bar().isLoading());
    page().navigate(core::URLRequest(url("http://127.0.0.1:8/site/a.html")), NavigationType::LinkClicked);
    runLoop();
    advance(0.5);
    EXPECT_TRUE(bar().isLoading());
    EXPECT_FALSE(browser->isLoadingEndPending());
    page().finishLoad("A");
    runLoop();
    advance(0.99);
    EXPECT_TRUE(bar().isLoading());
    advance(0.02);
    EXPECT_FALSE(bar().isLoading());
    EXPECT_TRUE(shows("VKTextFieldControlRefresh.png"));
    EXPECT_FALSE(application().isNetworkActivityIndicatorVisible());
    EXPECT_FALSE(browser->loadingRequest());
    EXPECT_EQ(browser->loadingNavigationType(), VKWebBrowserController::NoNavigationType);
    EXPECT_EQ(bar().frame().y(), 0);
}

TEST_F(VKWebBrowserControllerTest, TitlesPadlockAndWhatTheHistoryKeeps)
{
    loadPage("https://localhost:4433/a?b=1", "Secure");
    EXPECT_TRUE(bar().isSecure());
    EXPECT_EQ(field().text(), "localhost:4433/a?b=1");
    loadPage("http://example.com/missing", "404 NOT FOUND");
    EXPECT_FALSE(bar().isSecure());
    EXPECT_EQ(bar().titleLabel().text(), "404 NOT FOUND");
    loadPage("http://example.com/missing2", "404 not Found");
    loadPage("http://example.com/empty", " \n ");
    EXPECT_EQ(bar().titleLabel().text(), "Untitled");
    auto items = history();
    std::vector<std::string> recorded;
    for (const auto& item : items)
        recorded.push_back(item.URL + " " + item.title);
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, (std::vector<std::string> { "http://example.com/empty Untitled", "https://localhost:4433/a?b=1 Secure" }));

    // A title told after the load ended still reaches the bar and the
    // history; a late "404 Not Found" takes the page out again.
    browser->loadRequest(core::URLRequest(url("http://example.com/late")));
    runLoop();
    page().finishLoad("");
    runLoop();
    EXPECT_EQ(bar().titleLabel().text(), "Untitled");
    page().reportTitle("Late Title");
    runLoop();
    EXPECT_EQ(bar().titleLabel().text(), "Late Title");
    EXPECT_EQ(history().back().URL, "http://example.com/late");
    EXPECT_EQ(history().back().title, "Late Title");
    page().reportTitle("404 Not Found");
    runLoop();
    for (const auto& item : history())
        EXPECT_NE(item.URL, "http://example.com/late");

    // Long, multi-line, controlled and broken titles become one line.
    std::string huge(100000, 'x');
    loadPage("http://example.com/huge", "a\nb\x01" "c\xff\xfe " + huge);
    std::string shown = bar().titleLabel().text();
    EXPECT_EQ(shown.substr(0, 8), "a b c\xEF\xBF\xBD");
    EXPECT_LE(shown.size(), 4 * VKWebMaximumTitleLength);
    EXPECT_EQ(shown.find('\n'), std::string::npos);
    EXPECT_EQ(documentTitle(webView()), shown);
    bar().layoutIfNeeded();
    EXPECT_EQ(bar().titleLabel().frame().x(), 4) << "a title wider than the bar starts at the content's left";
}

TEST_F(VKWebBrowserControllerTest, FramesLeaveTheAddressAloneAndLinksUpdateBackAndForward)
{
    loadPage("http://127.0.0.1:8/site/index.html", "Home");
    size_t backForward = ui->count("backForward");
    core::URLRequest frame(url("http://127.0.0.1:8/site/frame.html"));
    frame.setHeader("Referer", "http://127.0.0.1:8/site/index.html");
    page().navigate(frame, NavigationType::Other);
    runLoop();
    EXPECT_EQ(browser->canonicalRequest()->url().absoluteString(), "http://127.0.0.1:8/site/index.html");
    EXPECT_EQ(browser->loadingRequest()->url().absoluteString(), "http://127.0.0.1:8/site/frame.html");
    EXPECT_EQ(bar().titleLabel().text(), "Home");
    EXPECT_EQ(field().text(), "127.0.0.1:8/site/index.html");
    EXPECT_EQ(ui->count("backForward"), backForward);
    page().finishLoad("Frame");
    runLoop();
    advance(1.1);

    // A scripted load without a referrer counts as the user's.
    page().navigate(core::URLRequest(url("http://127.0.0.1:8/site/b.html")), NavigationType::Other);
    runLoop();
    EXPECT_EQ(browser->canonicalRequest()->url().absoluteString(), "http://127.0.0.1:8/site/b.html");
    page().finishLoad("B");
    runLoop();

    page().navigate(core::URLRequest(url("http://127.0.0.1:8/site/a.html")), NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(browser->canonicalRequest()->url().absoluteString(), "http://127.0.0.1:8/site/a.html");
    EXPECT_EQ(field().text(), "127.0.0.1:8/site/a.html");
    EXPECT_EQ(bar().titleLabel().text(), "Loading...");
    EXPECT_GT(ui->count("backForward"), backForward + 1);

    // Requests are equal by address, method, header fields and body.
    core::URLRequest a(url("http://x.test/")), b(url("http://x.test/"));
    b.setTimeoutInterval(5);
    VKWebBrowserController::setMutableRequestIsOpen(b);
    EXPECT_TRUE(a == b);
    b.setHeader("Referer", "");
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(VKWebBrowserController::isOpenRequest(b));
    EXPECT_FALSE(VKWebBrowserController::isOpenRequest(a));
}

TEST_F(VKWebBrowserControllerTest, TypedAddressesLoadOnceAndWhatIsNoAddressIsSearchedFor)
{
    typeAddress("127.0.0.1:8/site/a.html");
    EXPECT_EQ(loadedAddresses(), (std::vector<std::string> { "http://127.0.0.1:8/site/a.html" }));
    page().finishLoad("A");
    runLoop();
    advance(1.1);

    // The page on screen again: nothing loads. Empty: the address returns.
    typeAddress("http://127.0.0.1:8/site/a.html");
    typeAddress("");
    EXPECT_EQ(page().loads().size(), 1u);
    EXPECT_EQ(field().text(), "127.0.0.1:8/site/a.html");

    typeAddress("a b");
    EXPECT_EQ(loadedAddresses().back(), "http://search.test/m/search?q=a%20b");
    // Hosts in other scripts load under their ASCII name.
    typeAddress("bücher.example/straße?q=ü");
    EXPECT_EQ(loadedAddresses().back(), "http://xn--bcher-kva.example/stra%C3%9Fe?q=%C3%BC");
    typeAddress("HTTPS://東京.example:8443");
    EXPECT_EQ(loadedAddresses().back(), "HTTPS://xn--1lqs71d.example:8443");
    typeAddress("javascript:alert(1)");
    EXPECT_EQ(loadedAddresses().back(), "http://search.test/m/search?q=javascript%3Aalert%281%29");

    // 64 KiB typed: one load, no more.
    size_t before = page().loads().size();
    driver.tap(field());
    runLoop();
    driver.clear(field());
    driver.paste(std::string(65536, 'w') + " x");
    driver.pressReturn();
    runLoop();
    EXPECT_EQ(page().loads().size(), before + 1) << loadedAddresses().back().substr(0, 80);

    // Without a search site nothing can be made of it: "Load Error".
    core::UserDefaults::standard()->set(VKWebBrowserController::SearchHostKey, core::Value(""));
    before = page().loads().size();
    typeAddress("a b");
    EXPECT_EQ(page().loads().size(), before);
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "Load Error");
    EXPECT_EQ(alert->message(), "");
    EXPECT_EQ(alert->buttonTitle(0), "OK");
    driver.pressAlertButton("OK");
    runLoop();
}

TEST_F(VKWebBrowserControllerTest, SearchesEscapeTheWholeTextAsOneQueryValue)
{
    EXPECT_EQ(VKWebBrowserController::searchURL("c++ & co")->absoluteString(),
        "http://search.test/m/search?q=c%2B%2B%20%26%20co");
    EXPECT_EQ(VKWebBrowserController::searchURL("a&b=c#d;/?")->absoluteString(),
        "http://search.test/m/search?q=a%26b%3Dc%23d%3B%2F%3F");
    EXPECT_EQ(VKWebBrowserController::searchURL("Zürich")->absoluteString(), "http://search.test/m/search?q=Z%C3%BCrich");
    EXPECT_EQ(VKWebBrowserController::searchURL("")->absoluteString(), "http://search.test/m");

    // The search button: search mode, the last query offered again.
    driver.tap(bar().searchButton());
    runLoop();
    EXPECT_TRUE(bar().isSearching());
    EXPECT_EQ(field().returnKeyType(), ui::TextInput::ReturnKeyType::Google);
    EXPECT_EQ(field().keyboardType(), ui::TextInput::KeyboardType::Default);
    EXPECT_EQ(field().placeholder(), "Search");
    driver.type("c++ & co");
    driver.pressReturn();
    runLoop();
    EXPECT_EQ(loadedAddresses().back(), "http://search.test/m/search?q=c%2B%2B%20%26%20co");
    EXPECT_EQ(browser->lastSearchQuery(), "c++ & co");
    EXPECT_EQ(field().returnKeyType(), ui::TextInput::ReturnKeyType::Go);
    EXPECT_EQ(field().keyboardType(), ui::TextInput::KeyboardType::URL);
    driver.tap(bar().searchButton());
    runLoop();
    EXPECT_EQ(field().text(), "c++ & co");
    bar().cancelEditing();
    runLoop();
}

TEST_F(VKWebBrowserControllerTest, UnknownHostsAreRetriedWithComOnceOrSearchedFor)
{
    typeAddress("tandryretry");
    // The engine reports the address as it writes it: "/" for no path.
    fail(urlError(net::URLError::CannotFindHost, "http://tandryretry/"));
    EXPECT_EQ(loadedAddresses(), (std::vector<std::string> { "http://tandryretry", "http://tandryretry.com" }));
    EXPECT_FALSE(alertShown());
    // The ".com" host fails too: it has a domain, so the field's text is
    // searched for; no loop.
    fail(urlError(net::URLError::CannotFindHost, "http://TandryRetry.com:80/"));
    EXPECT_EQ(loadedAddresses().back(), "http://search.test/m/search?q=tandryretry.com");

    // Hosts with a domain, a port, a path of two or more or a query: search.
    for (const char* address : { "nohost.example", "word:81", "word/ab", "word?q" }) {
        SCOPED_TRACE(address);
        size_t before = page().loads().size();
        typeAddress(address);
        std::string loaded = loadedAddresses().back();
        fail(urlError(net::URLError::CannotFindHost, loaded));
        ASSERT_EQ(page().loads().size(), before + 2);
        EXPECT_TRUE(loadedAddresses().back().starts_with("http://search.test/m/search?q="));
        EXPECT_FALSE(alertShown());
    }

    // The search site itself not found: an alert, never another search.
    size_t before = page().loads().size();
    fail(urlError(net::URLError::CannotFindHost, loadedAddresses().back()));
    EXPECT_EQ(page().loads().size(), before);
    EXPECT_EQ(driver.alert()->title(), "search.test");
    driver.pressAlertButton("OK");
    runLoop();
}

TEST_F(VKWebBrowserControllerTest, FailuresAreReportedByTheirTable)
{
    const std::string address = "http://127.0.0.1:8/site/index.html";
    auto start = [&](bool open = false) {
        core::URLRequest request(url(address));
        if (open)
            VKWebBrowserController::setMutableRequestIsOpen(request);
        browser->loadRequest(request);
        runLoop();
    };
    auto shownAlert = [&]() -> std::string {
        if (!alertShown())
            return "none";
        auto alert = driver.alert();
        std::string text = alert->title() + " | " + alert->message();
        driver.pressAlertButton(0);
        runLoop();
        return text;
    };
    struct Row {
        const char* name;
        std::function<void()> before;
        core::Error error;
        std::string alert;
        bool loadEnd;
    };
    core::Error other("SomeDomain", 7, "It broke <b>here</b>");
    std::vector<Row> rows {
        { "cancelled by the user", [&] { start(); browser->setDidCancelLoad(true); }, urlError(-1001, address), "none", true },
        { "covered", [&] { start(); browser->presentModalViewController(ui::ViewController::create(), false); },
            urlError(-1001, address), "none", true },
        { "cancelled", [&] { start(); }, urlError(net::URLError::Cancelled, address), "none", true },
        { "a frame", [&] { start(); }, urlError(-1001, "http://127.0.0.1:8/site/frame.html"), "none", true },
        { "open: cannot show", [&] { start(true); }, web::WebError::make(100, url(address)), "127.0.0.1 | Failed to open URL", true },
        { "open: interrupted", [&] { start(true); }, web::WebError::make(102, url(address)), "none", false },
        { "open: other", [&] { start(true); }, urlError(-1001, address), "none", true },
        { "interrupted", [&] { start(); }, web::WebError::make(102, url(address)), "127.0.0.1 | Page load failed", true },
        { "time-out", [&] { start(); }, urlError(-1001, address), "127.0.0.1 | " + urlError(-1001, address).localizedDescription(), true },
        { "other domain", [&] { start(); }, other, "Load Error | It broke <b>here</b>", true },
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.before();
        size_t logged = logLines().size();
        fail(row.error);
        ASSERT_GT(logLines().size(), logged);
        EXPECT_NE(logLines()[logged].find("webView didFailLoadWithError: "), std::string::npos);
        EXPECT_EQ(shownAlert(), row.alert);
        EXPECT_EQ(browser->isLoadingEndPending(), row.loadEnd);
        if (navigation->modalViewController()) {
            navigation->dismissModalViewController(false);
            runLoop();
        }
        advance(1.1);
        EXPECT_FALSE(browser->didCancelLoad());
    }
    EXPECT_TRUE(history().empty()) << "failed loads are never recorded";
}

TEST_F(VKWebBrowserControllerTest, StoppingIsNotAFailureAndMailLinksGoToTheSystem)
{
    loadPage("http://127.0.0.1:8/site/index.html", "Home");
    advance(1.1);
    page().navigate(core::URLRequest(url("http://127.0.0.1:8/site/slow.html")), NavigationType::LinkClicked);
    runLoop();
    driver.tap(field().rightButton());
    runLoop();
    EXPECT_EQ(page().commands(), (std::vector<std::string> { "stop" }));
    EXPECT_FALSE(alertShown());
    EXPECT_TRUE(browser->didCancelLoad());
    advance(1.1);
    EXPECT_FALSE(browser->didCancelLoad());
    EXPECT_TRUE(shows("VKTextFieldControlRefresh.png"));

    size_t loads = page().loads().size();
    page().navigate(core::URLRequest(url("mailto:someone@example.com")), NavigationType::LinkClicked);
    runLoop();
    ASSERT_EQ(driver.openedURLs().size(), 1u);
    EXPECT_EQ(driver.openedURLs()[0].absoluteString(), "mailto:someone@example.com");
    EXPECT_EQ(page().loads().size(), loads);
    EXPECT_FALSE(alertShown());
}

TEST_F(VKWebBrowserControllerTest, EditingShowsTheTypeAheadListOverThePage)
{
    VKWebHistory::sharedWebHistory()->addURL(url("http://alpha.example/one"), std::string("One"));
    VKWebHistory::sharedWebHistory()->addURL(url("http://beta.example/two"), std::string("Two"));
    loadPage("http://127.0.0.1:8/site/long.html", "Long");
    advance(1.1);
    page().reportMetrics({ 0, 540, 320, 5000, 320, 460 });
    runLoop();
    ASSERT_EQ(scroller().contentOffset().y, 600);

    // (Out of sight, the field takes the keyboard from code.)
    field().becomeFirstResponder();
    runLoop();
    EXPECT_EQ(scroller().contentOffset().y, 0);
    EXPECT_FALSE(scroller().isScrollEnabled());
    EXPECT_EQ(field().text(), "http://127.0.0.1:8/site/long.html");
    ASSERT_TRUE(browser->historyController());
    EXPECT_EQ(browser->historyController()->view()->frame(), gfx::Rect(0, 60, 320, 400));
    EXPECT_EQ(browser->historyController()->view()->superview(), &webView());
    EXPECT_EQ(bar().cancelButton()->alpha(), 1);
    EXPECT_EQ(bar().closeButton().alpha(), 0);

    driver.clear(field());
    driver.type("beta");
    runLoop();
    auto rows = browser->historyController()->filteredItems();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].URL, "http://beta.example/two");
    driver.tapRow(*browser->historyController()->tableView(), { 0, 0 });
    runLoop();
    EXPECT_EQ(loadedAddresses().back(), "http://beta.example/two");
    EXPECT_FALSE(browser->historyController());
    EXPECT_TRUE(scroller().isScrollEnabled());
    EXPECT_FALSE(bar().cancelButton());

    // In search mode a row is searched for; ending leaves the address.
    driver.tap(bar().searchButton());
    runLoop();
    driver.type("alpha");
    runLoop();
    driver.tapRow(*browser->historyController()->tableView(), { 0, 0 });
    runLoop();
    EXPECT_EQ(loadedAddresses().back(), "http://search.test/m/search?q=http%3A%2F%2Falpha.example%2Fone");

    // Cancel ends editing: the address comes back once nothing loads and
    // the bar goes back to the page's top.
    page().finishLoad("Results");
    runLoop();
    advance(1.1);
    driver.tap(field());
    runLoop();
    driver.type("zzz");
    driver.tap(*bar().cancelButton());
    runLoop();
    EXPECT_EQ(field().text(), "search.test/m/search?q=http%3A%2F%2Falpha.example%2Fone");
    EXPECT_FALSE(browser->historyController());
    EXPECT_EQ(bar().frame().y(), 0);
}

TEST_F(VKWebBrowserControllerTest, TheBarSlidesIntoSightWhileAPageLoadsAndGoesBackToTheTop)
{
    loadPage("http://127.0.0.1:8/site/long.html", "Long");
    advance(1.1);
    page().reportMetrics({ 0, 540, 320, 5000, 320, 460 });
    runLoop();
    ASSERT_EQ(scroller().contentOffset().y, 600);
    EXPECT_EQ(bar().frame().y(), 0) << "a bar that is not loading scrolls away with the page";

    page().navigate(core::URLRequest(url("http://127.0.0.1:8/site/a.html")), NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(bar().frame().y(), 600);
    auto slide = bar().layer().animationForKey("position");
    ASSERT_TRUE(slide);
    EXPECT_FLOAT_EQ(std::get<gfx::Point>(slide->from).y, 540 + 30);
    EXPECT_EQ(slide->curve, int(ui::ViewAnimation::Curve::EaseOut));

    // While loading each bounds change puts the bar at the top of what
    // shows, never above the page's top.
    scroller().setContentOffset({ 0, 700 });
    EXPECT_EQ(bar().frame().y(), 700);
    scroller().setContentOffset({ 0, -30 });
    EXPECT_EQ(bar().frame().y(), 0);
    scroller().setContentOffset({ 0, 800 });
    EXPECT_EQ(bar().frame().y(), 800);

    // A finish drops exactly the next bounds change of its pass; the page's
    // own place is still followed.
    webView().armBoundsBlock();
    page().reportMetrics({ 0, 490, 320, 5000, 320, 460 });
    runLoop();
    EXPECT_EQ(scroller().contentOffset().y, 550);
    webView().armBoundsBlock();
    scroller().setContentOffset({ 0, 900 });
    EXPECT_EQ(scroller().contentOffset().y, 550);
    scroller().setContentOffset({ 0, 600 });
    EXPECT_EQ(scroller().contentOffset().y, 600);
    EXPECT_EQ(bar().frame().y(), 600);
    webView().armBoundsBlock();
    runLoop();
    EXPECT_FALSE(webView().isBoundsBlockArmed()) << "an unused block goes with its pass";
    bool armedAtFinish = false;
    struct Probe : test::BrowserUIRecorder {
        std::function<void()> onFinish;
        void webBrowserControllerDidFinishLoad(VKWebBrowserController&) override { onFinish(); }
    };
    auto probe = std::make_shared<Probe>();
    probe->onFinish = [&] { armedAtFinish = webView().isBoundsBlockArmed(); };
    browser->setUIDelegate(probe);
    page().finishLoad("A");
    runLoop();
    EXPECT_TRUE(armedAtFinish);

    // The loading end moves it up to the page's top in min(1, y × 0.2 ÷ 60) s.
    advance(1.01);
    EXPECT_EQ(bar().frame().y(), 0);
    auto up = bar().layer().animationForKey("position");
    ASSERT_TRUE(up);
    EXPECT_DOUBLE_EQ(up->duration, 1.0);
    EXPECT_EQ(up->curve, int(ui::ViewAnimation::Curve::EaseIn));
    advance(2);
    bar().setFrame({ 0, 150, 320, 60 });
    browser->moveNavigationViewToTopAnimated(true);
    EXPECT_DOUBLE_EQ(bar().layer().animationForKey("position")->duration, 0.5);

    // The scroll indicator stays below the bar as the view changes size.
    webView().setFrame({ 0, 0, 480, 300 });
    EXPECT_EQ(scroller().scrollIndicatorInsets().top, 60);
    EXPECT_EQ(bar().frame().width(), 480);
}

// While a page loads, each of a thousand bounds changes sets the bar's
// frame and nothing else: no view is laid out, resized or moved with it.
TEST_F(VKWebBrowserControllerTest, WhileLoadingABoundsChangeSetsTheBarsFrameAndLaysOutNothing)
{
    struct Spy : ui::View {
        int frames = 0;
        int layouts = 0;
        void setFrame(const gfx::Rect& frame) override
        {
            ++frames;
            View::setFrame(frame);
        }
        void layoutSubviews() override { ++layouts; }
    };
    loadPage("http://127.0.0.1:8/site/long.html", "Long");
    advance(1.1);
    page().reportMetrics({ 0, 0, 320, 50000, 320, 460 });
    runLoop();
    page().navigate(core::URLRequest(url("http://127.0.0.1:8/site/a.html")), NavigationType::LinkClicked);
    runLoop();
    advance(1);
    ASSERT_TRUE(bar().isLoading());
    std::vector<std::shared_ptr<Spy>> spies;
    for (ui::View* parent : { static_cast<ui::View*>(&bar()), static_cast<ui::View*>(&scroller()),
             browser->view().get(), &webView().documentView() }) {
        auto spy = std::make_shared<Spy>();
        spy->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        parent->addSubview(spy);
        spy->setFrame({ 0, 0, 10, 10 });
        spy->frames = spy->layouts = 0;
        spies.push_back(spy);
    }
    window().layoutIfNeeded();
    for (auto& spy : spies)
        spy->layouts = 0;
    gfx::Rect fieldFrame = field().frame();
    for (int i = 0; i < 1000; ++i) {
        float y = float(i % 50 == 0 ? -20 : 100 + 37 * i);
        scroller().setContentOffset({ 0, y });
        window().layoutIfNeeded();
        ASSERT_EQ(bar().frame().y(), std::max(y, 0.f)) << i;
    }
    EXPECT_FALSE(bar().layer().animationForKey("position"));
    EXPECT_EQ(field().frame(), fieldFrame);
    for (const auto& spy : spies) {
        EXPECT_EQ(spy->frames, 0) << spy->superview()->className();
        EXPECT_EQ(spy->layouts, 0) << spy->superview()->className();
    }
    for (const auto& spy : spies)
        spy->removeFromSuperview();
}

TEST_F(VKWebBrowserControllerTest, BookmarksAreListedAddedAndLoaded)
{
    auto store = VKWebBookmarks::sharedWebBookmarks();
    for (const auto& bookmark : store->bookmarks())
        store->removeBookmark(bookmark);
    store->addURL(url("http://alpha.example/"), std::string("Alpha"));
    loadPage("http://127.0.0.1:8/site/index.html", "Home Page");
    EXPECT_EQ(browser->title(), "Home Page") << "the window's title follows the page";

    browser->showBookmarksViewController();
    runLoop();
    auto* listNavigation = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(listNavigation);
    auto* list = dynamic_cast<VKWebBookmarksViewController*>(listNavigation->topViewController());
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->addCellEnabled());
    ASSERT_TRUE(list->navigationItem().leftBarButtonItem());
    EXPECT_EQ(list->navigationItem().leftBarButtonItem()->systemItem(), ui::BarButtonItem::SystemItem::Cancel);

    browser->webBookmarksViewControllerDidSelectAddBookmark(*list);
    runLoop();
    auto* formNavigation = dynamic_cast<ui::NavigationController*>(listNavigation->modalViewController());
    ASSERT_TRUE(formNavigation);
    auto* form = dynamic_cast<VKWebAddBookmarkViewController*>(formNavigation->topViewController());
    ASSERT_TRUE(form);
    EXPECT_EQ(form->bookmark().URL, "http://127.0.0.1:8/site/index.html");
    EXPECT_EQ(form->bookmark().title, "Home Page");
    EXPECT_EQ(form->navigationItem().rightBarButtonItem()->systemItem(), ui::BarButtonItem::SystemItem::Save);
    driver.tapBarItem(*form->navigationItem().rightBarButtonItem());
    runLoop();
    EXPECT_FALSE(navigation->modalViewController());
    ASSERT_EQ(store->bookmarks().size(), 2u);
    EXPECT_EQ(store->bookmarks().back().URL, "http://127.0.0.1:8/site/index.html");
    // Return in the form saves too, the title field's and the window's.
    for (bool fieldReturn : { true, false }) {
        browser->showBookmarksViewController();
        runLoop();
        listNavigation = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
        browser->webBookmarksViewControllerDidSelectAddBookmark(
            *dynamic_cast<VKWebBookmarksViewController*>(listNavigation->topViewController()));
        advance(1);
        ASSERT_TRUE(listNavigation->modalViewController());
        if (fieldReturn) {
            driver.pressReturn();
        } else {
            driver.firstResponder()->resignFirstResponder();
            EXPECT_TRUE(driver.key(ui::KeyCommand::Return));
        }
        advance(1);
        EXPECT_FALSE(navigation->modalViewController());
        EXPECT_EQ(store->bookmarks().size(), fieldReturn ? 3u : 4u);
    }

    // No address only closes the list; one loads.
    browser->showBookmarksViewController();
    runLoop();
    list = dynamic_cast<VKWebBookmarksViewController*>(
        dynamic_cast<ui::NavigationController*>(navigation->modalViewController())->topViewController());
    size_t loads = page().loads().size();
    browser->webBookmarksViewControllerDidSelectURL(*list, std::nullopt);
    runLoop();
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_EQ(page().loads().size(), loads);
    browser->showBookmarksViewController();
    runLoop();
    list = dynamic_cast<VKWebBookmarksViewController*>(
        dynamic_cast<ui::NavigationController*>(navigation->modalViewController())->topViewController());
    browser->webBookmarksViewControllerDidSelectURL(*list, url("http://alpha.example/"));
    runLoop();
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_EQ(loadedAddresses().back(), "http://alpha.example/");
    EXPECT_EQ(field().text(), "alpha.example/");
}

TEST_F(VKWebBrowserControllerTest, DownloadsGoToTheDelegateAndThePageStaysCurrent)
{
    loadPage("http://127.0.0.1:8/site/index.html", "Home");
    core::URLRequest file(url("http://127.0.0.1:8/site/file.zip"));
    browser->startDownloadWithRequest(file);
    ASSERT_EQ(downloads->requests.size(), 1u);
    EXPECT_TRUE(downloads->requests[0] == file);
    EXPECT_EQ(browser->canonicalRequest()->url().absoluteString(), "http://127.0.0.1:8/site/index.html");
    bool recorded = false;
    for (const auto& item : history())
        recorded = recorded || (item.URL == "http://127.0.0.1:8/site/file.zip" && item.title.empty());
    EXPECT_TRUE(recorded);
}

TEST_F(VKWebBrowserControllerTest, AppearanceTransitionsAndUnloading)
{
    auto other = ui::ViewController::create();
    navigation->pushViewController(other, false);
    runLoop();
    EXPECT_FALSE(browser->viewTransitionActive());
    navigation->popViewController(true);
    EXPECT_TRUE(browser->viewTransitionActive());
    runLoop();
    advance(1);
    EXPECT_FALSE(browser->viewTransitionActive());
    EXPECT_EQ(ui->count("willAppear"), 2u);

    // Unloading lets the web view's delegate go.
    std::weak_ptr<VKWebBrowserView> view = std::static_pointer_cast<VKWebBrowserView>(webView().shared_from_this());
    navigation->pushViewController(ui::ViewController::create(), false);
    runLoop();
    auto held = view.lock();
    browser->viewDidUnload();
    EXPECT_FALSE(held->delegate());
    EXPECT_FALSE(browser->webView());
}

} // namespace
