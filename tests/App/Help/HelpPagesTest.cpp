// The help pages in the real engine (WebKit under the test program's
// Xvfb): every page loads without a script error, links only to pages that
// exist, and shows the server's addresses (or the note without them) once
// the application's two calls ran; values holding quotes or "</script>"
// show as text; a malformed page still shows; and a tap on a link of the
// Quick Start page opens the page in place under its own title.

#include "HelpWebKitTestCase.h"

#include "App/Help/VKHelpController.h"
#include "App/Help/VKHelpViewController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/Web/WebView.h"

#include <filesystem>
#include <sstream>

namespace {

using test::HelpWebKitTestCase;

class HelpPagesTest : public HelpWebKitTestCase { };

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        if (!line.empty())
            found.push_back(line);
    return found;
}

TEST_F(HelpPagesTest, EveryPageLoadsCleanlyLinksToPagesAndShowsTheAddresses)
{
    const std::string folder = core::Bundle::main()->bundlePath() + "/Help";
    std::vector<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path().string());
    std::sort(pages.begin(), pages.end());
    ASSERT_EQ(pages.size(), 24u);

    for (const auto& page : pages) {
        SCOPED_TRACE(page);
        const size_t errors = delegate->count("didReportJavaScriptError");
        ASSERT_TRUE(load(core::URL::fileURL(page)));
        EXPECT_EQ(evaluate(VKHelpViewController::metadataScript("com.kestrova.tandry")), "");
        EXPECT_EQ(evaluate(VKHelpViewController::serverURLScript("http://10.9.0.2:8080", "http://Tablet.local:8080")),
            "");
        std::string text = evaluate("document.body.innerText");
        EXPECT_NE(text.find("http://10.9.0.2:8080"), std::string::npos) << text;
        EXPECT_NE(text.find("http://Tablet.local:8080"), std::string::npos) << text;
        EXPECT_EQ(evaluate("document.documentElement.getAttribute('data-application')"), "com.kestrova.tandry");

        // No address: the note instead, the announced name gone with it.
        evaluate(VKHelpViewController::serverURLScript("", ""));
        text = evaluate("document.body.innerText");
        EXPECT_NE(text.find("(No WiFi Connection)"), std::string::npos) << text;
        EXPECT_EQ(text.find("Tablet.local"), std::string::npos) << text;

        for (const auto& link : lines(evaluate("Array.from(document.querySelectorAll('a[href]'), a => a.href).join('\\n')"))) {
            auto url = core::URL::parse(link);
            ASSERT_TRUE(url) << link;
            if (!url->isFileURL()) {
                EXPECT_TRUE(url->scheme() == "https" || url->scheme() == "mailto") << link;
                continue;
            }
            EXPECT_EQ(core::path::deletingLastPathComponent(url->filePath()), folder) << link;
            EXPECT_TRUE(std::filesystem::exists(url->filePath())) << link;
        }
        EXPECT_EQ(delegate->count("didReportJavaScriptError"), errors);
    }
}

TEST_F(HelpPagesTest, AddressesHoldingQuotesOrScriptEndsShowAsText)
{
    ASSERT_TRUE(load(core::URL::fileURL(core::Bundle::main()->pathForResource("connecting_quickstart", "html", "Help"))));
    const std::string named = "http://Bob's \"Tablet\"\\.local:8080";
    const std::string hostile = "x</script><script>document.title='owned'</script>\n";
    EXPECT_EQ(evaluate(VKHelpViewController::metadataScript("a\"b</script>")), "");
    EXPECT_EQ(evaluate(VKHelpViewController::serverURLScript(named, hostile)), "");
    std::string text = evaluate("document.body.innerText");
    EXPECT_NE(text.find(named), std::string::npos) << text;
    EXPECT_NE(text.find("x</script><script>document.title='owned'</script>"), std::string::npos) << text;
    EXPECT_EQ(evaluate("document.title"), "Quick Start");
    EXPECT_EQ(evaluate("document.documentElement.getAttribute('data-application')"), "a\"b</script>");
    EXPECT_EQ(delegate->count("didReportJavaScriptError"), 0u);
}

TEST_F(HelpPagesTest, AMalformedPageStillShows)
{
    std::string broken = makeFile("Broken/broken_page.html",
        "<html><head><title>Broken</title><body><h1>Half a page<p>Some <b>text</div></td> & more <a href=\"");
    auto root = VKHelpController::create();
    auto navigation = present(root);
    auto page = VKHelpViewController::initWithHelpResource(VKFileResource::resourceWithPath(broken));
    navigation->pushViewController(page, false);
    runLoop();
    ASSERT_TRUE(waitFor([&] { return !page->webView()->isLoading() && page->webView()->title() == "Broken"; }));
    advance(0.3);
    EXPECT_FALSE(page->webView()->isHidden());
    EXPECT_NE(evaluateIn(*page->webView(), "document.body.innerText").find("Some text"), std::string::npos);
}

TEST_F(HelpPagesTest, TappingALinkOfTheQuickStartPageOpensThatPageUnderItsTitle)
{
    auto root = VKHelpController::create();
    auto navigation = present(root);
    driver.tapRow(root->tableView(), { 0, 0 });
    advance(1);
    auto* page = dynamic_cast<VKHelpViewController*>(navigation->topViewController());
    ASSERT_TRUE(page);
    web::WebView& shown = *page->webView();
    ASSERT_TRUE(waitFor([&] { return !shown.isLoading() && !shown.url().value_or(core::URL()).absoluteString().empty(); }));
    ASSERT_TRUE(waitFor([&] {
        advance(0.05);
        return !shown.isHidden();
    }));
    EXPECT_EQ(page->title(), "Quick Start");
    EXPECT_FALSE(logContains("help page script failed"));

    gfx::Point link = linkCentre(shown, "connecting_browser.html");
    driver.tapAt(shown, link);
    ASSERT_TRUE(waitFor([&] { return shown.url() && shown.url()->absoluteString().ends_with("connecting_browser.html") && !shown.isLoading(); }))
        << shown.url().value_or(core::URL()).absoluteString();
    EXPECT_EQ(page->title(), "Web Interface");
    EXPECT_EQ(navigation->topViewController(), page);
    // The new page learns the addresses too.
    ASSERT_TRUE(waitFor([&] { return evaluateIn(shown, "document.body.innerText").find("(No WiFi Connection)") != std::string::npos; }));
    EXPECT_FALSE(logContains("help page script failed"));
}

} // namespace
