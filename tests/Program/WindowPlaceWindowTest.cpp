// The window as a desktop keeps it: a window moved and resized comes back
// at that place and size in the next run on the home, and one saved where
// no monitor is now (a larger screen, a monitor removed) opens on the
// screen there is.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/XvfbDisplay.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Frame = std::array<int, 4>;

class WindowPlaceWindowTest : public test::ProgramWindowTestCase {
protected:
    // Where the window stands and its size, as the X server has them.
    Frame frame()
    {
        auto said = test::runCommand({ "xdotool", "getwindowgeometry", window }).output;
        Frame f { -1, -1, -1, -1 };
        auto position = said.find("Position: ");
        auto geometry = said.find("Geometry: ");
        if (position != std::string::npos)
            std::sscanf(said.c_str() + position, "Position: %d,%d", &f[0], &f[1]);
        if (geometry != std::string::npos)
            std::sscanf(said.c_str() + geometry, "Geometry: %dx%d", &f[2], &f[3]);
        return f;
    }
    bool waitForFrame(const Frame& wanted)
    {
        for (int i = 0; i < 100; ++i) {
            if (frame() == wanted)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // The window manager's close, and the program's end with 0; ready to
    // start again on the same home.
    void closeWindow()
    {
        ASSERT_TRUE(test::XvfbDisplay::requestClose(window));
        EXPECT_EQ(exitStatus(), 0) << output;
        close(errors);
        errors = -1;
        output.clear();
        window.clear();
    }
};

TEST_F(WindowPlaceWindowTest, TheWindowComesBackWhereItWasOnAScreenThatExists)
{
    start();
    ASSERT_FALSE(HasFatalFailure());
    xdotool({ "windowmove", "--sync", window, "140", "90" });
    xdotool({ "windowsize", "--sync", window, "700", "820" });
    const Frame moved { 140, 90, 700, 820 };
    ASSERT_TRUE(waitForFrame(moved)) << frame()[0] << "," << frame()[1] << " " << frame()[2] << "x" << frame()[3];
    closeWindow();

    start();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(waitForFrame(moved)) << frame()[0] << "," << frame()[1] << " " << frame()[2] << "x" << frame()[3];
    // Its screen is laid out at that size.
    EXPECT_TRUE(waitForDump([](const std::string& dump) { return dump.find("(0, 0, 700, 820)") != std::string::npos; }))
        << lastDump();
    closeWindow();

    // Saved on a monitor that is gone: on this screen, whole.
    start({ "-DesktopWindowFrame", "4200 2600 900 1000" });
    ASSERT_FALSE(HasFatalFailure());
    auto display = test::runCommand({ "xdotool", "getdisplaygeometry" }).output;
    int screenWidth = 0, screenHeight = 0;
    ASSERT_EQ(std::sscanf(display.c_str(), "%d %d", &screenWidth, &screenHeight), 2) << display;
    Frame shown = frame();
    for (int i = 0; i < 100 && shown[2] != 900; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shown = frame();
    }
    EXPECT_EQ(shown[2], 900);
    EXPECT_EQ(shown[3], 1000);
    EXPECT_GE(shown[0], 0);
    EXPECT_GE(shown[1], 0);
    EXPECT_LE(shown[0] + shown[2], screenWidth);
    EXPECT_LE(shown[1] + shown[3], screenHeight);
    closeWindow();
}

} // namespace
