// Loads, navigations and their delegate calls with WebKit itself, against
// the loopback web server.

#include "WebKitTestCase.h"

#include "Platform/Net/CookieStorage.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"
#include "Platform/Net/URLLoadingOptions.h"

#include <algorithm>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Platform/Core/Paths.h"
#include "Platform/Web/ServerCertificate.h"
#include "Platform/Web/GtkStartup.h"

#include "Support/RefusingPort.h"
#include "Support/TestWebServer.h"

using web::NavigationType;

namespace {

class WebKitLoadTest : public test::WebKitTestCase {
protected:
    core::URL serverURL(std::string_view path) { return core::URL::parse(server().url(path)).value(); }
    test::TestWebServer& server()
    {
        if (!m_server)
            m_server = std::make_unique<test::TestWebServer>(pathInHome("server"));
        return *m_server;
    }

private:
    std::unique_ptr<test::TestWebServer> m_server;
};

TEST_F(WebKitLoadTest, APageLoadsWithItsTitleAndAnswersScripts)
{
    view->loadRequest(core::URLRequest(serverURL("/page?title=Hello")));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "shouldStartLoad 5 " + server().url("/page?title=Hello"),
                                   "didStartLoad", "decidePolicyForResponse text/html", "didFinishLoad" }));
    EXPECT_TRUE(waitFor([&] { return view->title() == "Hello"; }));
    EXPECT_EQ(evaluate("document.title"), "Hello");
    EXPECT_EQ(evaluate("1 + 1"), "2");
    EXPECT_EQ(evaluate("undefined"), "");
    EXPECT_EQ(evaluate("null"), "");
    EXPECT_EQ(evaluate("3 > 2"), "true");
    EXPECT_EQ(evaluate("throw new Error('boom')"), "error: Error: boom");
    // The view's own script and its message handler live in a world the
    // page cannot reach.
    EXPECT_EQ(evaluate("typeof __tandry"), "undefined");
    EXPECT_EQ(evaluate("String(window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.tandry)"),
        "undefined");
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->estimatedProgress(), 1.0);
}

class WebKitStartupTest : public test::TestCase { };

TEST_F(WebKitStartupTest, TheInspectorIsOffAndCachesStayInTheHome)
{
    if (web::GtkStartup::isStarted())
        GTEST_SKIP() << "GTK started earlier in this program";
    TANDRY_REQUIRE_DISPLAY();
    setenv("WEBKIT_INSPECTOR_SERVER", "127.0.0.1:9222", 1);
    setenv("WEBKIT_INSPECTOR_HTTP_SERVER", "127.0.0.1:9223", 1);
    unsetenv("GST_REGISTRY");
    ASSERT_TRUE(web::GtkStartup::start());
    EXPECT_EQ(std::getenv("WEBKIT_INSPECTOR_SERVER"), nullptr);
    EXPECT_EQ(std::getenv("WEBKIT_INSPECTOR_HTTP_SERVER"), nullptr);
    ASSERT_NE(std::getenv("XDG_CACHE_HOME"), nullptr);
    EXPECT_EQ(std::string(std::getenv("XDG_CACHE_HOME")), core::paths::home() + "/tmp/WebKit");
    // The media plugin registry outlives the quit, which empties tmp/.
    ASSERT_NE(std::getenv("GST_REGISTRY"), nullptr);
    EXPECT_EQ(std::string(std::getenv("GST_REGISTRY")), core::paths::home() + "/Library/Caches/gstreamer-registry.bin");
    EXPECT_TRUE(std::filesystem::is_directory(core::paths::home() + "/Library/Caches"));
}

// Where bubblewrap cannot lay out WebKit's sandbox (a path to share under
// /var/tmp, which the sandbox links to its own /tmp), pages load without it
// instead of WebKit aborting the program.
class WebKitSandboxTest : public test::UITestCase { };

