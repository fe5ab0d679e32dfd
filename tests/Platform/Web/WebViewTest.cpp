// The web view's own logic over the recording engine: what it asks and
// tells its delegate, what it refuses before the engine sees it, and how it
// mirrors the page's place, zoom, taps, presses and dialogs.

#include "WebTestDelegate.h"

#include "Platform/Core/Paths.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/URLError.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TextField.h"
#include "Platform/Web/NoDisplayWebEngine.h"
#include "Platform/Web/RecordingWebEngine.h"
#include "Platform/Web/WebDialogView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebPrintFormatter.h"

#include "Support/UITestCase.h"

#include <filesystem>
#include <unistd.h>

using web::NavigationType;
using web::RecordingWebPage;
using web::WebView;

namespace {

core::URL url(std::string_view text)
{
    return core::URL::parse(text).value();
}

class WebViewTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        view = WebView::create({ 0, 0, 320, 480 });
        view->setDelegate(delegate);
        window().addSubview(view);
    }
    void TearDown() override
    {
        view->removeFromSuperview();
        view.reset();
        UITestCase::TearDown();
    }
    RecordingWebPage& page() { return RecordingWebPage::of(*view); }

    std::shared_ptr<test::WebTestDelegate> delegate = std::make_shared<test::WebTestDelegate>();
    std::shared_ptr<WebView> view;
};

TEST_F(WebViewTest, TheAppsRequestComesBackWithItsPropertiesAndEachLoadEndsOnce)
{
    core::URLRequest request(url("http://example.com/a"));
    request.setProperty("VKWebBrowserControllerOpenDownload", core::Value(true));
    request.setHeader("X-Test", "1");
    std::vector<bool> loading;
    auto observation = view->observeState(
        [&](const web::PageState& old, const web::PageState& now) {
            if (old.loading != now.loading)
                loading.push_back(now.loading);
        });
    view->loadRequest(request);
    EXPECT_TRUE(delegate->calls.empty()) << "nothing is told inside the call";
    runLoop();
    ASSERT_EQ(page().loads().size(), 1u);
    EXPECT_EQ(page().loads()[0].request.header("X-Test"), "1");
    ASSERT_EQ(delegate->requests.size(), 1u);
    EXPECT_EQ(delegate->requests[0].property("VKWebBrowserControllerOpenDownload"), core::Value(true));
    EXPECT_EQ(delegate->types[0], NavigationType::Other);
    ASSERT_TRUE(view->request());
    EXPECT_EQ(view->request()->property("VKWebBrowserControllerOpenDownload"), core::Value(true));
    EXPECT_TRUE(view->isLoading());

    page().finishLoad("Hello");
    page().finishLoad("Hello");
    runLoop();
    EXPECT_EQ(delegate->calls,
        (std::vector<std::string> { "shouldStartLoad 5 http://example.com/a", "didStartLoad", "didFinishLoad" }));
    EXPECT_EQ(view->title(), "Hello");
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->estimatedProgress(), 1.0);
    EXPECT_EQ(loading, (std::vector<bool> { true, false }));

    // A click the delegate refuses goes nowhere and fails nothing; the
    // page's own navigations bring plain requests.
    delegate->refuse = "/b";
    page().navigate(core::URLRequest(url("http://example.com/b")), NavigationType::LinkClicked);
    page().navigate(core::URLRequest(url("http://example.com/c")), NavigationType::FormSubmitted);
    runLoop();
    EXPECT_EQ(page().navigationAnswer(page().lastNavigation() - 1), false);
    EXPECT_EQ(page().navigationAnswer(page().lastNavigation()), true);
    EXPECT_EQ(delegate->types.back(), NavigationType::FormSubmitted);
    EXPECT_TRUE(delegate->requests.back().property("VKWebBrowserControllerOpenDownload").isNull());
    EXPECT_EQ(view->url()->absoluteString(), "http://example.com/c");
    page().failLoad(net::URLError::make(net::URLError::TimedOut, url("http://example.com/c")));
    page().finishLoad();
    runLoop();
    EXPECT_EQ(delegate->count("didFailLoad -1001"), 1u);
    EXPECT_EQ(delegate->count("didFinishLoad"), 1u) << "a failed load does not finish too";

    // Back and reload: their own navigation types.
    view->goBack();
    runLoop();
    EXPECT_EQ(delegate->types.back(), NavigationType::BackForward);
    view->reload();
    runLoop();
    EXPECT_EQ(delegate->types.back(), NavigationType::Reload);
    EXPECT_EQ(page().commands(), (std::vector<std::string> { "goBack", "reload" }));
}

