// The web-document viewer in the program's window under the tests' own
// Xvfb, on a phone-sized window, driven by clicks as a person would: a page
// opened from the folder list shows live with the one-time paging help that
// a click takes away, a click on its text toggles the bars, a click on a
// link (on the page's picture, the bars and page index over it) loads the
// linked page in place, and the back arrow returns. What the display showed
// is kept beside the renderer's pictures.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/XvfbDisplay.h"

#include <filesystem>
#include <functional>

namespace {

class WebDocumentWindowTest : public test::ProgramWindowTestCase {
protected:
    void keep(const std::string& name) { ProgramWindowTestCase::keep("web_viewer", name, true); }
    static bool barsShown(const std::string& dump) { return dump.find("VKNavigationBar (0, 20, 320, 44)") != std::string::npos
            || dump.find("VKNavigationBar (0, 0, 320, 44)") != std::string::npos; }
    std::string lastDump() { return readFile(pathInHome("home/tmp/screen-dump.txt")); }
};

TEST_F(WebDocumentWindowTest, APageShowsLiveItsLinkLoadsInPlaceAndBackReturns)
{
    makeFile("home/Library/Documents/First.html",
        "<html><head><title>First</title><meta name='viewport' content='width=device-width'></head>"
        "<body style='margin:0;font-size:22px;background:#fff8e0'>"
        "<div style='height:180px'></div>"
        "<a href='Second.html' style='display:block;height:140px;font-size:44px;background:#cde'>Go on</a>"
        "<p style='height:400px'>Plain words below the link, to click on.</p></body></html>");
    makeFile("home/Library/Documents/Second.html",
        "<html><head><title>Second</title><meta name='viewport' content='width=device-width'></head>"
        "<body style='margin:0;font-size:30px;background:#e0ffe8'><p>The second page.</p></body></html>");

    start({ "-DeviceIdiom", "phone" });
    auto ok = waitForView("\"OK\"");
    ASSERT_TRUE(ok) << lastDump();
    click(ok->first, ok->second);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("AlertView") == std::string::npos; }));
    auto folder = waitForView("\"Documents\"");
    ASSERT_TRUE(folder) << lastDump();
    click(folder->first, folder->second);
    // The list settles (the first launch adds its welcome) before the click.
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("\"Second\"") != std::string::npos && dump.find("\"Welcome\"") != std::string::npos;
    })) << lastDump();
    auto row = centreOf(lastDump(), "\"First\"");
    ASSERT_TRUE(row) << lastDump();
    click(row->first, row->second);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("First.html") != std::string::npos; }, 30))
        << lastDump() << readUntil("\n\n");
    // The page is two screens tall: once measured it brings the one-time
    // paging help, which a click on the text takes away.
    auto help = [](const std::string& dump) { return dump.find("paging gesture regions") != std::string::npos; };
    ASSERT_TRUE(waitForDump(help)) << lastDump();
    keep("desktop-first");
    click(160, 380);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return !help(dump); }, 40)) << lastDump();

    // A click on the text toggles the bars (the page answers first that it
    // hit no link; the edges, 64 points, would page instead).
    bool shown = barsShown(snapshot());
    click(160, 380);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return barsShown(dump) != shown; }, 40)) << lastDump();
    shown = !shown;
    keep(shown ? "desktop-bars" : "desktop-no-bars");
    if (!shown) {
        click(160, 380);
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return barsShown(dump); }, 40)) << lastDump();
    }

    // With the bars the page index shows over the page, which gives way to
    // its picture: a click on the link there loads the second page in
    // place, and the bars go as after any followed link. The click waits
    // for the display to show that picture: before, it lands on the live
    // page as the picture replaces it, and only hides the bars.
    ASSERT_TRUE(waitForDisplay(pathInHome("index.png"))) << lastDump();
    click(160, 250);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("Second.html") != std::string::npos; }))
        << lastDump();
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return !barsShown(dump); }, 40)) << lastDump();
    keep("desktop-second");

    // The back arrow (bars brought back first) returns to the first page.
    // The page's live view gives way over the bars once the display shows
    // them; a click before lands on the page, which hides them again.
    if (!barsShown(snapshot())) {
        click(160, 300);
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return barsShown(dump); }, 40)) << lastDump();
    }
    ASSERT_TRUE(waitForDisplay(pathInHome("shown.png"))) << lastDump();
    auto arrows = centreOf(snapshot(), "SegmentedControl");
    ASSERT_TRUE(arrows) << lastDump();
    click(arrows->first - 20, arrows->second);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("First.html") != std::string::npos; }))
        << lastDump();
    keep("desktop-back");

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace
