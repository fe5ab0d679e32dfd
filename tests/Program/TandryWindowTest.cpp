// The program's window under the tests' own Xvfb, driven from outside as a
// person's desktop would: xdotool for input and window sizes, SIGUSR1 for
// the program's own picture and view tree, ImageMagick's import for what
// the display shows, python3-xlib for the window manager's close request.

#include "Support/Command.h"
#include "Support/TestCase.h"
#include "Support/XvfbDisplay.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

extern char** environ;

namespace {

// The centre of the first view whose dump line contains `text`, in the
// window's points: frames added up its ancestors (none of them scrolled).
std::optional<std::pair<int, int>> centreOf(const std::string& dump, const std::string& text)
{
    std::vector<std::pair<float, float>> origins;
    size_t start = 0;
    while (start < dump.size()) {
        size_t end = dump.find('\n', start);
        std::string line = dump.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? dump.size() : end + 1;
        size_t depth = line.find_first_not_of(' ') / 2;
        float x = 0, y = 0, w = 0, h = 0;
        size_t open = line.find('(');
        if (open == std::string::npos || std::sscanf(line.c_str() + open, "(%f, %f, %f, %f)", &x, &y, &w, &h) != 4)
            continue;
        origins.resize(depth);
        float ox = x, oy = y;
        for (auto& [ax, ay] : origins)
            ox += ax, oy += ay;
        if (line.find(text) != std::string::npos)
            return std::pair<int, int>(int(ox + w / 2), int(oy + h / 2));
        origins.emplace_back(x, y);
    }
    return std::nullopt;
}

class TandryWindowTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_DISPLAY();
        for (const char* tool : { "xdotool", "import", "compare" })
            if (!test::hasProgram(tool))
                GTEST_SKIP() << tool << " is missing";
    }
    void TearDown() override
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (errors >= 0)
            close(errors);
        TestCase::TearDown();
    }

    void start(std::vector<std::string> extra = {})
    {
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> all { TANDRY_EXECUTABLE, "--home", pathInHome("home"), "-VKPortNumber", "0" };
        all.insert(all.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("GTK_IM_MODULE", "gtk-im-context-simple", 1);
        ASSERT_EQ(posix_spawn(&pid, TANDRY_EXECUTABLE, &actions, nullptr, argv.data(), environ), 0);
        unsetenv("GTK_IM_MODULE");
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        errors = fds[0];
        std::string said = readUntil("Serving at http://");
        ASSERT_NE(said.find("Serving at http://"), std::string::npos) << said;
        // The window is the program's own.
        for (int i = 0; i < 200 && window.empty(); ++i) {
            auto found = test::runCommand({ "xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid) });
            if (found.status == 0 && !found.output.empty())
                window = found.output.substr(0, found.output.find('\n'));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_FALSE(window.empty()) << "no window";
    }

    std::string readUntil(std::string_view text)
    {
        char buffer[512];
        while (output.find(text) == std::string::npos) {
            ssize_t count = read(errors, buffer, sizeof buffer);
            if (count <= 0)
                break;
            output.append(buffer, size_t(count));
        }
        return output;
    }

    // SIGUSR1: the program's picture and dump, once both are written.
    std::string snapshot()
    {
        std::string png = pathInHome("home/tmp/screen.png"), dump = pathInHome("home/tmp/screen-dump.txt");
        unlink(png.c_str());
        unlink(dump.c_str());
        kill(pid, SIGUSR1);
        for (int i = 0; i < 200 && (access(png.c_str(), R_OK) != 0 || access(dump.c_str(), R_OK) != 0); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return readFile(dump);
    }

    int exitStatus()
    {
        int status = -1;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "tandry did not exit";
        return -1;
    }

    void showsWhatItDrawsAndEndsWhenClosed(const std::vector<std::string>& extra);

    pid_t pid = -1;
    int errors = -1;
    std::string output;
    std::string window;
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
    auto taken = test::runCommand({ "import", "-window", window, shown });
    ASSERT_EQ(taken.status, 0) << taken.output;
    // 99.5 % of the pixels within 8 levels of the program's own picture.
    auto compared = test::runCommand({ "compare", "-metric", "AE", "-fuzz", "3.2%", shown,
        pathInHome("home/tmp/screen.png"), "null:" });
    double differing = std::atof(compared.output.c_str());
    auto size = test::runCommand({ "identify", "-format", "%w %h", shown });
    int width = 0, height = 0;
    std::sscanf(size.output.c_str(), "%d %d", &width, &height);
    ASSERT_GT(width * height, 0) << size.output;
    EXPECT_LT(differing, 0.005 * width * height) << compared.output;

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
