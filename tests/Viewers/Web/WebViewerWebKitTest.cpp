// The web-document viewer on WebKit itself, under the test program's Xvfb:
// the word processor's RTF documents read as their text, an RTFD shows its
// picture and an RTF document the PNG in its table, a link to another
// public document loads in place and retitles the viewer, back and forward
// work, the anchor script tells links from the rest, a public page shows no
// private pictures in guest mode, a name that is not UTF-8 ends in the
// alert, and printing a long page gives a PDF of several pages.

#include "WebViewerTestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebDocumentView.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebPrintFormatter.h"
#include "Platform/Web/WebSnapshot.h"
#include "Support/Command.h"
#include "Support/SVGBombs.h"
#include "Support/XvfbDisplay.h"

#include <fmt/format.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <set>

namespace {

// White space collapsed (no-break spaces and the tab stops they render
// count as white space), a byte-order mark dropped and ASCII letters in
// lower case (innerText applies the capitals of text-transform; the word
// processor's plain text keeps the letters as typed).
std::string normalised(std::string text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);
    for (size_t at; (at = text.find("\xC2\xA0")) != std::string::npos;)
        text.replace(at, 2, " ");
    std::string out;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += char(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

class WebViewerWebKitTest : public test::WebViewerTestCase {
protected:
    void SetUp() override
    {
        WebViewerTestCase::SetUp();
        useWebKit();
    }

    std::string evaluate(web::WebView& view, std::string_view script)
    {
        // Shared: an answer after the wait gave up has somewhere to go.
        auto answer = std::make_shared<std::optional<std::string>>();
        view.evaluateJavaScript(script, [answer](const std::string& result, const core::Error* error) {
            *answer = error ? "error: " + error->localizedDescription() : result;
        });
        waitFor([&] { return answer->has_value(); });
        return answer->value_or("no answer");
    }

    void pop()
    {
        navigation->popToRootViewController(false);
        runLoop();
    }
};

TEST_F(WebViewerWebKitTest, RTFDocumentsReadAsTheirTextAndAnRTFDShowsItsPicture)
{
    size_t documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sourcePath("tests/fixtures/rtf/lo"))) {
        if (entry.path().extension() != ".rtf")
            continue;
        ++documents;
        std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        auto viewer = openLoaded(makeFile("Files/" + name, readFile(entry.path())));
        ASSERT_TRUE(viewer->webView());
        std::string expected = readFile(entry.path().parent_path() / (entry.path().stem().string() + ".txt"));
        EXPECT_EQ(normalised(evaluate(*viewer->webView(), "document.body.innerText")), normalised(expected));
        pop();
    }
    EXPECT_EQ(documents, 8u);

    // A picture beside the text of a package.
    makeFolder("Files/Note.rtfd");
    auto picture = test::runCommand({ "convert", "-size", "40x30", "xc:#3366cc", pathInHome("Files/Note.rtfd/blue.png") });
    ASSERT_EQ(picture.status, 0);
    makeFile("Files/Note.rtfd/TXT.rtf", "{\\rtf1\\ansi Before the picture.\\par {{\\NeXTGraphic blue.png \\width800 \\height600}\\uc0\\u65532 }\\par After.}");
    auto viewer = openLoaded(pathInHome("Files/Note.rtfd"));
    ASSERT_TRUE(viewer->webView());
    EXPECT_TRUE(waitFor([&] { return evaluate(*viewer->webView(), "document.images.length && document.images[0].complete") == "true"; }));
    EXPECT_EQ(evaluate(*viewer->webView(), "document.images[0].naturalWidth"), "40");
    pop();

    // A PNG inside the document, in a table cell, decodes from its data.
    auto png = test::runCommand({ "sh", "-c", "convert -size 40x20 xc:#cc3366 png:- | od -An -v -tx1 | tr -d ' \\n'" });
    ASSERT_EQ(png.status, 0);
    viewer = openLoaded(makeFile("Files/Cell.rtf",
        "{\\rtf1\\ansi\\trowd\\cellx3000\\pard\\intbl{\\pict\\pngblip\\picw40\\pich20 " + png.output
            + "}\\cell\\row}"));
    ASSERT_TRUE(viewer->webView());
    EXPECT_TRUE(waitFor([&] { return evaluate(*viewer->webView(), "document.images.length && document.images[0].complete") == "true"; }));
    EXPECT_EQ(evaluate(*viewer->webView(), "document.querySelector('td img').naturalWidth"), "40");
}

