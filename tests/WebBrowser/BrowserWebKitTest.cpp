// The browser on WebKit itself under the test program's Xvfb, loading the
// test site from TestWebServer: titles, history and address at a load's
// end, a link tapped in the page, frames, TLS and the padlock, the search
// as the server receives it, a refused connection, stopping a stalled page
// and a mail link; signing in through the sheet, responses offered instead
// of shown, and the sheets of held links and images.

#include "BrowserTestCase.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLLoadingOptions.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/AlertView.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Support/NetworkNamespace.h"
#include "Support/Python.h"
#include "Support/RefusingPort.h"
#include "Support/TestWebServer.h"
#include "Support/XvfbDisplay.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"
#include "WebBrowser/VKWebAuthenticationController.h"
#include "WebBrowser/VKWebHistory.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class BrowserWebKitTest : public test::BrowserTestCase {
protected:
    void useEngine() override
    {
        TANDRY_REQUIRE_DISPLAY();
        auto engine = web::GtkWebEngine::shared();
        ASSERT_TRUE(engine);
        web::WebEngine::setCurrent(engine);
    }
    void SetUp() override
    {
        BrowserTestCase::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::TestWebServer::Options options;
        options.tls = true;
        server = std::make_unique<test::TestWebServer>(pathInHome("server"), options);
        core::UserDefaults::standard()->set(VKWebBrowserController::SearchHostKey,
            core::Value("127.0.0.1:" + std::to_string(server->port())));
    }
    void TearDown() override
    {
        if (browser && browser->webView())
            browser->webView()->stopLoading();
        BrowserTestCase::TearDown();
        server.reset();
    }
    static bool waitFor(const std::function<bool()>& predicate, double seconds = 30)
    {
        return core::RunLoop::main().runUntil(predicate, seconds);
    }
    // Until the next load end of the browser (a finish or a failure).
    bool waitForLoadEnd()
    {
        return waitFor([&] { return browser->isLoadingEndPending() || alertShown(); });
    }
    // Lets the loading end run on the test clock.
    void endLoading()
    {
        advance(1.1);
        runLoop();
    }
    bool alertShown() { return !driver.shownChoices().empty(); }
    // Clicks the page's element of that id from a script.
    std::string evaluateClick(const std::string& id)
    {
        auto answer = std::make_shared<std::optional<std::string>>();
        webView().evaluateJavaScript("document.getElementById('" + id + "').click(); 'clicked'",
            [answer](const std::string& result, const core::Error* error) { *answer = error ? "error" : result; });
        waitFor([&] { return answer->has_value(); });
        return answer->value_or("no answer");
    }
    std::vector<std::string> requestedPaths()
    {
        std::vector<std::string> paths;
        for (const auto& request : server->requests())
            paths.push_back(request.path);
        return paths;
    }
    size_t requestsFor(std::string_view path)
    {
        auto paths = requestedPaths();
        return size_t(std::count(paths.begin(), paths.end(), path));
    }

    // The authentication sheet once it shows (the top of the presented stack).
    VKWebAuthenticationController* sheet()
    {
        auto* stack = dynamic_cast<ui::NavigationController*>(navigation->modalViewController());
        return stack ? dynamic_cast<VKWebAuthenticationController*>(stack->topViewController()) : nullptr;
    }
    // A question that comes while the sheet before is still leaving is
    // shown a moment later on the test clock, which stands still while
    // this waits: the moment is let pass once the question has come.
    bool waitForSheet()
    {
        bool asked = waitFor([&] { return sheet() != nullptr || browser->authenticationControllerForTesting(); }, 15);
        if (asked && !sheet())
            advance(VKWebBrowserController::AuthenticationPresentDelay);
        bool shown = asked && sheet() != nullptr;
        advance(1);
        return shown;
    }
    // Types into the sheet's fields and logs in with Return.
    void logIn(const std::string& user, const std::string& password)
    {
        // The fields may hold the last answer (the session's proposal); after
        // a refusal the password field is the one being edited.
        driver.tap(*sheet()->usernameField());
        if (!sheet()->usernameField()->text().empty())
            driver.clear(*sheet()->usernameField());
        driver.type(user);
        driver.pressReturn();
        if (!sheet()->passwordField()->text().empty())
            driver.clear(*sheet()->passwordField());
        driver.type(password);
        driver.pressReturn();
        runLoop();
        // The sheet's way out, short of the loading end's delay: a load the
        // answer ended meanwhile is still pending for waitForLoadEnd.
        advance(VKWebBrowserController::LoadingEndDelay / 2);
    }
    bool historyHas(const std::string& address)
    {
        for (const auto& item : VKWebHistory::sharedWebHistory()->allItems())
            if (item.URL == address)
                return true;
        return false;
    }
    // A long press on the page at a point of the web view; the sheet it
    // brings.
    std::shared_ptr<ui::ActionSheet> holdAt(gfx::Point point)
    {
        bool snapshot = false;
        webView().updateSnapshot([&] { snapshot = true; });
        waitFor([&] { return snapshot; }, 5);
        auto fingers = driver.touchDown({ webView().convertPoint(point, nullptr) });
        driver.wait(0.7);
        driver.touchUp(fingers);
        if (!waitFor([&] { return !driver.shownChoices().empty(); }, 10))
            return nullptr;
        advance(0.5);
        return driver.actionSheet();
    }
    static std::vector<std::string> sheetButtons(const ui::ActionSheet& sheet)
    {
        std::vector<std::string> titles;
        for (int i = 0; i < sheet.numberOfButtons(); ++i)
            titles.push_back(sheet.buttonTitle(i));
        return titles;
    }

    std::unique_ptr<test::TestWebServer> server;
};

