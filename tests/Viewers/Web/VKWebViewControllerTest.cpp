// The web-document viewer on the recording engine: what each kind of
// document loads, the package zip, which links may load, the first and later
// finishes and failures, taps that hit links, back and forward, e-mail of a
// package and printing through the hidden view.

#include "WebViewerTestCase.h"

#include "Shell/Interface/VKAlertView.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/FileTestHooks.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/PrintInteractionController.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/TextView.h"
#include "Platform/Web/RecordingWebEngine.h"
#include "Platform/Web/WebPrintFormatter.h"
#include "Platform/Core/Path.h"
#include "Viewers/Document/VKPageIndexView.h"

#include <fmt/format.h>
#include "Viewers/Web/VKWebViewController.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

class VKWebViewControllerTest : public test::WebViewerTestCase { };

TEST_F(VKWebViewControllerTest, EachKindLoadsAsItShould)
{
    // Plain text: the bytes as text/plain, no encoding, no base.
    auto viewer = openFile("notes.txt", "plain words");
    auto loads = page(*viewer->webView()).loads();
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].kind, web::RecordingWebPage::Load::Kind::Data);
    EXPECT_EQ(loads[0].data.toString(), "plain words");
    EXPECT_EQ(loads[0].mimeType, "text/plain");
    EXPECT_EQ(loads[0].baseURL, "");
    EXPECT_EQ(viewer->webView()->dataDetectorTypes(), unsigned(ui::TextView::All));
    EXPECT_TRUE(viewer->webView()->scalesPageToFit());
    EXPECT_TRUE(viewer->webView()->documentView().isHidden());
    navigation->popViewController(false);
    runLoop();

    // HTML and anything else: the file URL; HTML gets back and forward.
    viewer = openFile("page.html", "<p>x</p>");
    loads = page(*viewer->webView()).loads();
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].request.url(), viewer->resource()->fileURL());
    EXPECT_EQ(viewer->navigationItem().rightBarButtonItem(), viewer->backForwardHTMLControlItem());
    navigation->popViewController(false);
    runLoop();
    viewer = openFile("data.bin", "\x01\x02");
    loads = page(*viewer->webView()).loads();
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].request.url(), viewer->resource()->fileURL());
    EXPECT_FALSE(viewer->tempResource());
    EXPECT_NE(viewer->navigationItem().rightBarButtonItem(), viewer->backForwardHTMLControlItem());
}

TEST_F(VKWebViewControllerTest, RTFIsConvertedOnAWorkerAndLoadedWithItsBase)
{
    auto viewer = openFile("letter.rtf", "{\\rtf1\\ansi Dear reader,\\par Kind words.}");
    ASSERT_TRUE(viewer->activityIndicator());
    ASSERT_TRUE(waitUntil([&] { return !page(*viewer->webView()).loads().empty(); }));
    auto load = page(*viewer->webView()).loads()[0];
    EXPECT_EQ(load.kind, web::RecordingWebPage::Load::Kind::HTML);
    EXPECT_NE(load.html.find("Kind words."), std::string::npos);
    EXPECT_EQ(load.baseURL, viewer->resource()->fileURL().absoluteString());
    navigation->popViewController(false);
    runLoop();

    // An RTFD shows its TXT.rtf, with the package folder as base.
    makeFolder("Files/Note.rtfd");
    makeFile("Files/Note.rtfd/TXT.rtf", "{\\rtf1 Inside the package.}");
    viewer = openPath(pathInHome("Files/Note.rtfd"));
    ASSERT_TRUE(waitUntil([&] { return !page(*viewer->webView()).loads().empty(); }));
    load = page(*viewer->webView()).loads()[0];
    EXPECT_NE(load.html.find("Inside the package."), std::string::npos);
    EXPECT_TRUE(load.baseURL.ends_with("/Note.rtfd/")) << load.baseURL;
    navigation->popViewController(false);
    runLoop();

    // An RTFD without its text, and RTF that does not convert: the alert,
    // no content, delete and the sheet usable.
    makeFolder("Files/Empty.rtfd");
    viewer = openPath(pathInHome("Files/Empty.rtfd"));
    ASSERT_TRUE(waitUntil([&] { return alertShown(); }));
    EXPECT_EQ(driver.alert()->message(), "Unable to display \"Empty.rtfd\"");
    EXPECT_FALSE(viewer->webView());
    EXPECT_FALSE(viewer->contentView());
    EXPECT_FALSE(viewer->contentIsLoading());
    for (const char* action : { VKViewController::ShowDocumentActionSheetAction, VKViewController::DeleteItemAction })
        if (auto item = viewer->findBarButtonItemWithAction(action)) {
            EXPECT_TRUE(item->isEnabled()) << action;
        }
    driver.pressAlertButton(0);
    EXPECT_TRUE(logContains("webView didFailLoadWithError:"));
}