TEST_F(WebViewTest, ARequestUnansweredWithinItsTimeoutStopsAndFailsAsTimedOut)
{
    core::URLRequest request(url("http://example.com/slow"));
    request.setTimeoutInterval(5);
    view->loadRequest(request);
    runLoop();
    advance(4.9);
    EXPECT_EQ(delegate->count("didFailLoad -1001"), 0u);
    advance(0.2);
    EXPECT_EQ(delegate->count("didFailLoad -1001"), 1u);
    EXPECT_EQ(page().commands(), std::vector<std::string> { "stop" });
    EXPECT_EQ(delegate->count("didFailLoad -999"), 0u) << "the stop it caused is not told";

    // An answer in time, or another page started meanwhile, ends the timing.
    view->loadRequest(request);
    runLoop();
    page().receiveResponse(core::HTTPURLResponse(request.url(), 200, { { "Content-Type", "text/html" } }), request, true);
    advance(10);
    view->loadRequest(request);
    runLoop();
    page().navigate(core::URLRequest(url("http://example.com/other")), NavigationType::LinkClicked);
    advance(10);
    EXPECT_EQ(delegate->count("didFailLoad -1001"), 1u);
}

TEST_F(WebViewTest, FilesOutsideTheHomeAndUnknownSchemesFailBeforeTheEngineSeesThem)
{
    std::string inside = makeFile("Documents/page.html", "<p>x</p>");
    std::string outsideFolder = test::TestCase::sourcePath("tests");
    std::filesystem::create_symlink("/etc", pathInHome("Documents/etc"));

    view->loadRequest(core::URLRequest(core::URL::fileURL("/etc/hostname")));
    view->loadRequest(core::URLRequest(core::URL::fileURL(pathInHome("Documents/etc/hostname"))));
    view->loadRequest(core::URLRequest(core::URL::fileURL(pathInHome("Documents/../../../etc/hostname"))));
    view->loadHTMLString("<img src=x.png>", core::URL::fileURL(outsideFolder, true));
    view->loadRequest(core::URLRequest(url("gopher://example.com/")));
    runLoop();
    EXPECT_TRUE(page().loads().empty());
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "didFailLoad -1102", "didFailLoad -1102",
                                   "didFailLoad -1102", "didFailLoad -1102", "didFailLoad -1002" }));
    EXPECT_EQ(delegate->failures[0].userInfo().at(net::URLError::FailingURLKey), core::Value("file:///etc/hostname"));

    // Inside the home and the bundle's resources they load.
    view->loadRequest(core::URLRequest(core::URL::fileURL(inside)));
    view->loadHTMLString("<p>help</p>", core::URL::fileURL(test::TestCase::sourcePath("resources"), true));
    runLoop();
    EXPECT_EQ(page().loads().size(), 2u);

    // A page's own navigation out of the home is refused the same way,
    // after the delegate was asked.
    page().navigate(core::URLRequest(core::URL::fileURL("/etc/passwd")), NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(page().navigationAnswer(page().lastNavigation()), false);
    EXPECT_EQ(delegate->calls.back(), "didFailLoad -1102");
    EXPECT_EQ(delegate->calls.end()[-2], "shouldStartLoad 0 file:///etc/passwd");

    // A link the engine cannot follow reaches the delegate, which may
    // handle it itself: then nothing fails.
    delegate->refuse = "mailto:";
    page().navigate(core::URLRequest(url("mailto:someone@example.com")), NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(page().navigationAnswer(page().lastNavigation()), false);
    EXPECT_EQ(delegate->calls.back(), "shouldStartLoad 0 mailto:someone@example.com");
    page().navigate(core::URLRequest(url("tel:123")), NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(page().navigationAnswer(page().lastNavigation()), false);
    EXPECT_EQ(delegate->calls.back(), "didFailLoad -1002");
}

TEST_F(WebViewTest, ResponsesAreAnsweredByTheListenerOrByTheirDefault)
{
    view->loadRequest(core::URLRequest(url("http://example.com/a.zip")));
    runLoop();
    core::HTTPURLResponse zip(url("http://example.com/a.zip"), 200,
        { { "Content-Type", "application/zip" }, { "Content-Disposition", "attachment; filename=\"a.zip\"" } });
    core::HTTPURLResponse html(url("http://example.com/"), 200, { { "Content-Type", "text/html" } });

    // Let go unanswered: what can be shown is used, the rest ignored.
    auto shown = page().receiveResponse(html, core::URLRequest(html.url()), true);
    auto dropped = page().receiveResponse(zip, core::URLRequest(zip.url()), false);
    runLoop();
    EXPECT_EQ(page().responseAnswer(shown), true);
    EXPECT_EQ(page().responseAnswer(dropped), false);
    EXPECT_EQ(delegate->responses.at(1).suggestedFilename(), "a.zip");
    EXPECT_EQ(delegate->count("didFailLoad 102"), 1u);

    // Kept and answered later, once.
    delegate->keepListeners = true;
    auto later = page().receiveResponse(zip, core::URLRequest(zip.url()), false);
    runLoop();
    EXPECT_FALSE(page().responseAnswer(later));
    delegate->listeners.at(0)->use();
    delegate->listeners.at(0)->ignore();
    EXPECT_EQ(page().responseAnswer(later), true);
    delegate->listeners.clear();
    EXPECT_EQ(page().responseAnswer(later), true);
}

TEST_F(WebViewTest, ChallengesAreAnsweredOnceAndSessionCredentialsAreKept)
{
    web::AuthenticationChallenge::ProtectionSpace space { "example.com", 443, "R", "Basic", "https", false };
    net::CredentialStorage::Credential stored { "kept", "secret" };

    // Unanswered: the proposed credential while nothing failed, then none.
    size_t first = page().challenge(space, 0, stored);
    size_t second = page().challenge(space, 1, stored);
    size_t bare = page().challenge(space, 0);
    runLoop();
    EXPECT_EQ(delegate->calls[0], "didReceiveAuthenticationChallenge R 0");
    ASSERT_TRUE(page().challengeAnswer(first));
    EXPECT_EQ(page().challengeAnswer(first)->disposition, web::AuthenticationChallenge::Disposition::UseCredential);
    EXPECT_EQ(page().challengeAnswer(first)->credential, stored);
    EXPECT_EQ(page().challengeAnswer(second)->disposition,
        web::AuthenticationChallenge::Disposition::ContinueWithoutCredential);
    EXPECT_EQ(page().challengeAnswer(bare)->disposition,
        web::AuthenticationChallenge::Disposition::ContinueWithoutCredential);
    EXPECT_FALSE(net::CredentialStorage::shared().credential({ "https", "example.com", 443, "R" }));

    // Used for the session: the store keeps it; later answers do nothing.
    delegate->onChallenge = [](web::AuthenticationChallenge& challenge) {
        challenge.useCredential({ "user", "pass" }, web::AuthenticationChallenge::Persistence::ForSession);
        challenge.cancel();
    };
    size_t answered = page().challenge(space);
    runLoop();
    EXPECT_EQ(page().challengeAnswer(answered)->credential.user, "user");
    auto kept = net::CredentialStorage::shared().credential({ "https", "example.com", 443, "R" });
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->password, "pass");

    // The load ends first: the delegate hears it and its answer goes nowhere.
    delegate->onChallenge = nullptr;
    delegate->keepChallenges = true;
    size_t cancelled = page().challenge(space);
    runLoop();
    page().cancelChallenge(cancelled);
    runLoop();
    EXPECT_TRUE(delegate->saw("didCancelAuthenticationChallenge"));
    delegate->challenges.back()->continueWithoutCredential();
    EXPECT_FALSE(page().challengeAnswer(cancelled));
    EXPECT_TRUE(delegate->challenges.back()->isCancelled());
    delegate->challenges.clear();
}

TEST_F(WebViewTest, NewWindowsLoadInACreatedViewOrHere)
{
    auto other = WebView::create({ 0, 0, 100, 100 });
    auto otherDelegate = std::make_shared<test::WebTestDelegate>();
    other->setDelegate(otherDelegate);
    delegate->onCreate = [&](const core::URLRequest& request) {
        return request.url().absoluteString().find("/other") != std::string::npos ? other : nullptr;
    };
    page().navigate(core::URLRequest(url("http://example.com/other")), NavigationType::LinkClicked, true);
    page().navigate(core::URLRequest(url("http://example.com/here")), NavigationType::LinkClicked, true);
    runLoop();
    EXPECT_EQ(delegate->count("shouldStartLoad 0"), 2u);
    EXPECT_EQ(delegate->count("createWebView"), 2u);
    ASSERT_EQ(RecordingWebPage::of(*other).loads().size(), 1u);
    EXPECT_EQ(RecordingWebPage::of(*other).loads()[0].request.url().absoluteString(), "http://example.com/other");
    // The new window's navigation was agreed to already: nobody is asked again.
    EXPECT_TRUE(otherDelegate->calls.size() == 1 && otherDelegate->calls[0] == "didStartLoad");
    ASSERT_EQ(page().loads().size(), 1u);
    EXPECT_EQ(page().loads()[0].request.url().absoluteString(), "http://example.com/here");
    EXPECT_EQ(delegate->count("shouldStartLoad"), 2u);

    // Refused: neither made nor loaded.
    delegate->refuse = "never";
    page().navigate(core::URLRequest(url("http://example.com/never")), NavigationType::Other, true);
    runLoop();
    EXPECT_EQ(delegate->count("createWebView"), 2u);
    EXPECT_EQ(page().loads().size(), 1u);
}

TEST_F(WebViewTest, ScriptsAnswerOnALaterPassAsStrings)
{
    std::vector<std::string> results;
    std::vector<std::string> errors;
    auto completion = [&](const std::string& result, const core::Error* error) {
        results.push_back(result);
        errors.push_back(error ? error->localizedDescription() : "");
    };
    view->evaluateJavaScript("document.title", completion);
    view->evaluateJavaScript("nosuch.x", completion);
    EXPECT_EQ(page().scripts(), (std::vector<std::string> { "document.title", "nosuch.x" }));
    page().answerScript(0, "Hello");
    page().failScript(1, "http://example.com/:1:7: ReferenceError: Can't find variable: nosuch");
    EXPECT_TRUE(results.empty());
    runLoop();
    EXPECT_EQ(results, (std::vector<std::string> { "Hello", "" }));
    EXPECT_EQ(errors, (std::vector<std::string> { "", "ReferenceError: Can't find variable: nosuch" }));
    EXPECT_EQ(page().unansweredScriptCount(), 0u);
}

TEST_F(WebViewTest, TheScrollViewMirrorsThePageAndFitsWidePages)
{
    runLoop();
    EXPECT_EQ(page().size(), gfx::Size(320, 480));
    EXPECT_EQ(page().scale(), 2.0f);
    page().reportMetrics({ 0, 100, 320, 2000, 320, 480 });
    runLoop();
    EXPECT_EQ(view->scrollView().contentSize(), gfx::Size(320, 2000));
    EXPECT_EQ(view->scrollView().contentOffset(), gfx::Point(0, 100));
    EXPECT_TRUE(page().scrolls().empty()) << "the page's own place is not sent back";

    view->scrollView().setContentOffset({ 0, 300 });
    runLoop();
    ASSERT_EQ(page().scrolls().size(), 1u);
    EXPECT_EQ(page().scrolls()[0], gfx::Point(0, 300));

    // Fitting: a page 1000 px wide shows at 0.32; one 5000 px wide stops at
    // 0.25; offsets and sizes follow the zoom.
    view->setScalesPageToFit(true);
    page().reportMetrics({ 0, 0, 1000, 1000, 320, 480 });
    runLoop();
    EXPECT_NEAR(view->pageZoom(), 0.32, 1e-6);
    EXPECT_NEAR(page().pageZoom(), 0.32, 1e-6);
    page().reportMetrics({ 0, 500, 1000, 1000, 1000, 1500 });
    runLoop();
    EXPECT_NEAR(view->scrollView().contentSize().width, 320, 0.01);
    EXPECT_NEAR(view->scrollView().contentOffset().y, 160, 0.01);
    page().reportMetrics({ 0, 0, 5000, 1000, 1000, 1500 });
    runLoop();
    EXPECT_NEAR(view->pageZoom(), 0.25, 1e-6);
    // A new load starts from the page's own width again.
    page().navigate(core::URLRequest(url("http://example.com/narrow")), NavigationType::LinkClicked);
    runLoop();
    EXPECT_EQ(view->pageZoom(), 1.0);
    view->setZoomLevel(2);
    EXPECT_EQ(page().pageZoom(), 2.0);
    view->setZoomLevel(-1);
    EXPECT_EQ(view->zoomLevel(), 2.0);
}

// Ctrl and the wheel (or a touchpad's pinch) zoom the page about the
// pointer, Ctrl+plus, minus and 0 from its corner, within the levels' bounds.
TEST_F(WebViewTest, APersonsZoomMovesTheLevelAboutThePointerWithinItsBounds)
{
    runLoop();
    page().reportMetrics({ 0, 100, 320, 2000, 320, 480 });
    runLoop();
    ui::Application::shared()->sendEvent(ui::Event::zoom({ 100, 200 }, 2));
    runLoop();
    EXPECT_EQ(page().pageZoom(), 2.0);
    EXPECT_EQ(view->scrollView().contentSize(), gfx::Size(640, 4000));
    ASSERT_EQ(page().scrolls().size(), 1u);
    EXPECT_EQ(page().scrolls()[0], gfx::Point(50, 200)) << "the page's (100, 300) stays under the pointer";

    auto key = [](ui::KeyCommand command) { return ui::Application::shared()->sendKeyCommand(command); };
    EXPECT_TRUE(key(ui::KeyCommand::ZoomIn));
    EXPECT_EQ(view->zoomLevel(), 2.5);
    for (int i = 0; i < 10; ++i)
        key(ui::KeyCommand::ZoomIn);
    EXPECT_EQ(page().pageZoom(), WebView::MaximumZoomLevel);
    EXPECT_TRUE(key(ui::KeyCommand::ZoomReset));
    EXPECT_EQ(page().pageZoom(), 1.0);
    for (int i = 0; i < 10; ++i)
        key(ui::KeyCommand::ZoomOut);
    EXPECT_EQ(page().pageZoom(), WebView::MinimumZoomLevel);
    EXPECT_EQ(page().scrolls().size(), 1u) << "the keys keep the page's corner";
}

// Clicks on a live page are its widget's own; while the page's picture
// shows in the widget's place (a view over it), a tap the view sees is the
// page's.
TEST_F(WebViewTest, ATapReachesALivePageOnlyWhileItsPictureShows)
{
    struct Placement : web::WebViewPlacement {
        void attach(void*) override { }
        void place(const gfx::Rect&, const gfx::Rect&, bool, int) override { }
        void detach(void*) override { }
    };
    auto placement = std::make_shared<Placement>();
    web::WebViewPlacement::setProvider(
        [&](ui::Window& shown) { return &shown == &window() ? placement : nullptr; });
    auto live = WebView::create({ 0, 0, 320, 480 });
    RecordingWebPage& recorder = RecordingWebPage::of(*live);
    recorder.setAttachable(true);
    window().addSubview(live);
    runLoop();
    EXPECT_TRUE(placement->isWidgetShown());
    driver.tap(*live);
    runLoop();
    EXPECT_TRUE(recorder.taps().empty());

    auto cover = ui::View::create({ 100, 100, 50, 50 });
    window().addSubview(cover);
    runLoop();
    advance(web::WebViewPlacement::CoverWait);
    EXPECT_FALSE(placement->isWidgetShown());
    driver.tap(*live);
    runLoop();
    ASSERT_EQ(recorder.taps().size(), 1u);
    EXPECT_EQ(recorder.taps()[0], gfx::Point(160, 240));

    cover->removeFromSuperview();
    live->removeFromSuperview();
    web::WebViewPlacement::setProvider(nullptr);
}

TEST_F(WebViewTest, TapsReachThePageAndLongPressesAskAboutLinksAndImages)
{
    runLoop();
    driver.tap(*view);
    runLoop();
    ASSERT_EQ(page().taps().size(), 1u);
    EXPECT_EQ(page().taps()[0], gfx::Point(160, 240));

    // Nothing under the finger: nothing to ask about.
    driver.longPress(*view);
    runLoop();
    EXPECT_TRUE(delegate->elements.empty());

    page().setElementInfo({ "http://example.com/file.pdf", "http://example.com/i.png", "A picture", {} });
    driver.longPress(*view);
    runLoop();
    ASSERT_EQ(delegate->elements.size(), 1u);
    EXPECT_EQ(delegate->elements[0].imageAlt, "A picture");
    EXPECT_EQ(delegate->elements[0].point, gfx::Point(160, 240));

    // The window's right click arrives the same way.
    page().rightClick({ "http://example.com/x", "", "", { 10, 20 } });
    runLoop();
    EXPECT_EQ(delegate->elements.size(), 2u);
}

TEST_F(WebViewTest, PageDialogsBecomeAlertsAnsweredWhenPressed)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    view->loadRequest(core::URLRequest(url("http://example.com/")));
    runLoop();
    size_t prompt = page().showDialog(web::PageDialog::Kind::Prompt, "Your name?", "Ann");
    runLoop();
    auto alert = driver.alert();
    EXPECT_EQ(alert->title(), "example.com");
    auto* dialog = dynamic_cast<web::WebDialogView*>(alert.get());
    ASSERT_TRUE(dialog && dialog->textField());
    EXPECT_EQ(dialog->textField()->text(), "Ann");
    EXPECT_LE(dialog->textField()->frame().maxY(), dialog->buttonRowRect().minY());
    // Below the message, not over it.
    auto labels = dialog->findViews<ui::Label>();
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[1]->text(), "Your name?");
    EXPECT_GE(dialog->textField()->frame().minY(), labels[1]->frame().maxY());
    std::filesystem::create_directories(sourcePath("build/screens/web"));
    ui::testing::Driver::ScreenshotOptions options;
    options.scale = 2;
    options.realText = true;
    EXPECT_TRUE(driver.screenshot(sourcePath("build/screens/web/prompt.png"), options));
    dialog->textField()->setText("Bob");
    driver.pressAlertButton("OK");
    advance(1);
    EXPECT_EQ(page().dialogAnswer(prompt), std::make_pair(true, std::string("Bob")));

    size_t confirm = page().showDialog(web::PageDialog::Kind::Confirm, "Leave?");
    runLoop();
    driver.pressAlertButton("Cancel");
    advance(1);
    EXPECT_EQ(page().dialogAnswer(confirm), std::make_pair(false, std::string()));
}

