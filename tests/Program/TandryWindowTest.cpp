// The program's window under the tests' own Xvfb, driven from outside as a
// person's desktop would: xdotool for input and window sizes, SIGUSR1 for
// the program's own picture and view tree, ImageMagick's import for what
// the display shows, python3-xlib for the window manager's close request.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/XvfbDisplay.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

namespace {

class TandryWindowTest : public test::ProgramWindowTestCase {
protected:
    void showsWhatItDrawsAndEndsWhenClosed(const std::vector<std::string>& extra);
};

// What the display shows is the program's own picture; the window
// manager's close request ends the program cleanly.
void TandryWindowTest::showsWhatItDrawsAndEndsWhenClosed(const std::vector<std::string>& extra)
{
    start(extra);
    ASSERT_FALSE(HasFatalFailure());
    // 99.5 % of the pixels within 8 levels of the program's own picture.
    EXPECT_TRUE(waitForDisplay(pathInHome("shown.png"), 0.005)) << lastDump();
    EXPECT_NE(lastDump().find("Window"), std::string::npos) << lastDump();

    // The window manager's close request.
    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

TEST_F(TandryWindowTest, ShowsWhatItDrawsAndEndsWhenClosed)
{
    showsWhatItDrawsAndEndsWhenClosed({});
}

TEST_F(TandryWindowTest, APhoneAtScaleTwoToo)
{
    showsWhatItDrawsAndEndsWhenClosed({ "-DeviceIdiom", "phone", "--scale", "2" });
    auto size = test::runCommand({ "identify", "-format", "%w %h", pathInHome("shown.png") });
    EXPECT_EQ(size.output, "640 960") << "320 × 480 points, two pixels each";
}

TEST_F(TandryWindowTest, ClicksReachTheScreenAndAWideWindowIsLandscape)
{
    start();
    // The first launch's alert goes with a click on its OK.
    auto ok = centreOf(snapshot(), "Button (11, 106, 128, 43) \"OK\"");
    ASSERT_TRUE(ok) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    auto clicked = test::XvfbDisplay::xdotool({ "mousemove", "--window", window, std::to_string(ok->first),
        std::to_string(ok->second), "click", "1" });
    EXPECT_EQ(clicked.status, 0) << clicked.output;
    EXPECT_TRUE(waitForDump([](const std::string& dump) { return dump.find("AlertView") == std::string::npos; }))
        << "the click reached the alert";
    auto sized = test::XvfbDisplay::xdotool({ "windowsize", "--sync", window, "1024", "768" });
    EXPECT_EQ(sized.status, 0) << sized.output;
    // Turned, the bars span the long side.
    EXPECT_TRUE(waitForDump([](const std::string& dump) { return dump.find(", 1024, 44)") != std::string::npos; }))
        << lastDump();
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
}

// SIGTERM ends the windowed program without waiting on the workers' time
// limit: the image queue's worker, idle once the list's thumbnails are
// drawn, ends with the queue, and the settings are written.
TEST_F(TandryWindowTest, SigtermEndsWithEveryThreadAndTheSettingsWritten)
{
    start();
    EXPECT_NE(snapshot().find("Window"), std::string::npos);
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
    std::string output = readUntil("no such line");
    EXPECT_EQ(output.find("threads still running"), std::string::npos) << output;
    EXPECT_TRUE(std::filesystem::exists(pathInHome("home/Library/Preferences/com.kestrova.tandry.plist")));
}

// A photo from the folder list in the desktop window: a click opens it, a
// double click zooms it to 1.0, a drag to the left brings the next photo,
// a click on Back returns to the list. What the display showed is kept in
// build/screens/image/ beside the renderer's pictures.
TEST_F(TandryWindowTest, APhotoOpensZoomsTurnsToTheNextAndGoesBack)
{
    for (const char* name : { "a.jpg", "b.jpg" }) {
        std::string path = pathInHome(std::string("home/Library/Documents/") + name);
        auto made = test::runCommand({ "sh", "-c", "mkdir -p \"$(dirname \"$0\")\" && exec convert -size 200x150 "
                                                   "gradient:\"$1\" \"$0\"",
            path, name[0] == 'a' ? "orange-navy" : "seagreen-white" });
        ASSERT_EQ(made.status, 0) << made.output;
    }
    start({ "-DeviceIdiom", "phone" });
    auto click = [&](std::pair<int, int> at, int count = 1) {
        auto clicked = test::XvfbDisplay::xdotool({ "mousemove", "--window", window, std::to_string(at.first),
            std::to_string(at.second), "click", "--repeat", std::to_string(count), "--delay", "120", "1" });
        EXPECT_EQ(clicked.status, 0) << clicked.output;
    };
    auto keep = [&](const std::string& name) { ProgramWindowTestCase::keep("image", name, true); };
    auto ok = centreOf(snapshot(), "\"OK\"");
    ASSERT_TRUE(ok) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    click(*ok);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("AlertView") == std::string::npos; }));

    auto documents = centreOf(snapshot(), "\"Documents\"");
    ASSERT_TRUE(documents) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    click(*documents);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("\"b\"") != std::string::npos; }))
        << readFile(pathInHome("home/tmp/screen-dump.txt"));
    auto row = centreOf(lastDump(), "\"a\"");
    ASSERT_TRUE(row) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    click(*row);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("VKImageView") != std::string::npos; }))
        << readFile(pathInHome("home/tmp/screen-dump.txt"));
    keep("desktop-photo");

    // A double click: 1.0, the picture at its own size.
    click({ 160, 240 }, 2);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("zoom 1.00") != std::string::npos; }))
        << readFile(pathInHome("home/tmp/screen-dump.txt"));
    keep("desktop-zoomed");

    // A drag to the left: the next photo.
    auto moved = test::XvfbDisplay::xdotool({ "mousemove", "--window", window, "260", "240", "mousedown", "1",
        "mousemove", "--window", window, "200", "240", "mousemove", "--window", window, "120", "240", "mousemove",
        "--window", window, "60", "240", "mouseup", "1" });
    EXPECT_EQ(moved.status, 0) << moved.output;
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("no-interaction \"b\"") != std::string::npos && dump.find("VKImageView") != std::string::npos;
    }))
        << readFile(pathInHome("home/tmp/screen-dump.txt"));
    keep("desktop-next");

    // A click brings the bars back; Back returns to the list. The bars hide
    // again after a while, so on a slow machine the click may come too
    // late: then they are brought back once more.
    bool back = false;
    for (int attempt = 0; attempt < 3 && !back; ++attempt) {
        if (snapshot().find("VKNavigationBar (0, 0, 320, 44)") == std::string::npos) {
            click({ 160, 240 });
            ASSERT_TRUE(waitForDump([](const std::string& dump) {
                return dump.find("VKNavigationBar (0, 0, 320, 44)") != std::string::npos;
            })) << readFile(pathInHome("home/tmp/screen-dump.txt"));
        }
        auto button = centreOf(snapshot(), "BarItemButton (5, 7, 50, 30) \"Back\"");
        ASSERT_TRUE(button) << readFile(pathInHome("home/tmp/screen-dump.txt"));
        click(*button);
        back = waitForDump([](const std::string& dump) { return dump.find("VKImageView") == std::string::npos; });
    }
    ASSERT_TRUE(back) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    keep("desktop-back");
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
}

} // namespace