TEST_F(VKWebViewControllerTest, AFileThatCannotBeReadSaysWhyAndLoadsNothing)
{
    // A file the user may not read; a link to a file out of the home.
    const std::string locked = makeFile("Files/locked.html", "<p>secret</p>");
    core::FileTestHooks::setOpenFileHook([&](const std::string& opened) { return opened == locked ? EACCES : 0; });
    std::filesystem::create_symlink(sourcePath("tests/fixtures/ui/screen.png"), pathInHome("Files/outside.html"));
    const std::pair<const char*, const char*> cases[] = { { "locked.html", "permission denied" },
        { "outside.html", "it is a link that leads out of Tandry's home" } };
    for (auto [name, reason] : cases) {
        auto viewer = openPath(pathInHome(std::string("Files/") + name));
        ASSERT_TRUE(alertShown()) << name;
        EXPECT_EQ(driver.alert()->message(), fmt::format("Unable to display \"{}\": {}", name, reason));
        EXPECT_FALSE(viewer->webView()) << "nothing loaded";
        EXPECT_FALSE(viewer->contentIsLoading());
        driver.pressAlertButton(0);
        navigation->popViewController(false);
        runLoop();
    }
}

TEST_F(VKWebViewControllerTest, APoppedViewerDropsItsConversion)
{
    std::string big = "{\\rtf1 ";
    for (int i = 0; i < 20000; ++i)
        big += "A line of text to convert.\\par ";
    big += "}";
    std::weak_ptr<VKWebViewController> weak;
    std::shared_ptr<VKWebView> view;
    {
        auto viewer = openFile("big.rtf", big);
        weak = viewer;
        view = viewer->webView()->sharedAs<VKWebView>();
        navigation->popViewController(false);
        runLoop();
    }
    waitForWorkers();
    runLoop();
    runLoop();
    EXPECT_FALSE(weak.lock());
    EXPECT_FALSE(alertShown());
    EXPECT_FALSE(view->vkDelegate()) << "a view kept longer tells the viewer nothing";
}

TEST_F(VKWebViewControllerTest, APackageIsZippedShownAndMailedAsItsZipAndRemoved)
{
    makeFolder("Files/Essay.PAGES");
    makeFile("Files/Essay.PAGES/index.xml", "<document/>");
    driver.setCanSendMail(true);
    // Without the office converter the package is refused after zipping.
    ::setenv("PATH", pathInHome("no-bin").c_str(), 1);
    std::string zipPath;
    {
        auto viewer = openPath(pathInHome("Files/Essay.PAGES"));
        ASSERT_TRUE(waitUntil([&] { return viewer->tempResource() != nullptr; }));
        zipPath = viewer->tempResource()->path();
        EXPECT_TRUE(zipPath.starts_with(VKTemporaryDirectory()));
        EXPECT_TRUE(zipPath.ends_with("-Essay.PAGES.zip"));
        ASSERT_TRUE(alertShown());
        EXPECT_EQ(driver.alert()->title(), "Unable to display \"Essay.PAGES\"");
        driver.pressAlertButton(0);

        viewer->emailFile(nullptr);
        runLoop();
        auto composer = driver.mailComposer();
        ASSERT_TRUE(composer);
        ASSERT_EQ(composer->attachments().size(), 1u);
        EXPECT_EQ(composer->attachments()[0].fileName, "Essay.PAGES.zip");
        EXPECT_EQ(composer->attachments()[0].data.toString().substr(0, 2), "PK");
        driver.finishMail(ui::MailComposeController::Cancelled);
        advance(1);
        navigation->popViewController(false);
        runLoop();
    }
    runLoop();
    EXPECT_FALSE(std::filesystem::exists(zipPath));
}