TEST_F(WebViewerWebKitTest, ALinkLoadsInPlaceAndBackAndForwardReturn)
{
    makeFile("Documents/Second.html", "<html><head><title>Second</title></head><body><p id='p'>The second page.</p></body></html>");
    std::string first = makeFile("Documents/First.html",
        "<html><head><meta name='viewport' content='width=device-width'></head><body style='margin:0'>"
        "<a id='link' href='Second.html' style='display:block;font-size:40px;height:80px'>Go on</a>"
        "<p style='font-size:20px'>Plain words below the link.</p></body></html>");
    auto viewer = openLoaded(first);
    auto* webView = viewer->webView();
    ASSERT_TRUE(webView);
    EXPECT_FALSE(webView->documentView().isHidden());

    // The anchor script, asked as a tap asks (the page at the view's
    // width): true on the link, the point elsewhere.
    auto anchorAt = [&](int x, int y) {
        return evaluate(*webView, fmt::format("VKFindAnchorAtPoint({0}*window.innerWidth/{2:f},{1}*window.innerWidth/{2:f});", x,
            y, webView->bounds().width()));
    };
    EXPECT_EQ(anchorAt(20, 40), "true");
    EXPECT_EQ(anchorAt(20, 300), "20, 300");

    // A tap on the link follows it; the bars stay as they were.
    advance(5);
    ASSERT_TRUE(viewer->isUIHidden());
    driver.tapAt(*webView, { 20, 40 });
    ASSERT_TRUE(waitFor([&] { return viewer->resource()->name() == "Second.html"; }));
    ASSERT_TRUE(waitFor([&] { return !webView->isLoading() && evaluate(*webView, "document.title") == "Second"; }));
    EXPECT_EQ(viewer->title(), "Second");
    ASSERT_TRUE(waitFor([&] { return viewer->backForwardControl()->isEnabledForSegment(0); }));
    EXPECT_FALSE(viewer->backForwardControl()->isEnabledForSegment(1));

    viewer->setUIHidden(false, false);
    driver.tapSegment(*viewer->backForwardControl(), 0);
    ASSERT_TRUE(waitFor([&] { return evaluate(*webView, "document.getElementById('link') != null") == "true"; }));
    ASSERT_TRUE(waitFor([&] { return viewer->backForwardControl()->isEnabledForSegment(1); }));
    viewer->setUIHidden(false, false);
    driver.tapSegment(*viewer->backForwardControl(), 1);
    EXPECT_TRUE(waitFor([&] { return evaluate(*webView, "document.title") == "Second"; }));
}

TEST_F(WebViewerWebKitTest, InGuestModeAPublicPageShowsNoPrivatePictures)
{
    std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)";
    makeFile("Documents/shown.svg", svg);
    makeFile("Library/Documents/secret.svg", svg);
    std::string page = makeFile("Documents/Pictures.html",
        "<img id=secret src='../Library/Documents/secret.svg'><img id=shown src='shown.svg'>");
    auto widths = [&](web::WebView& view) {
        std::string script = "[secret, shown].map(i => i.complete && i.naturalWidth > 0).join(' ')";
        waitFor([&] { return evaluate(view, "[secret, shown].every(i => i.complete)") == "true"; });
        return evaluate(view, script);
    };
    {
        auto viewer = openLoaded(page);
        ASSERT_TRUE(viewer->webView());
        EXPECT_EQ(widths(*viewer->webView()), "true true");
        pop();
    }
    guestHooks->guest = true;
    auto viewer = openLoaded(page);
    ASSERT_TRUE(viewer->webView());
    EXPECT_EQ(widths(*viewer->webView()), "false true");
}

TEST_F(WebViewerWebKitTest, ANameThatIsNotUTF8EndsInTheAlert)
{
    // WebKit reads no file whose path is not UTF-8 (its URL escapes the
    // bytes, but the engine cannot open it): the viewer says so.
    auto viewer = openPath(makeFile("Documents/caf\xE9 'a b'.html", "<p>ok</p>"));
    ASSERT_TRUE(waitFor([&] { return alertShown(); }));
    EXPECT_EQ(driver.alert()->message(), "Unable to display \"caf\xE9 'a b'.html\"");
    driver.pressAlertButton("OK");
    pop();
}