TEST_F(WebViewTest, ScriptErrorsAreLoggedAndReported)
{
    page().reportScriptError({ "TypeError: x is null", "http://example.com/app.js", 12 });
    runLoop();
    EXPECT_EQ(delegate->calls, (std::vector<std::string> {
                                   "didReportJavaScriptError TypeError: x is null http://example.com/app.js:12" }));
    EXPECT_TRUE(logContains("TypeError: x is null"));
}

TEST_F(WebViewTest, EditingFocusIsToldOnChangesAndLostWithThePage)
{
    page().reportEditingFocus(true);
    page().reportEditingFocus(true);
    runLoop();
    EXPECT_TRUE(view->isEditingFocused());
    page().reportEditingFocus(false);
    page().reportEditingFocus(true);
    runLoop();
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "didChangeEditingFocus on", "didChangeEditingFocus off",
                                   "didChangeEditingFocus on" }));
    delegate->calls.clear();
    view->loadRequest(core::URLRequest(*core::URL::parse("http://example.com/next")));
    runLoop();
    EXPECT_FALSE(view->isEditingFocused());
    EXPECT_NE(std::find(delegate->calls.begin(), delegate->calls.end(), "didChangeEditingFocus off"), delegate->calls.end());
}

TEST_F(WebViewTest, UserAgentPrintingAndPlacement)
{
    EXPECT_EQ(view->userAgent(), "RecordingWebEngine Tandry/1.0.0");
    EXPECT_EQ(page().userAgent(), "RecordingWebEngine Tandry/1.0.0");

    std::vector<std::string> printed;
    auto formatter = view->printFormatter();
    formatter->printToPDF(pathInHome("out.pdf"), [&](const core::Error* error) { printed.push_back(error ? "failed" : "done"); });
    ASSERT_EQ(page().prints(), (std::vector<std::string> { pathInHome("out.pdf") }));
    page().completePrint(0);
    runLoop();
    EXPECT_EQ(printed, (std::vector<std::string> { "done" }));

    // A formatter whose view went prints nothing.
    auto orphan = web::WebPrintFormatter::create(WebView::create());
    orphan->printToPDF(pathInHome("none.pdf"), [&](const core::Error* error) { printed.push_back(error ? "failed" : "done"); });
    runLoop();
    EXPECT_EQ(printed.back(), "failed");
}