TEST_F(VKWebViewControllerTest, TheFirstFinishShowsThePageAndChecksTheMetaTag)
{
    auto viewer = openFile("page.html", "<p>x</p>");
    EXPECT_TRUE(viewer->contentIsLoading());
    finishFirstLoad(*viewer, "telephone=no");
    EXPECT_FALSE(viewer->contentIsLoading());
    EXPECT_TRUE(viewer->contentDidLoad());
    EXPECT_FALSE(viewer->webView()->documentView().isHidden());
    auto scripts = page(*viewer->webView()).scripts();
    ASSERT_GE(scripts.size(), 2u);
    EXPECT_EQ(scripts[0], VKWebViewController::FindAnchorScript);
    EXPECT_EQ(scripts[1], VKWebViewController::MetaTagsScript);
    EXPECT_EQ(viewer->webView()->dataDetectorTypes(), unsigned(ui::TextView::Link));
    EXPECT_TRUE(viewer->printFormatter());
}

// The engine may measure the page after the load ended: a page found three
// screens tall only then still gets its page index and the one-time help.
TEST_F(VKWebViewControllerTest, APageMeasuredAfterItsLoadGetsItsIndexAndThePagingHelp)
{
    auto viewer = openFile("page.html", "<p>x</p>");
    finishFirstLoad(*viewer);
    runLoop();
    EXPECT_EQ(viewer->pageCount(), 0u);
    EXPECT_FALSE(viewer->pageIndexView());
    float width = viewer->webView()->bounds().width();
    page(*viewer->webView()).reportMetrics({ 0, 0, width, 3 * 480.0 * width / 320, width, 400 });
    runLoop();
    EXPECT_EQ(viewer->pageCount(), 3u);
    ASSERT_TRUE(viewer->pageIndexView());
    EXPECT_EQ(viewer->pageIndexView()->superview(), viewer->contentView().get());
    EXPECT_TRUE(viewer->pagingGestureInfoVisible());
}

// The page's first line shows below the top bar while the bars show; the
// bars going or coming keep the place read, and at its top the page follows
// them.
TEST_F(VKWebViewControllerTest, ThePageStartsBelowTheTopBarWhileTheBarsShow)
{
    auto viewer = openFile("page.html", "<p>x</p>");
    finishFirstLoad(*viewer);
    auto& webView = *viewer->webView();
    float width = webView.bounds().width();
    page(webView).reportMetrics({ 0, 0, width, 3000, width, 400 });
    viewer->setUIHidden(false, false);
    runLoop();
    auto& bar = viewer->navigationController()->navigationBar();
    float barBottom = bar.convertRect(bar.bounds(), nullptr).maxY();
    float viewTop = webView.convertRect(webView.bounds(), nullptr).minY();
    ASSERT_GT(barBottom, viewTop);
    auto pageTop = [&] { return webView.scrollView().convertRect(webView.documentViewFrame(), nullptr).minY(); };
    EXPECT_EQ(pageTop(), barBottom);
    webView.scrollView().setContentOffset({ 0, 500 });
    float read = pageTop();
    viewer->setUIHidden(true, false);
    EXPECT_EQ(pageTop(), read);
    webView.scrollView().setContentOffset({ 0, 0 });
    EXPECT_EQ(pageTop(), viewTop);
    viewer->setUIHidden(false, false);
    EXPECT_EQ(pageTop(), barBottom);
    EXPECT_EQ(webView.scrollView().contentSize().height, 3000 * float(webView.pageZoom()) + barBottom - viewTop);
}

