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

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
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

    bool said(const std::string& text) { return program->output().find(text) != std::string::npos; }
    // Starts the program and waits for its "ready" and its visible window
    // titled `title`; false (with what went wrong) otherwise.
    ::testing::AssertionResult open(std::vector<std::string> arguments, const std::string& title)
    {
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
    // Keeps the window's picture as build/screens/<folder>/<name>.png.
    void keep(const std::string& folder, const std::string& name)
    {
        std::string directory = sourcePath("build/screens/" + folder);
        std::filesystem::create_directories(directory);
        auto taken = runCommand({ "timeout", "60", "import", "-window", window, directory + "/" + name + ".png" });
        EXPECT_EQ(taken.status, 0) << taken.output;
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
