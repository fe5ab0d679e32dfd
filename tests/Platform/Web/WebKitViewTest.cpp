// What a web view on WebKit shows and does: pictures of the page at the
// place it is scrolled to, the scroll view following the page and the page
// following the scroll view, fitting, presses, dialogs, printing, a crashed
// web process, a move into a live window and back, and the processes left
// when views go.

#include "WebKitTestCase.h"

#include "Platform/Core/Data.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebPage.h"
#include "Platform/Web/WebSnapshot.h"
#include "Platform/Web/WebViewPlacement.h"

#include "Support/Command.h"
#include "Support/TestWebServer.h"

#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtk/gtk.h>
#include <map>
#include <sstream>

namespace {

// The processes this program started (below bubblewrap too) whose names
// begin with `name`: the web content ones by default.
std::vector<pid_t> webProcesses(std::string_view name = "WebKitWebProces")
{
    std::map<pid_t, std::pair<pid_t, std::string>> processes;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        pid_t pid = atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        size_t open = line.find('(');
        size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t parent = 0;
        rest >> state >> parent;
        processes[pid] = { parent, line.substr(open + 1, close - open - 1) };
    }
    if (proc)
        closedir(proc);
    std::vector<pid_t> found;
    for (const auto& [pid, process] : processes) {
        if (process.second.rfind(name, 0) != 0)
            continue;
        for (pid_t up = process.first; up > 1 && processes.count(up); up = processes[up].first) {
            if (up == getpid()) {
                found.push_back(pid);
                break;
            }
        }
    }
    return found;
}

class WebKitViewTest : public test::WebKitTestCase {
protected:
    void loadFixture()
    {
        std::ifstream file(sourcePath("tests/fixtures/web/blocks.html"));
        std::stringstream text;
        text << file.rdbuf();
        std::string path = makeFile("Documents/blocks.html", text.str());
        view->loadRequest(core::URLRequest(core::URL::fileURL(path)));
        ASSERT_TRUE(waitForLoadEnd());
        ASSERT_EQ(delegate->calls.back(), "didFinishLoad");
    }
    void takeSnapshot()
    {
        bool taken = false;
        view->updateSnapshot([&] { taken = true; });
        ASSERT_TRUE(waitFor([&] { return taken; }));
        runLoop();
    }
    const web::WebSnapshot& snapshot()
    {
        auto& document = static_cast<web::WebDocumentView&>(view->documentView());
        static const web::WebSnapshot* none = nullptr;
        return document.snapshot() ? *document.snapshot() : *none;
    }
    bool hasSnapshot() { return static_cast<web::WebDocumentView&>(view->documentView()).snapshot() != nullptr; }
};

bool near(uint32_t rgb, uint32_t expected)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = int((rgb >> shift) & 0xFF);
        int b = int((expected >> shift) & 0xFF);
        if (std::abs(a - b) > 24)
            return false;
    }
    return true;
}

TEST_F(WebKitViewTest, ThePageShowsThroughSnapshotsWhereItIsScrolled)
{
    loadFixture();
    takeSnapshot();
    ASSERT_TRUE(hasSnapshot());
    // The page fills the view at scale 2: a red block at its top left.
    EXPECT_EQ(snapshot().pixelWidth(), 640);
    EXPECT_EQ(snapshot().pixelHeight(), 960);
    EXPECT_TRUE(near(snapshot().rgbAtForTesting(20, 20), 0xDD3333)) << std::hex << snapshot().rgbAtForTesting(20, 20);
    EXPECT_EQ(view->documentView().frame(), gfx::Rect(0, 0, 320, 480));
    ASSERT_TRUE(waitFor([&] { return view->scrollView().contentSize().height > 1600; }));
    EXPECT_EQ(view->scrollView().contentSize().width, 320);

    // The renderer draws it: the picture of the view shows the blocks.
    auto picture = ui::Renderer::renderImage(*view, ui::RenderOptions { 2, std::nullopt, false, {} });
    ASSERT_TRUE(picture);
    auto pixel = picture->pixelAtForTesting(20, 20);
    EXPECT_TRUE(near(uint32_t(pixel.red) << 16 | uint32_t(pixel.green) << 8 | pixel.blue, 0xDD3333));

    // The scroll view moves the page; the next picture is taken there.
    view->scrollView().setContentOffset({ 0, 500 });
    ASSERT_TRUE(waitFor([&] { return evaluate("window.scrollY") == "500"; }));
    takeSnapshot();
    EXPECT_EQ(snapshot().offset(), gfx::Point(0, 500));
    EXPECT_EQ(view->documentView().frame().origin, gfx::Point(0, 500));
    EXPECT_FALSE(near(snapshot().rgbAtForTesting(20, 20), 0xDD3333));

    // The page moves the scroll view.
    evaluate("window.scrollTo(0, 300)");
    EXPECT_TRUE(waitFor([&] { return view->scrollView().contentOffset().y == 300; }));
}