TEST_F(VKWebViewControllerTest, ALaterResponseTheEngineCannotShowFailsWithoutADownload)
{
    auto viewer = openFile("page.html", "<a href='x.zip'>x</a>");
    auto webView = viewer->webView()->shared_from_this();
    auto& recorder = page(*viewer->webView());
    core::HTTPURLResponse response(core::URL::fileURL(pathInHome("Files/page.html")), 200, {});
    auto decision = recorder.receiveResponse(response, core::URLRequest(viewer->resource()->fileURL()), false);
    runLoop();
    EXPECT_EQ(recorder.responseAnswer(decision), false);
    ASSERT_TRUE(waitUntil([&] { return alertShown(); }));
    EXPECT_EQ(driver.alert()->message(), "Unable to display \"page.html\"");
    driver.pressAlertButton(0);
}

TEST_F(VKWebViewControllerTest, LinksLoadOnlyDocumentsOfTheAllowedFolders)
{
    makeFile("Library/Documents/Private.html", "secret");
    makeFile("Library/Documents/Own.html", "own");
    makeFile("Documents/Other.html", "public");
    makeFile("Documents/Mixed.html", "case");
    makeFolder("Documents/Folder");
    makeFile("Publicity/x.html", "beside");
    std::filesystem::create_symlink(pathInHome("Library/Documents/Private.html"), pathInHome("Documents/link.html"));
    auto viewer = openPath(makeFile("Documents/Start.html", "<a href='Other.html'>"));
    finishFirstLoad(*viewer);
    auto& recorder = page(*viewer->webView());
    auto ask = [&](const std::string& url, web::NavigationType type = web::NavigationType::LinkClicked) {
        auto decision = recorder.navigate(core::URLRequest(*core::URL::parse(url)), type);
        runLoop();
        return recorder.navigationAnswer(decision).value_or(true);
    };
    auto file = [&](std::string_view relative) { return core::URL::fileURL(pathInHome(relative)).absoluteString(); };

    // The document itself, also with a fragment.
    EXPECT_TRUE(ask(file("Documents/Start.html") + "#part"));
    EXPECT_TRUE(ask("about:blank"));

    // Another public document: allowed, and the viewer's resource now.
    EXPECT_TRUE(ask(file("Documents/Other.html")));
    EXPECT_EQ(viewer->resource()->path(), pathInHome("Documents/Other.html"));
    EXPECT_EQ(viewer->title(), "Other");
    // The private folder outside guest mode too.
    EXPECT_TRUE(ask(file("Library/Documents/Own.html")));

    // In guest mode: the private folder, a way round through "..", a folder
    // whose name only begins like the public one and a link out of it are
    // all refused with the alert.
    guestHooks->guest = true;
    for (std::string url : { file("Library/Documents/Private.html"), file("Documents") + "/../Library/Documents/Private.html",
             file("Publicity/x.html"), file("Documents/link.html"), file("Documents/Folder") }) {
        EXPECT_FALSE(ask(url)) << url;
        ASSERT_TRUE(alertShown()) << url;
        EXPECT_EQ(driver.alert()->title(), "Unsupported URL");
        EXPECT_EQ(driver.alert()->message(), "This URL wasn't loaded:\n" + core::path::lastPathComponent(url));
        driver.pressAlertButton("Dismiss");
        runLoop();
    }
    EXPECT_EQ(viewer->resource()->path(), pathInHome("Library/Documents/Own.html"));

    // A path differing only in case: refused, then the real one loads.
    size_t loadsBefore = recorder.loads().size();
    EXPECT_FALSE(ask(file("Documents/MIXED.HTML")));
    runLoop();
    ASSERT_EQ(recorder.loads().size(), loadsBefore + 1);
    EXPECT_EQ(recorder.loads().back().request.url(), core::URL::fileURL(pathInHome("Documents/Mixed.html")));

    // Another host and other schemes are refused; clicked, they go to the
    // frame's link sheet.
    EXPECT_FALSE(ask("file://server/share/x.html", web::NavigationType::Other));
    EXPECT_FALSE(alertShown());
    EXPECT_FALSE(ask("http://example.com/"));
    ASSERT_TRUE(alertShown());
    EXPECT_TRUE(driver.actionSheet());
}

