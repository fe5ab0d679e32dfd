#pragma once

// The viewers' desktop checks: a test-only program shows a viewer in the
// desktop window under the tests' own Xvfb, and the test drives it from
// outside as a person's desktop would (xdotool), keeping what the display
// showed (ImageMagick's import) beside the renderer's pictures.

#include "Support/ChildProcess.h"
#include "Support/Command.h"
#include "Support/TestCase.h"
#include "Support/XvfbDisplay.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace test {

class DesktopWindowTest : public TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_DISPLAY();
        for (const char* tool : { "xdotool", "import" })
            if (!hasProgram(tool))
                GTEST_SKIP() << tool << " is missing";
    }

    // Polls (real time) until the condition holds.
    static bool waitFor(const std::function<bool()>& condition, double seconds = 30)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    bool said(const std::string& text) { return program->output().find(text) != std::string::npos; }
    // Starts the program and waits for its "ready" and its visible window
    // titled `title`; false (with what went wrong) otherwise.
    ::testing::AssertionResult open(std::vector<std::string> arguments, const std::string& title)
    {
        // The pointer starts away from the window: where an earlier test
        // left it, over a bar, the bars would stay for it.
        XvfbDisplay::xdotool({ "mousemove", "1270", "1010" });
        program.emplace(std::move(arguments));
        if (!program->started())
            return ::testing::AssertionFailure() << "did not start";
        waitFor([&] { return said("ready\n") || !program->isRunning(); });
        if (!said("ready\n"))
            return ::testing::AssertionFailure() << program->errors();
        bool found = waitFor([&] {
            auto search = runCommand({ "xdotool", "search", "--onlyvisible", "--name", "^" + title + "$" });
            if (search.status == 0 && !search.output.empty())
                window = search.output.substr(0, search.output.find('\n'));
            return !window.empty();
        });
        return found ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "no window";
    }
    void xdotool(std::vector<std::string> arguments)
    {
        auto result = XvfbDisplay::xdotool(std::move(arguments));
        EXPECT_EQ(result.status, 0) << result.output;
    }
    // Keeps what the display shows of the window as
    // build/screens/<folder>/<name>.png once it is the program's own picture
    // of its screen (SIGUSR1 writes it to the home's tmp; at most `share` of
    // the pixels apart), so the last frame of a change is drawn; that picture
    // goes beside it as <name>-renderer.png. A failure when the display does
    // not show it in 20 s.
    void keep(const std::string& folder, const std::string& name, double share = 0.03)
    {
        std::string directory = sourcePath("build/screens/" + folder);
        std::filesystem::create_directories(directory);
        std::string shown = directory + "/" + name + ".png";
        std::string drawn = pathInHome("home/tmp/screen.png"), views = pathInHome("home/tmp/screen-dump.txt");
        bool same = waitFor(
            [&] {
                // The view tree is written after the picture, whole.
                unlink(views.c_str());
                ::kill(program->pid(), SIGUSR1);
                if (!waitFor([&] { return access(views.c_str(), R_OK) == 0; }, 5))
                    return false;
                if (XvfbDisplay::importWindow(window, shown).status != 0)
                    return false;
                if (XvfbDisplay::differingShare(shown, drawn) <= share)
                    return true;
                // A turned device's screen is written lying on its side
                // while the window shows it upright.
                std::string upright = pathInHome("upright.png");
                for (const char* degrees : { "90", "-90" })
                    if (runCommand({ "convert", drawn, "-rotate", degrees, upright }).status == 0
                        && XvfbDisplay::differingShare(shown, upright) <= share)
                        return true;
                return false;
            },
            20);
        EXPECT_TRUE(same) << name << ": the display does not show the program's screen";
        std::error_code ignored;
        std::filesystem::copy_file(drawn, directory + "/" + name + "-renderer.png",
            std::filesystem::copy_options::overwrite_existing, ignored);
    }
    // The window manager's close; the program's exit status.
    int close(double seconds = 20)
    {
        std::string output;
        EXPECT_TRUE(XvfbDisplay::requestClose(window, &output)) << output;
        return program->wait(seconds);
    }

    std::optional<ChildProcess> program;
    std::string window;
};

} // namespace test