TEST_F(WebKitViewTest, WidePagesAreZoomedToTheViewsWidthAgainAfterResizes)
{
    view->setScalesPageToFit(true);
    std::string path = makeFile("Documents/wide.html",
        "<body style='margin:0'><div style='width:1000px;height:300px;background:#36c'></div></body>");
    view->loadRequest(core::URLRequest(core::URL::fileURL(path)));
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_TRUE(waitFor([&] { return std::abs(view->pageZoom() - 0.32) < 0.01; })) << view->pageZoom();
    EXPECT_TRUE(waitFor([&] { return std::abs(view->scrollView().contentSize().width - 320) < 1; }));
    EXPECT_EQ(evaluate("window.innerWidth"), "1000");

    view->setFrame({ 0, 0, 640, 480 });
    ASSERT_TRUE(waitFor([&] { return std::abs(view->pageZoom() - 0.64) < 0.01; })) << view->pageZoom();
    // A new picture follows the resize by itself.
    EXPECT_TRUE(waitFor([&] { return hasSnapshot() && snapshot().pixelWidth() == 1280; }));
}

// A page loaded right after the view took its size is laid out at that
// size from the start, not at the size the page had before.
TEST_F(WebKitViewTest, APageLoadedRightAfterAResizeIsLaidOutAtTheNewSize)
{
    std::string path = makeFile("Documents/width.html", "<script>var first = innerWidth + 'x' + innerHeight</script>");
    view->setFrame({ 0, 0, 600, 400 });
    view->loadRequest(core::URLRequest(core::URL::fileURL(path)));
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_EQ(evaluate("first"), "600x400");
}

TEST_F(WebKitViewTest, LongPressesFindLinksAndImagesAndTextShowsAsText)
{
    std::string page = makeFile("Documents/press.html",
        "<body style='margin:0'><a href='https://example.com/doc.pdf' style='display:block;height:100px'>doc</a>"
        "<img src='dot.png' alt='A blue dot' style='display:block;width:100px;height:100px'></body>");
    auto dot = gfx::BitmapContext::create(4, 4);
    dot->setFillColor(0, 0, 1, 1);
    dot->fillRect({ 0, 0, 4, 4 });
    ASSERT_TRUE(dot->writePNG(pathInHome("Documents/dot.png")));
    view->loadRequest(core::URLRequest(core::URL::fileURL(page)));
    ASSERT_TRUE(waitForLoadEnd());
    // The folder's picture showed.
    EXPECT_TRUE(waitFor([&] { return evaluate("document.images[0].naturalWidth") == "4"; }));

    auto finger = driver.touchDown({ window().convertPoint({ 50, 150 }, nullptr) });
    driver.wait(0.6);
    driver.touchUp(finger);
    ASSERT_TRUE(waitFor([&] { return delegate->elements.size() == 1; }));
    EXPECT_NE(delegate->elements[0].imageSource.find("dot.png"), std::string::npos);
    EXPECT_EQ(delegate->elements[0].imageAlt, "A blue dot");
    EXPECT_EQ(delegate->elements[0].point, gfx::Point(50, 150));
    driver.longPress(*view);
    core::RunLoop::main().runUntil([] { return false; }, 0.3);
    EXPECT_EQ(delegate->elements.size(), 1u) << "nothing under the finger, nothing asked";
    finger = driver.touchDown({ window().convertPoint({ 50, 50 }, nullptr) });
    driver.wait(0.6);
    driver.touchUp(finger);
    ASSERT_TRUE(waitFor([&] { return delegate->elements.size() == 2; }));
    EXPECT_EQ(delegate->elements[1].linkURL, "https://example.com/doc.pdf");
    EXPECT_FALSE(delegate->saw("shouldStartLoad 0")) << "a long press on a link does not follow it";

    // Plain text shows as text, in UTF-8 unless named.
    view->loadData(core::Data(std::string_view("h\xC3\xA9llo <b>world</b>")), "text/plain");
    ASSERT_TRUE(waitForLoadEnd(2));

    EXPECT_EQ(evaluate("document.body.innerText"), "h\xC3\xA9llo <b>world</b>");
    view->loadData(core::Data(std::string_view("h\xE9llo")), "text/plain", "ISO-8859-1");
    ASSERT_TRUE(waitForLoadEnd(3));
    EXPECT_EQ(evaluate("document.body.innerText"), "h\xC3\xA9llo");
}