TEST_F(BrowserWebKitTest, APageLoadsWithItsTitleAddressAndHistoryAndALinkTapLoadsTheNext)
{
    const std::string home = server->url("/site/index.html");
    typeAddress(home.substr(std::string("http://").size()));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([&] { return bar().titleLabel().text() != "Untitled"; }, 10));
    EXPECT_EQ(ui->count("didFinishLoad"), 1u);
    EXPECT_EQ(bar().titleLabel().text(), "Tandry Test Home");
    EXPECT_EQ(field().text(), home.substr(7));
    EXPECT_FALSE(bar().isSecure());
    auto history = VKWebHistory::sharedWebHistory()->allItems();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().URL, home);
    EXPECT_EQ(history.back().title, "Tandry Test Home");
    // The iframe loaded without touching the address or the title.
    ASSERT_TRUE(waitFor([&] { return requestsFor("/site/frame.html") == 1; }));
    EXPECT_EQ(browser->canonicalRequest()->url().absoluteString(), home);
    endLoading();
    EXPECT_FALSE(bar().isLoading());
    EXPECT_EQ(bar().frame().y(), 0);

    // Typing the address on screen again loads nothing.
    size_t asked = requestsFor("/site/index.html");
    typeAddress(home);
    runLoop();
    EXPECT_EQ(requestsFor("/site/index.html"), asked);

    // A tap on the first link (below the bar and the page's 60-point band).
    size_t backForward = ui->count("backForward");
    webView().updateSnapshot([] { });
    driver.tapAt(webView(), { 40, 60 + 60 + 20 });
    ASSERT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Page A"; }));
    EXPECT_TRUE(waitFor([&] { return field().text() == server->url("/site/a.html").substr(7); }, 5))
        << field().text() << " request " << webView().request()->url().absoluteString() << " state " << webView().state().url
        << " editing " << field().isEditing();
    EXPECT_GT(ui->count("backForward"), backForward);
    EXPECT_TRUE(webView().canGoBack());
}

