// The browser on WebKit itself under the test program's Xvfb, loading the
// test site from TestWebServer: titles, history and address at a load's
// end, a link tapped in the page, frames, TLS and the padlock, the search
// as the server receives it, a refused connection, stopping a stalled page
// and a mail link.

#include "BrowserTestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Net/URLLoadingOptions.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/AlertView.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Support/Python.h"
#include "Support/TestWebServer.h"
#include "Support/XvfbDisplay.h"
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
        std::optional<std::string> answer;
        webView().evaluateJavaScript("document.getElementById('" + id + "').click(); 'clicked'",
            [&](const std::string& result, const core::Error* error) { answer = error ? "error" : result; });
        waitFor([&] { return answer.has_value(); });
        return answer.value_or("no answer");
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
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);
    browser->loadRequest(core::URLRequest(url("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/site/a.html")));
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

} // namespace