TEST_F(WebKitViewTest, ScriptErrorsAreReportedAndDialogsWaitForTheirAlert)
{
    view->loadHTMLString("<script>setTimeout(function () { null.x; }, 0);</script>",
        core::URL::parse("http://example.test/").value());
    ASSERT_TRUE(waitFor([&] { return delegate->saw("didReportJavaScriptError"); }));
    EXPECT_TRUE(delegate->saw("didReportJavaScriptError TypeError: null is not an object"));
    EXPECT_TRUE(logContains("JavaScript error: TypeError"));

    view->evaluateJavaScript("setTimeout(function () { alert('Hi there'); document.title = 'after'; }, 0)", nullptr);
    ASSERT_TRUE(waitFor([&] { return !driver.shownChoices().empty(); }));
    EXPECT_EQ(driver.alert()->message(), "Hi there");
    EXPECT_NE(view->title(), "after");
    driver.pressAlertButton("OK");
    advance(1);
    EXPECT_TRUE(waitFor([&] { return view->title() == "after"; }));

    view->evaluateJavaScript("setTimeout(function () { document.title = confirm('Sure?') ? 'yes' : 'no'; }, 0)", nullptr);
    ASSERT_TRUE(waitFor([&] { return !driver.shownChoices().empty(); }));
    driver.pressAlertButton("Cancel");
    advance(1);
    EXPECT_TRUE(waitFor([&] { return view->title() == "no"; }));

    // Permission requests are refused.
    view->evaluateJavaScript("navigator.geolocation.getCurrentPosition(function () { document.title = 'located'; },"
                             " function (e) { document.title = 'refused ' + e.code; })",
        nullptr);
    EXPECT_TRUE(waitFor([&] { return view->title() == "refused 1"; })) << view->title();
}

TEST_F(WebKitViewTest, PrintingMakesAPDFOfThePage)
{
    loadFixture();
    std::optional<std::string> outcome;
    view->printToPDF(pathInHome("Documents/page.pdf"),
        [&](const core::Error* error) { outcome = error ? error->localizedDescription() : "done"; });
    ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }, 30));
    ASSERT_EQ(outcome, "done");
    auto text = test::runCommand({ "pdftotext", pathInHome("Documents/page.pdf"), "-" });
    EXPECT_NE(text.output.find("Web view test page"), std::string::npos) << text.output;
    // Only the PDF is left: the temporary was renamed.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(pathInHome("Documents")))
        files += entry.path().extension() == ".pdf" ? 1 : 0;
    EXPECT_EQ(files, 1u);
}

TEST_F(WebKitViewTest, ACrashedWebProcessFailsTheLoadAndTheNextLoadGetsANewOne)
{
    test::TestWebServer server(pathInHome("server"));
    view->loadRequest(core::URLRequest(core::URL::parse(server.url("/bytes/100000?type=text/plain&stall_after=10&token=t")).value()));
    ASSERT_TRUE(waitFor([&] { return delegate->saw("didStartLoad") && !webProcesses().empty(); }));
    for (pid_t pid : webProcesses())
        kill(pid, SIGKILL);
    ASSERT_TRUE(waitForLoadEnd());
    EXPECT_EQ(delegate->calls.back(), "didFailLoad -1");
    EXPECT_TRUE(logContains("web content process ended"));
    server.release("t");

    view->loadRequest(core::URLRequest(core::URL::parse(server.url("/page?title=Again")).value()));
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_EQ(delegate->calls.back(), "didFinishLoad");
    EXPECT_EQ(evaluate("document.title"), "Again");
}