TEST_F(VKWebViewControllerTest, AFailedLoadShowsTheAlertAndDropsTheContent)
{
    std::weak_ptr<VKWebView> webView;
    {
        auto viewer = openFile("page.html", "<p>x</p>");
        webView = std::static_pointer_cast<VKWebView>(viewer->webView()->shared_from_this());
        page(*viewer->webView()).failLoad(core::Error("NSURLErrorDomain", -1100, "missing"));
        runLoop();
        ASSERT_TRUE(alertShown());
        EXPECT_EQ(driver.alert()->message(), "Unable to display \"page.html\"");
        EXPECT_FALSE(viewer->contentView());
        EXPECT_TRUE(viewer->contentDidLoad());
        driver.pressAlertButton(0);
        navigation->popViewController(false);
        runLoop();
    }
    runLoop();
    EXPECT_FALSE(webView.lock());
}

TEST_F(VKWebViewControllerTest, ATapOnALinkIsThePagesAndElsewhereTheFrames)
{
    auto viewer = openFile("page.html", "<a href='#'>link</a>");
    finishFirstLoad(*viewer);
    advance(5);
    ASSERT_TRUE(viewer->isUIHidden());
    auto& recorder = page(*viewer->webView());
    auto tapAndAnswer = [&](std::optional<std::string> anchorAnswer) {
        size_t before = recorder.scripts().size();
        driver.tapAt(*viewer->webView(), { 160, 200 });
        runLoop();
        auto scripts = recorder.scripts();
        EXPECT_EQ(scripts.size(), before + 1);
        float width = viewer->webView()->bounds().width();
        EXPECT_EQ(scripts.back(),
            fmt::format("VKFindAnchorAtPoint({0:f}*window.innerWidth/{2:f},{1:f}*window.innerWidth/{2:f});", 160.0f, 200.0f, width));
        if (anchorAnswer) {
            recorder.answerScript(scripts.size() - 1, *anchorAnswer);
            runLoop();
        }
    };
    tapAndAnswer("true");
    advance(1);
    EXPECT_TRUE(viewer->isUIHidden());
    tapAndAnswer("160, 200");
    advance(1);
    EXPECT_FALSE(viewer->isUIHidden());
    // No answer: after half a second the tap counts as no link.
    advance(5);
    ASSERT_TRUE(viewer->isUIHidden());
    tapAndAnswer(std::nullopt);
    advance(0.4);
    EXPECT_TRUE(viewer->isUIHidden());
    advance(1);
    EXPECT_FALSE(viewer->isUIHidden());
    // A busy page that names a link after that puts the bars back, whether
    // they changed already or are about to.
    recorder.answerScript(recorder.scripts().size() - 1, "true");
    runLoop();
    EXPECT_TRUE(viewer->isUIHidden());
    tapAndAnswer(std::nullopt);
    advance(0.6);
    recorder.answerScript(recorder.scripts().size() - 1, "true");
    advance(1);
    EXPECT_TRUE(viewer->isUIHidden());
}