TEST_F(WebViewerWebKitTest, PrintingALongPageGivesSeveralPagesOfItsWords)
{
    std::string body;
    for (int i = 0; i < 400; ++i)
        body += fmt::format("<p>Paragraph {} of the long printed page.</p>\n", i);
    auto viewer = openLoaded(makeFile("Files/long.html", "<html><body>" + body + "</body></html>"));
    ASSERT_TRUE(viewer->webView());
    ui::PrintInteractionController::setPrintingAvailable(true);
    viewer->printFile(nullptr);
    auto& printer = ui::PrintInteractionController::shared();
    ASSERT_TRUE(waitFor([&] { return printer.isPresented(); }));
    auto formatter = std::dynamic_pointer_cast<web::WebPrintFormatter>(printer.printFormatter());
    ASSERT_TRUE(formatter);
    std::string pdf = pathInHome("printed.pdf");
    std::optional<bool> printed;
    formatter->printToPDF(pdf, [&](const core::Error* error) { printed = !error; });
    ASSERT_TRUE(waitFor([&] { return printed.has_value(); }, 60));
    EXPECT_TRUE(*printed);
    printer.dismiss(false);
    runLoop();
    ui::PrintInteractionController::setPrintingAvailable(false);
    auto info = test::runCommand({ "pdfinfo", pdf });
    ASSERT_EQ(info.status, 0);
    EXPECT_GE(std::stoi(info.output.substr(info.output.find("Pages:") + 6)), 2);
    auto text = test::runCommand({ "pdftotext", pdf, "-" });
    EXPECT_NE(text.output.find("Paragraph 399 of the long printed page."), std::string::npos);
}

TEST_F(WebViewerWebKitTest, FocusingAFieldOfThePageHidesTheBars)
{
    auto viewer = openLoaded(makeFile("Documents/Form.html",
        "<html><body><input id='name'><button id='go'>Go</button></body></html>"));
    ASSERT_TRUE(viewer->webView());
    viewer->setUIHidden(false, false);
    evaluate(*viewer->webView(), "document.getElementById('name').focus(); true");
    ASSERT_TRUE(waitFor([&] { return viewer->formInputActive(); }));
    EXPECT_TRUE(viewer->isUIHidden());
    evaluate(*viewer->webView(), "document.getElementById('go').focus(); true");
    EXPECT_TRUE(waitFor([&] { return !viewer->formInputActive(); }));
}

// A 50 MB page opens in the viewer from its file: the main loop keeps
// turning while the engine reads it, the page shows to its last paragraph,
// and the viewer leaves nothing in the home's tmp when it goes.
// A drawing that claims 10^16 pixels, and one whose uses nest ten deep
// (10^10 squares): each ends in a page or the slow load's alert while the
// loop turns.
TEST_F(WebViewerWebKitTest, SVGBombsEndInAPageOrTheAlertWhileTheLoopTurns)
{
    const std::pair<const char*, std::string> bombs[] = { { "Nested.svg", test::nestedUsesSVG() },
        { "Huge.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='100000000' height='100000000'>"
                      "<rect width='100%' height='100%' fill='red'/></svg>" } };
    for (const auto& [name, svg] : bombs) {
        SCOPED_TRACE(name);
        uint64_t passes = core::RunLoop::main().passCountForTesting();
        auto viewer = openPath(makeFile(std::string("Documents/") + name, svg));
        auto ended = [&] { return alertShown() || (viewer->contentDidLoad() && !viewer->contentIsLoading()); };
        // A drawing WebKit cannot finish is given up after the slow load's
        // time, with what came shown.
        if (!waitFor(ended, 5))
            advance(VKWebViewController::SlowLoadTimeout);
        ASSERT_TRUE(waitFor(ended, 30));
        EXPECT_GT(core::RunLoop::main().passCountForTesting() - passes, 10u) << "the loop kept turning";
        if (alertShown())
            driver.pressAlertButton(0);
        viewer.reset();
        pop();
    }
}