TEST_F(WebViewTest, WithoutADisplayLoadsFailLoggedOnce)
{
    web::WebEngine::setCurrent(web::NoDisplayWebEngine::shared());
    auto headless = WebView::create({ 0, 0, 100, 100 });
    headless->setDelegate(delegate);
    headless->loadRequest(core::URLRequest(url("http://example.com/")));
    headless->loadHTMLString("<p>x</p>");
    runLoop();
    EXPECT_EQ(delegate->calls,
        (std::vector<std::string> { "didStartLoad", "didFailLoad -1", "didStartLoad", "didFailLoad -1" }));
    EXPECT_EQ(delegate->failures[0].localizedDescription(), "Web content needs a display");
    auto lines = logLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                  [](const std::string& line) { return line.find("web content needs a display") != std::string::npos; }),
        1);
}

} // namespace

namespace {

// A web view that keeps 60 points above the page for a view of its own and
// records the bounds changes of its scroll view, dropping them on request.
class ShiftedWebView : public WebView {
public:
    void setDocumentViewFrame(const gfx::Rect& frame) override
    {
        gfx::Rect below = frame;
        below.origin.y = 60;
        WebView::setDocumentViewFrame(below);
    }
    bool scrollViewShouldChangeBounds(const gfx::Rect& bounds) override
    {
        asked.push_back(bounds);
        return !std::exchange(refuseNext, false);
    }
    void scrollViewDidChangeBounds(const gfx::Rect& bounds) override { changed.push_back(bounds); }