TEST_F(VKWebViewControllerTest, AFocusedFormFieldHidesTheBarsAndKeepsTapsFromHidingThem)
{
    auto viewer = openFile("form.html", "<input>");
    finishFirstLoad(*viewer);
    viewer->setUIHidden(false, false);
    ASSERT_FALSE(viewer->isUIHidden());
    page(*viewer->webView()).reportEditingFocus(true);
    runLoop();
    EXPECT_TRUE(viewer->isUIHidden());
    EXPECT_TRUE(viewer->formInputActive());
    EXPECT_FALSE(viewer->shouldSingleTapHideUI());
    page(*viewer->webView()).reportEditingFocus(false);
    runLoop();
    EXPECT_FALSE(viewer->formInputActive());
    EXPECT_TRUE(viewer->shouldSingleTapHideUI());
}

TEST_F(VKWebViewControllerTest, BackAndForwardFollowTheHistory)
{
    makeFile("Documents/Second.html", "two");
    auto viewer = openPath(makeFile("Documents/First.html", "<a href='Second.html'>"));
    finishFirstLoad(*viewer);
    auto* control = viewer->backForwardControl();
    ASSERT_TRUE(control);
    EXPECT_FALSE(control->isEnabledForSegment(0));
    EXPECT_FALSE(control->isEnabledForSegment(1));
    auto& recorder = page(*viewer->webView());
    recorder.navigate(core::URLRequest(core::URL::fileURL(pathInHome("Documents/Second.html"))),
        web::NavigationType::LinkClicked);
    runLoop();
    recorder.finishLoad("Second");
    runLoop();
    EXPECT_TRUE(control->isEnabledForSegment(0));
    EXPECT_FALSE(control->isEnabledForSegment(1));
    driver.tapSegment(*control, 0);
    runLoop();
    EXPECT_EQ(recorder.commands().back(), "goBack");
}

TEST_F(VKWebViewControllerTest, PrintingLoadsAHiddenViewFirst)
{
    ui::PrintInteractionController::setPrintingAvailable(true);
    auto viewer = openFile("page.html", "<p>x</p>");
    finishFirstLoad(*viewer);

    // Cancelled while preparing: no panel, no alert.
    viewer->printFile(nullptr);
    ASSERT_TRUE(viewer->printingView());
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(driver.alert()->title(), "Printing");
    EXPECT_EQ(driver.alert()->message().find("Preparing document..."), 0u);
    driver.pressAlertButton("Cancel");
    runLoop();
    EXPECT_FALSE(viewer->printingView());
    EXPECT_FALSE(alertShown());
    EXPECT_FALSE(ui::PrintInteractionController::shared().isPresented());

    // Loaded: the hidden view's formatter goes to the panel.
    viewer->printFile(nullptr);
    runLoop();
    auto& hidden = page(*viewer->printingView());
    ASSERT_EQ(hidden.loads().size(), 1u);
    EXPECT_EQ(hidden.loads()[0].request.url(), viewer->resource()->fileURL());
    hidden.finishLoad();
    runLoop();
    auto& printer = ui::PrintInteractionController::shared();
    ASSERT_TRUE(printer.isPresented());
    auto formatter = std::dynamic_pointer_cast<web::WebPrintFormatter>(printer.printFormatter());
    ASSERT_TRUE(formatter);
    EXPECT_EQ(formatter->webView().get(), viewer->printingView());
    printer.dismiss(false);
    runLoop();
    EXPECT_FALSE(viewer->printingView());

    // The hidden load fails: the warning.
    viewer->printFile(nullptr);
    runLoop();
    page(*viewer->printingView()).failLoad(core::Error("NSURLErrorDomain", -1, "broken"));
    runLoop();
    ASSERT_TRUE(alertShown());
    EXPECT_EQ(driver.alert()->title(), "Warning");
    EXPECT_EQ(driver.alert()->message(), "Failed to print \"page.html\"");
    driver.pressAlertButton("OK");
    ui::PrintInteractionController::setPrintingAvailable(false);
}

} // namespace