// A live window of a test: the widget goes into another offscreen window.
class OffscreenPlacement : public web::WebViewPlacement {
public:
    OffscreenPlacement() : window(gtk_offscreen_window_new()) { gtk_widget_show(window); }
    ~OffscreenPlacement() override { gtk_widget_destroy(window); }
    void attach(void* widget) override
    {
        gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(widget));
        gtk_widget_show(GTK_WIDGET(widget));
        attached = true;
    }
    void place(const gfx::Rect& frame, const gfx::Rect& clip, bool hidden, int order) override
    {
        placed = frame;
        (void)clip, (void)hidden, (void)order;
    }
    void detach(void* widget) override
    {
        gtk_container_remove(GTK_CONTAINER(window), GTK_WIDGET(widget));
        attached = false;
    }
    GtkWidget* window;
    bool attached = false;
    gfx::Rect placed;
};

TEST_F(WebKitViewTest, MovingIntoALiveWindowAndBackKeepsPageHistoryAndPlace)
{
    test::TestWebServer server(pathInHome("server"));
    view->loadRequest(core::URLRequest(core::URL::parse(server.url("/page?title=First")).value()));
    ASSERT_TRUE(waitForLoadEnd());
    loadFixture();
    ASSERT_TRUE(waitFor([&] { return view->scrollView().contentSize().height > 1600; }));
    view->scrollView().setContentOffset({ 0, 400 });
    ASSERT_TRUE(waitFor([&] { return evaluate("window.scrollY") == "400"; }));

    auto placement = std::make_shared<OffscreenPlacement>();
    auto live = ui::Window::create({ 0, 0, 320, 480 });
    web::WebViewPlacement::setProvider(
        [&](ui::Window& window) { return &window == live.get() ? placement : nullptr; });
    live->addSubview(view);
    runLoop();
    EXPECT_TRUE(placement->attached);
    EXPECT_EQ(placement->placed, gfx::Rect(0, 0, 320, 480));
    EXPECT_EQ(evaluate("window.scrollY"), "400");

    window().addSubview(view);
    runLoop();
    EXPECT_FALSE(placement->attached);
    web::WebViewPlacement::setProvider(nullptr);
    EXPECT_EQ(evaluate("window.scrollY"), "400");
    EXPECT_EQ(evaluate("document.title"), "Blocks");
    EXPECT_TRUE(view->canGoBack());
    view->goBack();
    ASSERT_TRUE(waitForLoadEnd(3));
    EXPECT_EQ(evaluate("document.title"), "First");
    live.reset();
}

// A live page whose widget is off the screen (its picture shows in its
// place) still follows a link tapped on that picture.
TEST_F(WebKitViewTest, ATapOnALivePagesPictureFollowsTheLinkUnderIt)
{
    makeFile("next.html", "<title>Next</title><p>next</p>");
    std::string first = makeFile("first.html",
        "<title>First</title><body style='margin:0'><a href='next.html' style='display:block;height:200px'>Go</a></body>");
    view->loadRequest(core::URLRequest(core::URL::fileURL(first)));
    ASSERT_TRUE(waitForLoadEnd());

    struct Unshown : OffscreenPlacement {
        void attach(void* widget) override
        {
            gtk_widget_hide(window);
            OffscreenPlacement::attach(widget);
            shown = GTK_WIDGET(widget);
        }
        GtkWidget* shown = nullptr;
    };
    auto placement = std::make_shared<Unshown>();
    auto live = ui::Window::create({ 0, 0, 320, 480 });
    web::WebViewPlacement::setProvider(
        [&](ui::Window& window) { return &window == live.get() ? placement : nullptr; });
    live->addSubview(view);
    runLoop();
    ASSERT_TRUE(placement->attached);
    EXPECT_FALSE(gtk_widget_get_mapped(placement->shown));
    view->page().tap({ 100, 100 });
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_EQ(evaluate("document.title"), "Next");

    window().addSubview(view);
    runLoop();
    web::WebViewPlacement::setProvider(nullptr);
    live.reset();
}

TEST_F(WebKitViewTest, ViewsDroppedLeaveAtMostTwoWebProcesses)
{
    for (int batch = 0; batch < 5; ++batch) {
        std::vector<std::shared_ptr<web::WebView>> views;
        auto loaded = std::make_shared<test::WebTestDelegate>();
        for (int i = 0; i < 10; ++i) {
            auto made = web::WebView::create({ 0, 0, 100, 100 });
            made->setDelegate(loaded);
            window().addSubview(made);
            made->loadHTMLString("<p>" + std::to_string(batch * 10 + i) + "</p>");
            views.push_back(made);
        }
        ASSERT_TRUE(waitFor([&] { return loaded->count("didFinishLoad") == 10; }, 30));
        for (auto& made : views)
            made->removeFromSuperview();
    }
    runLoop();
    EXPECT_TRUE(waitFor([] { return webProcesses().size() <= 2; }, 5)) << webProcesses().size() << " web processes";
}

