// The frame in the desktop window under the tests' own Xvfb, driven from
// outside as a person's desktop would: xdotool clicks the bottom paging
// region, drags the page index from top to bottom and turns the device
// (Ctrl+Left); python3-xlib sends the window manager's close. ImageMagick's
// import keeps what the display showed beside the renderer's pictures in
// build/screens/document/.

#include "Support/ChildProcess.h"
#include "Support/Command.h"
#include "Support/TestCase.h"
#include "Support/XvfbDisplay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

namespace {

class DocumentWindowTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_DISPLAY();
        for (const char* tool : { "xdotool", "import" })
            if (!test::hasProgram(tool))
                GTEST_SKIP() << tool << " is missing";
    }

    // Polls (real time) until the condition holds.
    static bool waitFor(const std::function<bool()>& condition, double seconds = 10)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }
    static void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    // The offsets the program reported, in order.
    std::vector<double> offsets()
    {
        std::vector<double> found;
        std::istringstream lines(program->output());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("offset ", 0) == 0)
                found.push_back(std::atof(line.c_str() + 7));
        return found;
    }
    bool said(const std::string& text) { return program->output().find(text) != std::string::npos; }

    void xdotool(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), "xdotool");
        auto result = test::runCommand(arguments);
        EXPECT_EQ(result.status, 0) << result.output;
    }
    void click(int x, int y)
    {
        xdotool({ "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1" });
    }
    void keep(const std::string& name)
    {
        std::string directory = sourcePath("build/screens/document");
        std::filesystem::create_directories(directory);
        auto taken = test::runCommand({ "import", "-window", window, directory + "/" + name + ".png" });
        EXPECT_EQ(taken.status, 0) << taken.output;
    }

    std::optional<test::ChildProcess> program;
    std::string window;
};

TEST_F(DocumentWindowTest, PagesScrubsTurnsAndClosesInTheDesktopWindow)
{
    program.emplace(std::vector<std::string> { TANDRY_DOCUMENT_WINDOW, pathInHome("home") });
    ASSERT_TRUE(program->started());
    ASSERT_TRUE(waitFor([&] { return said("ready") || !program->isRunning(); })) << program->errors();
    ASSERT_TRUE(said("ready")) << program->errors();
    ASSERT_TRUE(waitFor([&] {
        auto found = test::runCommand({ "xdotool", "search", "--onlyvisible", "--name", "^Annual Report$" });
        if (found.status == 0 && !found.output.empty())
            window = found.output.substr(0, found.output.find('\n'));
        return !window.empty();
    })) << "no window";
    auto geometry = test::runCommand({ "xdotool", "getwindowgeometry", window });
    ASSERT_NE(geometry.output.find("320x480"), std::string::npos) << "one pixel a point: " << geometry.output;
    keep("desktop-bars");

    // The bars leave after 3 s; a click in the bottom region then pages by
    // the content's height (the screen less the status bar) less 20.
    pause(3.5);
    click(160, 450);
    ASSERT_TRUE(waitFor([&] { return !offsets().empty() && offsets().back() == 480 - 20 - 20; })) << program->output();
    keep("desktop-paged");

    // A click in the middle brings the bars and the index back; dragging
    // the index from its top to its bottom ends at the last screen.
    click(160, 240);
    pause(0.5);
    xdotool({ "mousemove", "--window", window, "304", "75", "mousedown", "1" });
    for (int y = 100; y <= 425; y += 25)
        xdotool({ "mousemove", "--window", window, "304", std::to_string(y) });
    pause(0.2);
    keep("desktop-scrubbing");
    xdotool({ "mouseup", "1" });
    ASSERT_TRUE(waitFor([&] { return !offsets().empty() && offsets().back() == 480 * 30 - 460; })) << program->output();

    // Ctrl+Left turns the device.
    xdotool({ "mousemove", "--window", window, "160", "240", "key", "ctrl+Left" });
    ASSERT_TRUE(waitFor([&] { return said("turned"); })) << program->output();
    pause(1.5); // past the turn's animation
    keep("desktop-turned");

    // The window manager's close ends the program cleanly.
    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(program->wait(20), 0) << program->errors();
}

} // namespace