    std::vector<gfx::Rect> asked;
    std::vector<gfx::Rect> changed;
    bool refuseNext = false;
};

} // namespace

TEST_F(WebViewTest, ADocumentOriginKeepsRoomAboveThePageAndBoundsChangesAreAskedFirst)
{
    auto shifted = WebView::make<ShiftedWebView>({ 0, 0, 320, 480 });
    shifted->setDocumentViewFrame(shifted->documentViewFrame());
    window().addSubview(shifted);
    auto& recorder = RecordingWebPage::of(*shifted);
    auto& scroll = shifted->scrollView();
    runLoop();

    // The content is the page plus the room above it.
    recorder.reportMetrics({ 0, 0, 320, 2000, 320, 480 });
    runLoop();
    EXPECT_EQ(shifted->documentViewFrame(), gfx::Rect(0, 60, 320, 2000));
    EXPECT_EQ(scroll.contentSize(), gfx::Size(320, 2060));
    EXPECT_EQ(scroll.contentOffset(), gfx::Point(0, 0));

    // Scrolling over the room leaves the page at its top; below it the page
    // scrolls by the offset less the room.
    scroll.setContentOffset({ 0, 40 });
    runLoop();
    EXPECT_TRUE(recorder.scrolls().empty());
    scroll.setContentOffset({ 0, 660 });
    runLoop();
    ASSERT_EQ(recorder.scrolls().size(), 1u);
    EXPECT_EQ(recorder.scrolls().back(), gfx::Point(0, 600));
    // The page's own scroll comes back with the room added; a report of the
    // page at its top keeps the room partly in sight...
    recorder.reportMetrics({ 0, 300, 320, 2000, 320, 480 });
    runLoop();
    EXPECT_EQ(scroll.contentOffset(), gfx::Point(0, 360));
    scroll.setContentOffset({ 0, 30 });
    runLoop();
    recorder.reportMetrics({ 0, 0, 320, 2000, 320, 480 });
    runLoop();
    EXPECT_EQ(scroll.contentOffset(), gfx::Point(0, 30));

    // ... but a newly shown page starts at offset 0, and a tap above the
    // page reaches nothing while one below it lands in page coordinates.
    recorder.navigate(core::URLRequest(url("http://example.com/next")), NavigationType::LinkClicked);
    runLoop();
    recorder.reportMetrics({ 0, 0, 320, 900, 320, 480 });
    runLoop();
    EXPECT_EQ(scroll.contentOffset(), gfx::Point(0, 0));
    driver.tapAt(*shifted, { 100, 30 });
    runLoop();
    EXPECT_TRUE(recorder.taps().empty());
    driver.tapAt(*shifted, { 100, 100 });
    runLoop();
    ASSERT_EQ(recorder.taps().size(), 1u);
    EXPECT_EQ(recorder.taps()[0], gfx::Point(100, 40));

    // Every bounds change (offset or size, from code or a drag) is asked
    // first and told after; a refused one is not made.
    shifted->asked.clear();
    shifted->changed.clear();
    scroll.setContentOffset({ 0, 200 });
    shifted->setFrame({ 0, 0, 320, 400 });
    EXPECT_EQ(shifted->asked, (std::vector<gfx::Rect> { { 0, 200, 320, 480 }, { 0, 200, 320, 400 } }));
    EXPECT_EQ(shifted->changed, shifted->asked);
    shifted->refuseNext = true;
    scroll.setContentOffset({ 0, 500 });
    EXPECT_EQ(scroll.contentOffset(), gfx::Point(0, 200));
    EXPECT_EQ(shifted->changed.size(), 2u);
    driver.drag(*shifted, 0, -100);
    runLoop();
    EXPECT_GT(shifted->changed.size(), 2u);
    EXPECT_GT(scroll.contentOffset().y, 200);

    shifted->removeFromSuperview();
}