TEST_F(BrowserWebKitTest, TitlesAreTrimmedAndNotFoundPagesAreNotRecorded)
{
    for (const char* name : { "notfound.html", "empty.html", "unicode.html", "missing.html" }) {
        browser->loadRequest(core::URLRequest(url(server->url(std::string("/site/") + name))));
        ASSERT_TRUE(waitForLoadEnd()) << name;
        // WebKit may tell the title a moment after the load's end.
        waitFor([&] { return webView().title() != ""; }, std::string(name) == "empty.html" ? 1 : 10);
        endLoading();
    }
    std::vector<std::string> recorded;
    for (const auto& item : VKWebHistory::sharedWebHistory()->allItems())
        recorded.push_back(item.title);
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(recorded, (std::vector<std::string> { "Untitled", "Zürich – Ελληνικά – 東京 – עברית" }));
}

TEST_F(BrowserWebKitTest, SecurePagesShowThePadlockAndARefusedConnectionAlertsWithTheHost)
{
    net::URLLoadingOptions::setCAFile(server->caFile());
    browser->loadRequest(core::URLRequest(url(server->tlsURL("/site/a.html", "127.0.0.1"))));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_FALSE(alertShown());
    EXPECT_TRUE(bar().isSecure());
    EXPECT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Page A"; }, 10));
    endLoading();
    browser->loadRequest(core::URLRequest(url(server->url("/site/a.html"))));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_FALSE(bar().isSecure());
    endLoading();

    // A port nothing listens on.
    test::RefusingPort refusing;
    browser->loadRequest(core::URLRequest(url("http://127.0.0.1:" + std::to_string(refusing.port()) + "/site/a.html")));
    ASSERT_TRUE(waitFor([&] { return alertShown(); }));
    EXPECT_EQ(driver.alert()->title(), "127.0.0.1");
    driver.pressAlertButton("OK");
    runLoop();
}

TEST_F(BrowserWebKitTest, SearchesReachTheServerAsTyped)
{
    driver.tap(bar().searchButton());
    runLoop();
    driver.type("c++ & co");
    driver.pressReturn();
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_TRUE(waitFor([&] { return bar().titleLabel().text() == "c++ & co - Search"; }, 10)) << bar().titleLabel().text();
    std::string path;
    for (const auto& request : server->requests())
        if (request.path.starts_with("/m/search"))
            path = request.path;
    EXPECT_EQ(path, "/m/search?q=c%2B%2B%20%26%20co");
    EXPECT_EQ(test::runPython("import urllib.parse, sys\nprint(urllib.parse.parse_qs(sys.argv[1])['q'][0], end='')",
                  { path.substr(path.find('?') + 1) }),
        "c++ & co");
    endLoading();

    driver.tap(bar().searchButton());
    runLoop();
    EXPECT_EQ(field().text(), "c++ & co");
    driver.clear(field());
    driver.type("Zürich");
    driver.pressReturn();
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Zürich - Search"; }, 10)) << bar().titleLabel().text();
    endLoading();
    EXPECT_TRUE(browser->performWebSearchWithText(""));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_EQ(requestedPaths().back(), "/m");
    endLoading();
}

// In a network namespace of its own, with a hosts file of its own and no
// other resolver: a one-word host that does not resolve is loaded once
// more with ".com" (served there on port 80), a dotted one is searched for.
TEST_F(BrowserWebKitTest, AnUnknownWordIsRetriedWithComAndAnUnknownDottedNameIsSearchedFor)
{
    TANDRY_IN_NETWORK_NAMESPACE();
    std::string hosts = makeFile("etc/hosts", "127.0.0.1 localhost tandryretry.com\n::1 localhost\n");
    std::string switches = makeFile("etc/nsswitch.conf", "hosts: files\n");
    ASSERT_TRUE(test::shell("mount --bind '" + hosts + "' /etc/hosts && mount --bind '" + switches
        + "' /etc/nsswitch.conf"));
    test::TestWebServer::Options options;
    options.port = 80;
    test::TestWebServer retried(pathInHome("port80"), options);
    ASSERT_TRUE(retried.isRunning());

    typeAddress("tandryretry");
    ASSERT_TRUE(waitFor([&] { return !retried.requests().empty(); })) << requestedPaths().size();
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_FALSE(alertShown()) << driver.alert()->title() << ": " << driver.alert()->message();
    // One load of the retried address (the page's own files aside).
    auto asked = retried.requests();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0].path, "/");
    EXPECT_EQ(asked[0].header("Host"), std::optional<std::string>("tandryretry.com"));
    EXPECT_EQ(std::count_if(asked.begin(), asked.end(), [](const auto& request) { return request.path == "/"; }), 1);
    ASSERT_TRUE(field().URL());
    EXPECT_EQ(field().URL()->host(), "tandryretry.com");
    EXPECT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Tandry Test Home"; }, 10))
        << bar().titleLabel().text();
    endLoading();

    // A name with a domain is not retried: it is searched for.
    size_t before = server->requests().size();
    typeAddress("nohost.example");
    ASSERT_TRUE(waitFor([&] { return server->requests().size() > before; }));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_TRUE(requestedPaths().back().starts_with("/m/search?q=nohost.example")) << requestedPaths().back();
    EXPECT_EQ(retried.requests().size(), asked.size());
    EXPECT_FALSE(alertShown());
    endLoading();
}