TEST_F(WebViewerWebKitTest, AFiftyMegabytePageOpensWhileTheLoopTurns)
{
    // Long paragraphs: the engine's cost goes with the elements more than
    // with the bytes, and 50 MB of them stays a page of 50 MB.
    std::string block;
    for (int i = 0; i < 100; ++i) {
        block += fmt::format("<p class='p{}'>", i % 7);
        for (int line = 0; line < 100; ++line)
            block += fmt::format("Line {} of a long generated page, words enough to wrap once. ", line);
        block += "</p>\n";
    }
    std::string html = "<html><head><meta name='viewport' content='width=device-width'></head><body>";
    html.reserve(50'100'000);
    while (html.size() < 50'000'000)
        html += block;
    html += "<p id='end'>The last paragraph.</p></body></html>";
    std::string path = makeFile("Documents/Large.html", html);
    html = {};
    auto tmpEntries = [&] {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(pathInHome("tmp"), error)) {
            std::string name = entry.path().filename().string();
            if (!name.starts_with("WebKit") && name != "WebContentRules") // the engine's own, kept
                names.insert(name);
        }
        return names;
    };
    auto before = tmpEntries();

    // The web process parses and lays out some 8,200 paragraphs of 6 KB:
    // about 10 s of a whole core and 1.4 GB (600,000 short ones took 3 GB),
    // several times that when the suite's other programs share the cores.
    uint64_t passes = core::RunLoop::main().passCountForTesting();
    auto viewer = openLoaded(path, 240);
    ASSERT_TRUE(viewer->webView());
    // The engine's news came in passes of their own, not in one that waited for the whole page.
    EXPECT_GT(core::RunLoop::main().passCountForTesting() - passes, 10u);
    EXPECT_FALSE(viewer->webView()->documentView().isHidden());
    EXPECT_EQ(evaluate(*viewer->webView(), "document.getElementById('end').textContent"), "The last paragraph.");
    EXPECT_EQ(evaluate(*viewer->webView(), "String(document.getElementsByTagName('p').length > 7000)"), "true");

    viewer.reset();
    pop();
    EXPECT_EQ(tmpEntries(), before);
}

// A loaded page that grows by a script is measured again.
TEST_F(WebViewerWebKitTest, APageGrowingAfterItsLoadIsMeasuredAgain)
{
    auto viewer = openLoaded(makeFile("Documents/Growing.html", "<html><body style='margin:0'><p>Short.</p></body></html>"));
    ASSERT_TRUE(viewer->webView());
    auto& scroll = viewer->webView()->scrollView();
    ASSERT_TRUE(waitFor([&] { return scroll.contentSize().height > 0; }));
    EXPECT_LT(scroll.contentSize().height, 1000);
    evaluate(*viewer->webView(), "var tall = document.createElement('div'); tall.style.height = '6000px'; "
        "document.body.appendChild(tall); true");
    EXPECT_TRUE(waitFor([&] { return scroll.contentSize().height > 6000 * viewer->webView()->pageZoom(); }))
        << scroll.contentSize().height;
}

// A page of 200 screens scrolled faster than the display draws (a step
// every 2 ms for a second, as a fast wheel would) reaches the viewer's
// scroll view at most once a frame, each place with its picture, and ends
// where the page ends.
TEST_F(WebViewerWebKitTest, AFastScrollReachesTheScrollViewAtMostOnceAFrame)
{
    auto viewer = openLoaded(makeFile("Documents/Tall.html",
        "<html><head><meta name='viewport' content='width=device-width'></head><body style='margin:0'>"
        "<div style='height:96000px;background:linear-gradient(#fff,#888)'>Tall</div></body></html>"));
    ASSERT_TRUE(viewer->webView());
    auto* web = viewer->webView();
    auto& scroll = web->scrollView();
    ASSERT_TRUE(waitFor([&] { return scroll.contentSize().height > 50000; }));
    int updates = 0;
    int unpictured = 0;
    auto counted = scroll.observeContentOffset([&](const gfx::Point&, const gfx::Point& now) {
        ++updates;
        // The picture shown is of the place the scroll view moved to.
        auto& snapshot = static_cast<web::WebDocumentView&>(web->documentView()).snapshot();
        if (!snapshot || std::abs(snapshot->offset().y + web->documentViewFrame().y() - now.y) > 1)
            ++unpictured;
    });
    auto started = std::chrono::steady_clock::now();
    evaluate(*web,
        "var steps = 0; var stepper = setInterval(function () { window.scrollBy(0, 90); "
        "if (++steps === 500) clearInterval(stepper); }, 2); true");
    ASSERT_TRUE(waitFor([&] { return evaluate(*web, "String(steps)") == "500"; }, 60));
    float end = float(500 * 90 * web->pageZoom() + web->documentViewFrame().y());
    EXPECT_TRUE(waitFor([&] { return std::abs(scroll.contentOffset().y - end) <= 2; }, 10))
        << scroll.contentOffset().y << " against " << end;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    counted.reset();
    EXPECT_GT(updates, 0);
    // A frame is a 60th of a second.
    EXPECT_LE(updates, int(seconds * 60) + 2) << updates << " updates in " << seconds << " s";
    EXPECT_EQ(unpictured, 0);
}

} // namespace