// The last view gone, the engine's context waits a while for the next one,
// then goes, and its web and network processes end with it; a view after
// that gets a new one.
TEST_F(WebKitViewTest, TheProcessesEndAWhileAfterTheLastViewWent)
{
    view->loadHTMLString("<p>one</p>");
    ASSERT_TRUE(waitForLoadEnd());
    ASSERT_FALSE(webProcesses().empty());
    view->removeFromSuperview();
    view.reset();
    runLoop();
    advance(web::GtkWebEngine::IdleContextSeconds - 1);
    EXPECT_TRUE(engine->hasContextForTesting());
    advance(2);
    EXPECT_FALSE(engine->hasContextForTesting());
    EXPECT_TRUE(waitFor([] { return webProcesses().empty() && webProcesses("WebKitNetworkPr").empty(); }, 10))
        << webProcesses().size() << " web processes, " << webProcesses("WebKitNetworkPr").size() << " network";

    view = web::WebView::create(window().bounds());
    view->setDelegate(delegate);
    window().addSubview(view);
    view->loadHTMLString("<p>two</p>");
    ASSERT_TRUE(waitForLoadEnd(2));
    EXPECT_EQ(delegate->calls.back(), "didFinishLoad");
    EXPECT_TRUE(engine->hasContextForTesting());
}

} // namespace

TEST_F(WebKitViewTest, FileFoldersKeepThePageAndWhatItLoadsInsideThem)
{
    // Folder names with the characters a rule pattern or its JSON would
    // take for their own.
    std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)";
    std::string open = makeFile("Pub lic (1)+.x$/ok.svg", svg);
    std::string secret = makeFile("Private/secret.svg", svg);
    makeFile("Private/secret.html", "<script>parent.postMessage('private', '*')</script>");
    makeFile("Pub lic (1)+.x$/frame.html", "<script>parent.postMessage('public', '*')</script>");
    std::string page = makeFile("Pub lic (1)+.x$/page.html",
        "<script>window.heard = []; addEventListener('message', e => heard.push(e.data));</script>"
        "<img id=secret src='../Private/secret.svg'><img id=shown src='ok.svg'>"
        "<img id=dotted src='../Pub%20lic%20(1)+.x$/../Private/secret.svg'>"
        "<iframe src='../Private/secret.html'></iframe><iframe src='frame.html'></iframe>");
    std::string publicFolder = std::filesystem::path(open).parent_path();
    auto loadPage = [&] {
        size_t ends = delegate->count("didFinishLoad") + delegate->count("didFailLoad");
        view->loadRequest(core::URLRequest(core::URL::fileURL(page)));
        ASSERT_TRUE(waitForLoadEnd(ends + 1));
        ASSERT_EQ(delegate->calls.back(), "didFinishLoad") << ::testing::PrintToString(delegate->calls);
        ASSERT_TRUE(waitFor([&] { return evaluate("document.readyState") == "complete"; }));
    };
    auto widths = [&] {
        return evaluate("[secret, shown, dotted].map(i => i.naturalWidth > 0).join(' ') + ' ' + heard.sort().join(' ')");
    };

    // Without folders the page reaches the private files (the check below
    // would prove nothing otherwise).
    loadPage();
    EXPECT_TRUE(waitFor([&] { return widths() == "true true true private public"; })) << widths();

    view->setFileFolders(std::vector<std::string> { publicFolder });
    loadPage();
    EXPECT_TRUE(waitFor([&] { return widths().find("public") != std::string::npos; })) << widths();
    EXPECT_EQ(widths(), "false true false public");

    // The page itself must lie inside too.
    size_t failures = delegate->count("didFailLoad");
    view->loadRequest(core::URLRequest(core::URL::fileURL(secret)));
    ASSERT_TRUE(waitFor([&] { return delegate->count("didFailLoad") > failures; }));

    view->setFileFolders(std::nullopt);
    loadPage();
    EXPECT_TRUE(waitFor([&] { return widths() == "true true true private public"; })) << widths();
}