TEST_F(BrowserWebKitTest, StoppingAStalledPageIsSilentAndMailLinksGoToTheSystem)
{
    browser->loadRequest(core::URLRequest(url(server->url("/site/slow.html?stall_after=100&token=slow"))));
    ASSERT_TRUE(waitFor([&] { return requestsFor("/site/slow.html?stall_after=100&token=slow") == 1; }));
    ASSERT_TRUE(waitFor([&] { return bar().isLoading(); }));
    driver.tap(field().rightButton());
    EXPECT_TRUE(browser->didCancelLoad());
    ASSERT_TRUE(waitForLoadEnd());
    server->release("slow");
    EXPECT_FALSE(alertShown());
    EXPECT_TRUE(browser->didCancelLoad());
    endLoading();
    EXPECT_FALSE(browser->didCancelLoad());

    browser->loadRequest(core::URLRequest(url(server->url("/site/index.html"))));
    ASSERT_TRUE(waitForLoadEnd());
    endLoading();
    size_t pages = server->requests().size();
    EXPECT_EQ(evaluateClick("mail"), "clicked");
    ASSERT_TRUE(waitFor([&] { return !driver.openedURLs().empty(); }));
    EXPECT_EQ(driver.openedURLs().back().absoluteString(), "mailto:someone@example.com");
    runLoop();
    EXPECT_EQ(server->requests().size(), pages);
    EXPECT_FALSE(alertShown());
}

