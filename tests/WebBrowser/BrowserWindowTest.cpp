// The browser in the desktop window under the tests' Xvfb, driven as a
// person's desktop would (xdotool): a private page asks through the sign-in
// sheet, typing and Return sign in, a click on a link of the live page
// loads it, a right click on a link brings its sheet with Download above
// the page, whose Download reaches the download delegate, and a right click
// on a picture saves it under its alt text's name; the display's pictures
// go beside the renderer's
// (build/screens/webbrowser/).

#include "../Viewers/DesktopWindowTest.h"

#include "Support/TestWebServer.h"

#include <sstream>

namespace {

class BrowserWindowTest : public test::DesktopWindowTest {
protected:
    void SetUp() override
    {
        DesktopWindowTest::SetUp();
        if (IsSkipped())
            return;
        server = std::make_unique<test::TestWebServer>(pathInHome("server"));
        server->guardPrivateSite("user=anna&pass=s3cret&realm=Tandry%20Test");
    }
    void TearDown() override
    {
        if (program && program->isRunning())
            program->kill();
        DesktopWindowTest::TearDown();
        server.reset();
    }
    // The lines the program printed that start with `prefix`, without it.
    std::vector<std::string> told(const std::string& prefix)
    {
        std::vector<std::string> found;
        std::istringstream lines(program->output());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line.substr(prefix.size()));
        return found;
    }
    bool hasTitle(const std::string& title)
    {
        auto titles = told("title ");
        return std::find(titles.begin(), titles.end(), title) != titles.end();
    }
    // The centre of the shown sheet's button with that title, as told last.
    std::optional<std::pair<int, int>> choice(const std::string& title)
    {
        std::optional<std::pair<int, int>> found;
        for (const auto& line : told("choice " + title + " ")) {
            std::istringstream numbers(line);
            int x = 0, y = 0;
            if (numbers >> x >> y)
                found = std::pair(x, y);
        }
        return found;
    }
    void click(int x, int y, int button = 1)
    {
        xdotool({ "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", std::to_string(button) });
    }

    std::unique_ptr<test::TestWebServer> server;
};

TEST_F(BrowserWindowTest, SignInByTypingThenAHeldLinkOffersDownloadAboveTheLivePage)
{
    ASSERT_TRUE(open({ TANDRY_BROWSER_WINDOW, pathInHome("home"), server->url("/site/private/index.html") }, "Browser"));
    ASSERT_TRUE(waitFor([&] { return said("sheet\n"); }, 30)) << program->output() << program->errors();
    keep("webbrowser", "desktop-signin-sheet");
    // Keys go where the pointer is (no window manager).
    xdotool({ "mousemove", "--window", window, "160", "400", "type", "--delay", "30", "anna" });
    xdotool({ "key", "Return" });
    xdotool({ "type", "--delay", "30", "s3cret" });
    xdotool({ "key", "Return" });
    ASSERT_TRUE(waitFor([&] { return hasTitle("Private Page"); }, 30)) << program->output() << program->errors();
    keep("webbrowser", "desktop-private-page");

    // The page's rows are 56 points high below the bar: the first leads to
    // the links page.
    auto page = told("page ");
    ASSERT_FALSE(page.empty());
    int left = 0, top = 0;
    std::istringstream(page.back()) >> left >> top;
    click(left + 40, top + 28);
    ASSERT_TRUE(waitFor([&] { return hasTitle("Links and Images"); }, 30)) << program->output();
    click(left + 40, top + 28, 3);
    ASSERT_TRUE(waitFor([&] { return choice("Download").has_value(); }, 15)) << program->output() << program->errors();
    keep("webbrowser", "desktop-link-sheet");
    EXPECT_TRUE(choice("Open") && choice("Copy") && choice("Cancel"));
    // Download hands the link to the download delegate.
    auto download = choice("Download");
    click(download->first, download->second);
    ASSERT_TRUE(waitFor([&] { return !told("download ").empty(); }, 15)) << program->output() << program->errors();
    EXPECT_NE(told("download ").back().find("/site/"), std::string::npos) << told("download ").back();

    // The picture in the second row, once the link's sheet went: Save
    // Image, under its alt text's name.
    ASSERT_TRUE(waitFor([&] { return said("closed\n"); }, 15)) << program->output();
    click(left + 48, top + 84, 3);
    ASSERT_TRUE(waitFor([&] { return choice("Save Image").has_value(); }, 15)) << program->output();
    auto save = choice("Save Image");
    click(save->first, save->second);
    ASSERT_TRUE(waitFor([&] { return !told("image ").empty(); }, 15)) << program->output() << program->errors();
    EXPECT_NE(told("image ").back().find("photo.jpg Sunset.jpg"), std::string::npos) << told("image ").back();
    EXPECT_EQ(close(), 0);
}

} // namespace