TEST_F(WebKitSandboxTest, APathTheSandboxCannotBindLeavesPagesUnsandboxed)
{
    if (web::GtkStartup::isStarted() || web::GtkWebEngine::existing())
        GTEST_SKIP() << "the web engine started earlier in this program";
    TANDRY_REQUIRE_DISPLAY();
    std::string shared = "/var/tmp/tandry-sandbox-XXXXXX";
    if (!mkdtemp(shared.data()))
        GTEST_SKIP() << "/var/tmp is not writable here";
    web::GtkWebEngine::addReadablePathForTesting(shared);
    auto engine = web::GtkWebEngine::shared();
    ASSERT_TRUE(engine);
    EXPECT_FALSE(engine->isSandboxedForTesting());
    web::WebEngine::setCurrent(engine);
    auto delegate = std::make_shared<test::WebTestDelegate>();
    auto view = web::WebView::create(window().bounds());
    view->setDelegate(delegate);
    window().addSubview(view);
    view->loadHTMLString("<title>Unsandboxed</title>");
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return view->title() == "Unsandboxed"; }, 15));
    view->removeFromSuperview();
    std::filesystem::remove_all(shared);
}

TEST_F(WebKitLoadTest, NavigationsComeWithTheirTypes)
{
    // A page of the home with a link filling its top and a form.
    std::string start = makeFile("Documents/start.html",
        "<html><body style='margin:0'>"
        "<a id=link href='" + server().url("/page?title=Clicked") + "' style='display:block;height:200px;background:#8cf'>link</a>"
        "<form action='" + server().url("/page") + "'><input name=title value=Form><input id=send type=submit></form>"
        "</body></html>");
    view->loadRequest(core::URLRequest(core::URL::fileURL(start)));
    ASSERT_TRUE(waitForLoadEnd());
    std::string startURL = core::URL::fileURL(start).absoluteString();

    // A tap on the link, refused: the page stays.
    delegate->refuse = "Clicked";
    driver.tap(window().convertPoint({ 160, 100 }, nullptr));
    ASSERT_TRUE(waitFor([&] { return delegate->count("shouldStartLoad 0") == 1; }));
    EXPECT_EQ(delegate->calls.back(), "shouldStartLoad 0 " + server().url("/page?title=Clicked"));
    core::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(delegate->count("didStartLoad"), 1u);
    EXPECT_EQ(view->url()->absoluteString(), startURL);

    // Allowed, it navigates.
    delegate->refuse.clear();
    driver.tap(window().convertPoint({ 160, 100 }, nullptr));
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_TRUE(waitFor([&] { return view->title() == "Clicked"; }));

    view->goBack();
    ASSERT_TRUE(waitForLoadEnd(3));
    EXPECT_EQ(delegate->types.back(), NavigationType::BackForward);

    evaluate("document.getElementById('send').click()");
    ASSERT_TRUE(waitForLoadEnd(4));
    EXPECT_EQ(delegate->calls[delegate->calls.size() - 4], "shouldStartLoad 1 " + server().url("/page?title=Form"));

    view->reload();
    ASSERT_TRUE(waitForLoadEnd(5));
    EXPECT_EQ(delegate->types.back(), NavigationType::Reload);

    // Redirects and frames are "other", a frame with the page as referrer.
    view->loadRequest(core::URLRequest(serverURL("/redirect?to=/page%3Ftitle%3DMoved")));
    ASSERT_TRUE(waitForLoadEnd(6));
    EXPECT_TRUE(delegate->saw("shouldStartLoad 5 " + server().url("/page?title=Moved")));
    EXPECT_EQ(delegate->count("didStartLoad"), 6u) << "a redirect is part of its load";
    EXPECT_EQ(view->request()->url().absoluteString(), server().url("/page?title=Moved"));
    view->loadHTMLString("<iframe src='/page?title=Frame'></iframe>", serverURL("/framed"));
    ASSERT_TRUE(waitFor([&] { return delegate->saw("shouldStartLoad 5 " + server().url("/page?title=Frame")); }));
    EXPECT_EQ(delegate->requests.back().header("Referer"), server().url("/framed"));
}

TEST_F(WebKitLoadTest, FailuresComeWithTheSystemsCodesAndNoFinish)
{
    auto expectFailure = [&](const core::URL& address, int code) {
        size_t ends = delegate->count("didFinishLoad") + delegate->count("didFailLoad");
        view->loadRequest(core::URLRequest(address));
        ASSERT_TRUE(waitForLoadEnd(ends + 1)) << address.absoluteString();
        EXPECT_EQ(delegate->calls.back(), "didFailLoad " + std::to_string(code)) << address.absoluteString();
        EXPECT_EQ(delegate->failures.back().userInfo().at(net::URLError::FailingURLKey), core::Value(address.absoluteString()));
    };
    expectFailure(core::URL::parse("http://nothing.invalid/").value(), net::URLError::CannotFindHost);

    // A port nobody listens on.
    test::RefusingPort refusing;
    expectFailure(core::URL::parse("http://127.0.0.1:" + std::to_string(refusing.port()) + "/").value(),
        net::URLError::CannotConnectToHost);
    expectFailure(core::URL::fileURL(pathInHome("Documents/missing.html")), net::URLError::FileDoesNotExist);
    EXPECT_EQ(delegate->count("didFinishLoad"), 0u) << "the engine's own error page never shows";

    // A stalled load, stopped: cancelled, never finished. Meanwhile the main
    // loop's timers and net's loads go on.
    view->loadRequest(core::URLRequest(serverURL("/bytes/100000?type=text/plain&stall_after=10&token=stop")));
    ASSERT_TRUE(waitFor([&] { return delegate->count("didStartLoad") == 4; }));
    bool timerRan = false;
    core::RunLoop::main().performAfter(0, [&] { timerRan = true; });
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
    auto connection = net::URLConnection::create(core::URLRequest(serverURL("/page?title=Beside")), loaded);
    ASSERT_TRUE(waitFor([&] { return timerRan && status.has_value(); }));
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(view->isLoading());
    view->stopLoading();
    ASSERT_TRUE(waitForLoadEnd(4));
    EXPECT_EQ(delegate->calls.back(), "didFailLoad -999");
    server().release("stop");
    core::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(delegate->count("didFinishLoad"), 0u);
}

TEST_F(WebKitLoadTest, ResponsesItCannotShowAreOfferedNeverDownloaded)
{
    // The delegate is the app's download sink: it takes the request and
    // ignores the response.
    std::vector<core::URLRequest> sink;
    struct Sink : test::WebTestDelegate {
        std::vector<core::URLRequest>* sink;
        void decidePolicyForResponse(web::WebView& view, const core::HTTPURLResponse& response,
            const core::URLRequest& request, const std::shared_ptr<web::WebPolicyListener>& listener) override
        {
            WebTestDelegate::decidePolicyForResponse(view, response, request, listener);
            if (response.mimeType() == "text/html") {
                listener->use();
                return;
            }
            sink->push_back(request);
            listener->ignore();
        }
    };
    auto downloads = std::make_shared<Sink>();
    downloads->sink = &sink;
    delegate = downloads;
    view->setDelegate(delegate);

    std::string address = server().url("/bytes/1000?type=application/zip&disposition=a.zip");
    view->loadRequest(core::URLRequest(core::URL::parse(address).value()));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_EQ(delegate->responses.size(), 1u);
    EXPECT_EQ(delegate->responses[0].suggestedFilename(), "a.zip");
    ASSERT_EQ(sink.size(), 1u);
    EXPECT_EQ(sink[0].url().absoluteString(), address);
    EXPECT_EQ(delegate->calls.back(), "didFailLoad 102");
    EXPECT_TRUE(delegate->failures.back().is("WebKitErrorDomain", 102));

    // A link with "download" starts no download of WebKit's own: offered too.
    std::string page = makeFile("Documents/links.html",
        "<a id=get download href='" + server().url("/bytes/10?type=text/plain") + "'>get</a>");
    view->loadRequest(core::URLRequest(core::URL::fileURL(page)));
    ASSERT_TRUE(waitForLoadEnd(2));
    evaluate("document.getElementById('get').click()");
    ASSERT_TRUE(waitFor([&] { return sink.size() == 2; }));
    EXPECT_EQ(sink[1].url().absoluteString(), server().url("/bytes/10?type=text/plain"));

    // Nothing was written: not in the home, not in the user's downloads.
    core::RunLoop::main().runUntil([] { return false; }, 0.5);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home())) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.find("a.zip") == std::string::npos && name.find("bytes") == std::string::npos) << entry.path();
    }
    if (const char* user = std::getenv("HOME")) {
        EXPECT_FALSE(std::filesystem::exists(std::string(user) + "/Downloads/a.zip"));
    }
}

TEST_F(WebKitLoadTest, SignInsAreAnsweredByTheDelegate)
{
    std::string address = server().url("/auth/basic?user=u&pass=p&realm=R");
    int attempts = 0;
    delegate->onChallenge = [&](web::AuthenticationChallenge& challenge) {
        EXPECT_EQ(challenge.protectionSpace().host, "127.0.0.1");
        EXPECT_EQ(challenge.protectionSpace().port, server().port());
        EXPECT_EQ(challenge.protectionSpace().authenticationMethod, "Basic");
        EXPECT_EQ(challenge.protectionSpace().protocol, "http");
        if (++attempts == 1)
            challenge.useCredential({ "u", "wrong" }, web::AuthenticationChallenge::Persistence::None);
        else
            challenge.cancel();
    };
    view->loadRequest(core::URLRequest(core::URL::parse(address).value()));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_TRUE(delegate->saw("didReceiveAuthenticationChallenge R 0"));
    EXPECT_TRUE(delegate->saw("didReceiveAuthenticationChallenge R 1")) << ::testing::PrintToString(delegate->calls);
    EXPECT_EQ(delegate->calls.back(), "didFailLoad -999");

    // Without a credential the server's refusal shows.
    delegate->onChallenge = [](web::AuthenticationChallenge& challenge) { challenge.continueWithoutCredential(); };
    view->loadRequest(core::URLRequest(core::URL::parse(address).value()));
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_EQ(delegate->calls.back(), "didFinishLoad");
    EXPECT_EQ(evaluate("document.body.innerText.trim()"), "unauthorized");

    // Right and kept for the session: the store has it and proposes it next time.
    delegate->onChallenge = [](web::AuthenticationChallenge& challenge) {
        challenge.useCredential({ "u", "p" }, web::AuthenticationChallenge::Persistence::ForSession);
    };
    view->reload();
    ASSERT_TRUE(waitForLoadEnd(3));
    EXPECT_EQ(evaluate("document.body.innerText.trim()"), "welcome");
    auto kept = net::CredentialStorage::shared().credential({ "http", "127.0.0.1", server().port(), "R" });
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->user, "u");

    // Kept unanswered while the load is stopped: the delegate hears of it.
    delegate->onChallenge = nullptr;
    delegate->keepChallenges = true;
    delegate->calls.clear();
    view->loadRequest(core::URLRequest(serverURL("/auth/basic?user=x&pass=y&realm=Other")));
    ASSERT_TRUE(waitFor([&] { return delegate->challenges.size() == 1; }));
    view->stopLoading();
    ASSERT_TRUE(waitFor([&] { return delegate->saw("didCancelAuthenticationChallenge"); }));
    EXPECT_TRUE(delegate->challenges[0]->isCancelled());
    delegate->challenges.clear();
}

TEST_F(WebKitLoadTest, SignInsAskedBeforeTheLoadAnnouncesItselfAreStillAnswered)
{
    // WebKit can ask before it announces the load and cancel the question
    // as it does (its race): the load is tried again, so each one hears it.
    delegate->onChallenge = [](web::AuthenticationChallenge& challenge) {
        challenge.useCredential({ "u", "p" }, web::AuthenticationChallenge::Persistence::None);
    };
    for (int i = 1; i <= 20; ++i) {
        view->loadRequest(core::URLRequest(serverURL("/auth/basic?user=u&pass=p&realm=R" + std::to_string(i))));
        ASSERT_TRUE(waitForLoadEnd(i));
        EXPECT_EQ(delegate->calls.back(), "didFinishLoad") << "load " << i;
    }
}