TEST_F(BrowserWebKitTest, APrivatePageAsksThroughTheSheetAndTheAnswerLastsForTheSession)
{
    net::CredentialStorage::shared().removeAllCredentialsForTesting();
    server->guardPrivateSite("user=anna&pass=s3cret&realm=Tandry%20Test");
    const std::string home = server->url("/site/index.html");
    const std::string privatePage = server->url("/site/private/index.html");
    browser->loadRequest(core::URLRequest(url(home)));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Tandry Test Home"; }, 10));
    endLoading();

    // Cancel: no alert, the title stays, nothing recorded.
    browser->loadRequest(core::URLRequest(url(privatePage)));
    ASSERT_TRUE(waitForSheet());
    EXPECT_EQ(sheet()->navigationItem().prompt(), "Log into 127.0.0.1");
    EXPECT_EQ(sheet()->usernameField()->text(), "");
    EXPECT_EQ(sheet()->passwordField()->text(), "");
    EXPECT_EQ(sheet()->securityWarningLabel()->text(), "Password will be sent in the clear");
    EXPECT_EQ(sheet()->challenge()->protectionSpace().realm, "Tandry Test");
    driver.tapBarItem(*sheet()->navigationItem().leftBarButtonItem());
    runLoop();
    ASSERT_TRUE(waitForLoadEnd());
    advance(1);
    EXPECT_FALSE(navigation->modalViewController());
    EXPECT_FALSE(alertShown());
    EXPECT_EQ(bar().titleLabel().text(), "Tandry Test Home");
    EXPECT_FALSE(historyHas(privatePage));
    endLoading();

    // Wrong answers bring the sheet back; the sixth ends at the server's refusal.
    browser->loadRequest(core::URLRequest(url(privatePage)));
    for (int attempt = 0; attempt < 6; ++attempt) {
        ASSERT_TRUE(waitForSheet()) << attempt;
        EXPECT_EQ(sheet()->challenge()->previousFailureCount(), attempt);
        logIn("anna", "wrong" + std::to_string(attempt));
    }
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_TRUE(waitFor([&] { return webView().title() == "401 Authorization Required"; }, 10)) << webView().title();
    EXPECT_FALSE(sheet()) << "no seventh sheet";
    endLoading();

    // The right answer: the page, its title, a history entry.
    browser->loadRequest(core::URLRequest(url(privatePage)));
    ASSERT_TRUE(waitForSheet());
    logIn("anna", "s3cret");
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Private Page"; }, 10)) << bar().titleLabel().text();
    EXPECT_FALSE(alertShown());
    EXPECT_TRUE(historyHas(privatePage));
    endLoading();

    // Remembered for the session: the loader and the next private page ask nobody.
    std::optional<int> status;
    struct Loaded : net::URLConnectionDelegate {
        std::optional<int>* status;
        void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override
        {
            *status = response.statusCode();
        }
    };
    auto loaded = std::make_shared<Loaded>();
    loaded->status = &status;
    auto connection = net::URLConnection::create(core::URLRequest(url(server->url("/site/private/file.txt"))), loaded);
    ASSERT_TRUE(waitFor([&] { return status.has_value(); }, 10));
    EXPECT_EQ(status, 200);
    browser->loadRequest(core::URLRequest(url(server->url("/site/private/other.html"))));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Another Private Page"; }, 10));
    EXPECT_FALSE(sheet());
    endLoading();
    for (const auto& line : logLines())
        EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
    net::CredentialStorage::shared().removeAllCredentialsForTesting();
}

TEST_F(BrowserWebKitTest, FilesThePageCannotShowAreOfferedAndOpenedOrDownloaded)
{
    browser->loadRequest(core::URLRequest(url(server->url("/site/links.html"))));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Links and Images"; }, 10));
    endLoading();
    auto offered = [&] { return waitFor([&] { return !driver.shownChoices().empty(); }); };
    // The engine's failure of an ignored response: a quiet load end.
    auto quietEnd = [&] {
        return waitFor([&] { return browser->isLoadingEndPending() && !webView().isLoading(); });
    };

    // A file the server calls a page is offered by its name's type.
    const std::string report = server->url("/site/report.pdf?type=text/html");
    browser->loadRequest(core::URLRequest(url(report)));
    ASSERT_TRUE(offered());
    auto offer = driver.actionSheet();
    EXPECT_EQ(offer->tag(), VKWebBrowserController::MIMETypeSheetTag);
    EXPECT_EQ(offer->title(), report);
    EXPECT_EQ(sheetButtons(*offer), (std::vector<std::string> { "Open", "Download", "Cancel" }));
    ASSERT_TRUE(quietEnd());
    runLoop();
    EXPECT_EQ(driver.shownChoices().size(), 1u) << "no \"Page load failed\"";
    driver.pressSheetButton("Download");
    runLoop();
    ASSERT_EQ(downloads->requests.size(), 1u);
    EXPECT_EQ(downloads->requests[0].url().absoluteString(), report);
    EXPECT_EQ(bar().titleLabel().text(), "Links and Images");
    endLoading();

    // A link to a text file: offered, opened, shown as text without a second
    // offer, asked for again without a "Referer".
    EXPECT_EQ(evaluateClick("notes"), "clicked");
    ASSERT_TRUE(offered());
    EXPECT_EQ(driver.actionSheet()->title(), server->url("/site/notes.txt"));
    ASSERT_TRUE(quietEnd());
    endLoading();
    driver.pressSheetButton("Open");
    runLoop();
    ASSERT_TRUE(waitFor([&] { return requestsFor("/site/notes.txt") == 2; }));
    ASSERT_TRUE(quietEnd());
    EXPECT_FALSE(alertShown());
    std::optional<std::string> text;
    webView().evaluateJavaScript("document.body.innerText.trim()",
        [&](const std::string& result, const core::Error*) { text = result; });
    ASSERT_TRUE(waitFor([&] { return text.has_value(); }, 10));
    EXPECT_EQ(*text, "Notes of the test site.\nSecond line.");
    std::vector<test::TestWebServer::Request> notes;
    for (const auto& request : server->requests())
        if (request.path == "/site/notes.txt")
            notes.push_back(request);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_TRUE(notes[0].header("Referer"));
    EXPECT_FALSE(notes[1].header("Referer"));
    endLoading();

    // A download link: offered like any other; opened, it cannot be shown.
    browser->loadRequest(core::URLRequest(url(server->url("/site/links.html"))));
    ASSERT_TRUE(waitForLoadEnd());
    endLoading();
    EXPECT_EQ(evaluateClick("zip"), "clicked");
    ASSERT_TRUE(offered());
    EXPECT_EQ(driver.actionSheet()->title(), server->url("/site/archive.zip"));
    driver.pressSheetButton("Open");
    runLoop();
    ASSERT_TRUE(waitFor([&] { return alertShown(); }));
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "127.0.0.1");
    EXPECT_EQ(alert->message(), "Failed to open URL");
    driver.pressAlertButton("OK");
    runLoop();
    endLoading();
    // Nothing was written by the engine.
    for (const auto& folder : { pathInHome("Downloads"), pathInHome("Documents") })
        for (const auto& name : core::fs::contentsOfDirectory(folder).value_or(std::vector<std::string> {}))
            EXPECT_EQ(name.find("archive"), std::string::npos) << folder << "/" << name;
}

