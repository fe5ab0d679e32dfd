// The program's window under the tests' own Xvfb, driven from outside as a
// person's desktop would: xdotool for input and window sizes, SIGUSR1 for
// the program's own picture and view tree, ImageMagick's import for what
// the display shows, python3-xlib for the window manager's close request.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/XvfbDisplay.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <thread>

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
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::string dump = snapshot();
    EXPECT_NE(dump.find("Window"), std::string::npos) << dump;
    std::string shown = pathInHome("shown.png");
    importWindow(shown);
    // 99.5 % of the pixels within 8 levels of the program's own picture.
    EXPECT_LT(differingShare(shown, programPicture()), 0.005);

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
    auto clicked = test::runCommand({ "xdotool", "mousemove", "--window", window, std::to_string(ok->first),
        std::to_string(ok->second), "click", "1" });
    EXPECT_EQ(clicked.status, 0) << clicked.output;
    bool gone = false;
    for (int i = 0; i < 40 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gone = snapshot().find("AlertView") == std::string::npos;
    }
    EXPECT_TRUE(gone) << "the click reached the alert";
    auto sized = test::runCommand({ "xdotool", "windowsize", "--sync", window, "1024", "768" });
    EXPECT_EQ(sized.status, 0) << sized.output;
    // Turned, the bars span the long side.
    bool landscape = false;
    for (int i = 0; i < 40 && !landscape; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        landscape = snapshot().find(", 1024, 44)") != std::string::npos;
    }
    EXPECT_TRUE(landscape) << readFile(pathInHome("home/tmp/screen-dump.txt"));
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatus(), 0);
}

} // namespace