TEST_F(WebKitLoadTest, CookiesTravelBothWaysAndHeadersGoOut)
{
    view->loadRequest(core::URLRequest(serverURL("/cookies/set?session=abc")));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([] {
        for (const auto& cookie : net::CookieStorage::shared().cookies())
            if (cookie.name == "session" && cookie.value == "abc")
                return true;
        return false;
    })) << "the page's cookie reaches net's jar";

    net::CookieStorage::Cookie fromNet;
    fromNet.name = "token";
    fromNet.value = "42";
    fromNet.domain = "127.0.0.1";
    ASSERT_TRUE(net::CookieStorage::shared().setCookie(fromNet));
    view->loadRequest(core::URLRequest(serverURL("/cookies/require?token=42&session=abc")));
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_EQ(evaluate("document.body.innerText.trim()"), "ok");

    core::URLRequest request(serverURL("/echo"));
    request.setHeader("X-Tandry-Test", "yes");
    request.setHeader("Referer", "");
    view->loadRequest(request);
    ASSERT_TRUE(waitForLoadEnd(3));
    std::string echoed = evaluate("document.body.innerText");
    EXPECT_NE(echoed.find("X-Tandry-Test: yes"), std::string::npos) << echoed;
    EXPECT_EQ(echoed.find("Referer"), std::string::npos) << echoed;
    EXPECT_NE(view->userAgent().find(" Tandry/1.0.0"), std::string::npos);
    EXPECT_NE(echoed.find(view->userAgent()), std::string::npos) << echoed;
}

TEST_F(WebKitLoadTest, CertificatesFailUnlessTheyChainToTheConfiguredAuthority)
{
    // Two servers, each with a CA of its own; only the first one's is configured.
    test::TestWebServer trusted(pathInHome("trusted"), { true, { "localhost", "127.0.0.1" } });
    test::TestWebServer stranger(pathInHome("stranger"), { true, { "localhost", "127.0.0.1" } });
    net::URLLoadingOptions::setCAFile(trusted.caFile());

    view->loadRequest(core::URLRequest(core::URL::parse(trusted.tlsURL("/page?title=Secure", "127.0.0.1")).value()));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_EQ(delegate->calls.back(), "didFinishLoad");
    EXPECT_EQ(delegate->count("didStartLoad"), 1u) << "trying again is part of the load";
    EXPECT_TRUE(waitFor([&] { return view->title() == "Secure"; }));

    view->loadRequest(core::URLRequest(core::URL::parse(stranger.tlsURL("/page?title=Stranger", "127.0.0.1")).value()));
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_EQ(delegate->calls.back(), "didFailLoad -1202") << ::testing::PrintToString(delegate->calls);
    EXPECT_NE(view->title(), "Stranger");

    // The failure shows the certificate; trusted for its host, the host loads.
    auto shown = web::ServerCertificate::fromError(delegate->failures.back());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->host, "127.0.0.1");
    EXPECT_NE(std::find(shown->problems.begin(), shown->problems.end(), "Unknown issuer"), shown->problems.end());
    EXPECT_EQ(shown->sha256.size(), 95u) << shown->sha256;
    EXPECT_FALSE(shown->issuer.empty());
    EXPECT_FALSE(view->trustServerCertificate("localhost")) << "only for the host it was shown for";
    EXPECT_TRUE(view->trustServerCertificate("127.0.0.1"));
    view->loadRequest(core::URLRequest(core::URL::parse(stranger.tlsURL("/page?title=Stranger", "127.0.0.1")).value()));
    ASSERT_TRUE(waitForLoadEnd(3));
    EXPECT_EQ(delegate->calls.back(), "didFinishLoad") << ::testing::PrintToString(delegate->calls);
    EXPECT_TRUE(waitFor([&] { return view->title() == "Stranger"; }));
}

} // namespace