TEST_F(BrowserWebKitTest, HeldLinksOfferDownloadAndHeldImagesAreSaved)
{
    browser->loadRequest(core::URLRequest(url(server->url("/site/links.html"))));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([&] { return bar().titleLabel().text() == "Links and Images"; }, 10));
    endLoading();

    // Each row of the page is 56 points high, below the bar's 60.
    auto link = holdAt({ 40, 60 + 28 });
    ASSERT_TRUE(link);
    EXPECT_EQ(link->title(), server->url("/site/report.pdf"));
    EXPECT_EQ(sheetButtons(*link), (std::vector<std::string> { "Open", "Copy", "Download", "Cancel" }));
    driver.pressSheetButton("Download");
    runLoop();
    ASSERT_EQ(downloads->requests.size(), 1u);
    EXPECT_EQ(downloads->requests[0].url().absoluteString(), server->url("/site/report.pdf"));

    auto image = holdAt({ 40, 60 + 56 + 28 });
    ASSERT_TRUE(image);
    EXPECT_EQ(sheetButtons(*image), (std::vector<std::string> { "Save Image", "Copy", "Cancel" }));
    driver.pressSheetButton("Save Image");
    runLoop();
    ASSERT_EQ(downloads->images.size(), 1u);
    EXPECT_EQ(downloads->images[0].first, server->url("/site/photo.jpg"));
    EXPECT_EQ(downloads->images[0].second, std::optional<std::string>("Sunset.jpg"));

    auto linked = holdAt({ 40, 60 + 2 * 56 + 28 });
    ASSERT_TRUE(linked);
    EXPECT_EQ(sheetButtons(*linked), (std::vector<std::string> { "Open", "Copy", "Save Image", "Cancel" }));
    driver.pressSheetButton("Cancel");
    runLoop();

    auto script = holdAt({ 40, 60 + 3 * 56 + 28 });
    ASSERT_TRUE(script);
    EXPECT_EQ(sheetButtons(*script), (std::vector<std::string> { "Open", "Copy", "Cancel" }));
    driver.pressSheetButton("Cancel");
    runLoop();
    EXPECT_EQ(downloads->requests.size(), 1u);
}

} // namespace

