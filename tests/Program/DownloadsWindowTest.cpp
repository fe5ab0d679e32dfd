// The downloads screen in the program's window under the tests' own Xvfb,
// on a phone-sized window, against the loopback web server as the search
// site: Documents' Downloads button opens the browser on the search page,
// a typed address loads the site's page of links, its archive link offers
// the file, Download asks where it goes, and "Use "Documents"" puts it in
// Documents, where the Downloads tab and, after Close, the folder list show
// it. What the display showed is kept in build/screens/downloads_window/.

#include "ProgramWindowTestCase.h"

#include "Support/TestWebServer.h"
#include "Support/XvfbDisplay.h"


namespace {

class DownloadsWindowTest : public test::ProgramWindowTestCase { };

TEST_F(DownloadsWindowTest, ALinkOfTheBrowserTabEndsInTheFolderList)
{
    test::TestWebServer server(makeFolder("web"));
    ASSERT_TRUE(server.isRunning());
    const std::string site = "127.0.0.1:" + std::to_string(server.port());
    openDocuments("\"Welcome\"", { "-VKWebSearchHost", site });
    ASSERT_FALSE(HasFatalFailure());

    // The Downloads button: the browser tab on the search site's page.
    auto downloads = waitForView("VKBadgedButton (218, 0, 44, 44) tag=1001");
    ASSERT_TRUE(downloads) << lastDump();
    click(*downloads);
    auto field = waitForView("VKWebLocationField");
    ASSERT_TRUE(field) << lastDump();
    ASSERT_TRUE(waitForView("VKWebBrowserView (0, 0, 320, 436) \"http://" + site + "/m\"", 20)) << lastDump();
    keep("downloads_window", "desktop-search-page", true);

    // The site's address typed into the location field.
    click(*field);
    ASSERT_TRUE(waitForView("VKWebLocationField (68, 23, 248, 31) first-responder")) << lastDump();
    key("ctrl+a");
    type(site + "/site/links.html");
    key("Return");
    ASSERT_TRUE(waitForView("VKWebBrowserView (0, 0, 320, 436) \"http://" + site + "/site/links.html\"", 20))
        << lastDump();
    keep("downloads_window", "desktop-links", true);

    // "The archive" (its place on the page as the engine lays it out):
    // offered, then asked where it goes.
    click(62, 331);
    auto offered = waitForView("Button (20, 87, 280, 44) \"Download\"");
    ASSERT_TRUE(offered) << lastDump();
    EXPECT_NE(lastDump().find("archive.zip"), std::string::npos) << lastDump();
    click(*offered);
    auto documents = waitForView("\"Use \"Documents\"\"");
    ASSERT_TRUE(documents) << lastDump();
    keep("downloads_window", "desktop-destination", true);
    click(*documents);

    // The Downloads tab lists it; Close shows it in Documents, whole.
    auto tab = waitForView("VKTabBarButton (252, 0, 62, 44) \"Downloads\"");
    ASSERT_TRUE(tab) << lastDump();
    click(*tab);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("VKMultiEditTableView") != std::string::npos && dump.find(") \"archive\"") != std::string::npos;
    }, 20)) << lastDump();
    keep("downloads_window", "desktop-downloads-tab", true);
    auto close = waitForView("BarItemButton (5, 7, 53, 30) \"Close\"");
    ASSERT_TRUE(close) << lastDump();
    click(*close);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("VKFolderTableView") != std::string::npos && dump.find("VKFileResourceCell") != std::string::npos
            && dump.find(") \"archive\"") != std::string::npos && dump.find("VKWebBrowserView") == std::string::npos
            && dump.find("VKMultiEditTableView") == std::string::npos;
    }, 20)) << lastDump();
    keep("downloads_window", "desktop-documents", true);
    EXPECT_TRUE(readFile(pathInHome("home/Library/Documents/archive.zip")) == readFile(sourcePath("tests/fixtures/web/site/archive.zip")));

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace
