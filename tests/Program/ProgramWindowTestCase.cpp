#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/ViewTreeDumpQuery.h"
#include "Support/XvfbDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <thread>

extern char** environ;

namespace test {

void ProgramWindowTestCase::SetUp()
{
    TestCase::SetUp();
    TANDRY_REQUIRE_DISPLAY();
    for (const char* tool : { "xdotool", "import", "compare" })
        if (!hasProgram(tool))
            GTEST_SKIP() << tool << " is missing";
}

void ProgramWindowTestCase::TearDown()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (errors >= 0)
        close(errors);
    TestCase::TearDown();
}

void ProgramWindowTestCase::start(std::vector<std::string> extra, std::vector<std::string> environment)
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
    std::vector<std::string> variables { "GTK_IM_MODULE=gtk-im-context-simple" };
    variables.insert(variables.end(), environment.begin(), environment.end());
    for (char** variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    std::vector<char*> envp;
    for (auto& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid, TANDRY_EXECUTABLE, &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    errors = fds[0];
    std::string said = readUntil("Serving at http://");
    ASSERT_NE(said.find("Serving at http://"), std::string::npos) << said;
    // The window is the program's own.
    until([&] {
        auto found = runCommand({ "xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid) });
        if (found.status == 0 && !found.output.empty())
            window = found.output.substr(0, found.output.find('\n'));
        return !window.empty();
    });
    ASSERT_FALSE(window.empty()) << "no window";
}

std::string ProgramWindowTestCase::readUntil(std::string_view text)
{
    // Bounded: a program that never writes the text (or never ends) fails
    // the check instead of holding the test until ctest kills it.
    char buffer[512];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (output.find(text) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready { errors, POLLIN, 0 };
        if (left.count() <= 0 || poll(&ready, 1, int(left.count())) <= 0)
            break;
        ssize_t count = read(errors, buffer, sizeof buffer);
        if (count <= 0)
            break;
        output.append(buffer, size_t(count));
    }
    return output;
}

void ProgramWindowTestCase::drainErrors()
{
    char buffer[4096];
    pollfd ready { errors, POLLIN, 0 };
    while (errors >= 0 && poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
        ssize_t count = read(errors, buffer, sizeof buffer);
        if (count <= 0)
            break;
        output.append(buffer, size_t(count));
    }
}

std::string ProgramWindowTestCase::snapshot()
{
    // A full pipe would stop the program at its next log line.
    drainErrors();
    std::string png = programPicture(), dump = pathInHome("home/tmp/screen-dump.txt");
    unlink(png.c_str());
    unlink(dump.c_str());
    kill(pid, SIGUSR1);
    until([&] { return access(png.c_str(), R_OK) == 0 && access(dump.c_str(), R_OK) == 0; }, 5);
    return readFile(dump);
}

int ProgramWindowTestCase::exitStatus()
{
    int status = -1;
    // The program gives its threads up to 8 s to end after its window
    // closes: a loaded machine is given more than that.
    bool ended = until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 20);
    if (ended) {
        pid = -1;
        // Every thread ends with the program: none is left behind to
        // hold its end for seconds.
        drainErrors();
        EXPECT_EQ(output.find("threads still running"), std::string::npos) << output;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Where it stands, for the failure: what it said last and its threads.
    drainErrors();
    std::string said = output.size() > 4000 ? output.substr(output.size() - 4000) : output;
    std::string stacks;
    if (access("/usr/bin/gdb", X_OK) == 0)
        stacks = runCommand({ "timeout", "60", "/usr/bin/gdb", "-p", std::to_string(pid), "-batch", "-nx", "-ex",
                                "thread apply all bt 30" })
                     .output;
    ADD_FAILURE() << "tandry did not exit; its output ends:\n" << said << "\nits threads:\n" << stacks;
    return -1;
}

std::optional<std::pair<int, int>> ProgramWindowTestCase::centreOf(const std::string& dump, const std::string& text)
{
    return viewCentreInDump(dump, text);
}

bool ProgramWindowTestCase::atRest(const std::string& dump)
{
    // A window's line starts a line of its own, unindented.
    for (size_t at = 0; at < dump.size();) {
        size_t end = std::min(dump.find('\n', at), dump.size());
        std::string_view line(dump.data() + at, end - at);
        if (!line.starts_with(' ') && line.ends_with(" \"transitioning\""))
            return false;
        at = end + 1;
    }
    return true;
}

std::optional<std::pair<int, int>> ProgramWindowTestCase::waitForView(const std::string& text, double seconds)
{
    std::optional<std::pair<int, int>> found;
    until(
        [&] {
            std::string dump = snapshot();
            found = atRest(dump) ? centreOf(dump, text) : std::nullopt;
            return found.has_value();
        },
        seconds);
    return found;
}

bool ProgramWindowTestCase::waitForDump(const std::function<bool(const std::string&)>& condition, double seconds)
{
    return until(
        [&] {
            std::string dump = snapshot();
            return atRest(dump) && condition(dump);
        },
        seconds);
}

bool ProgramWindowTestCase::until(const std::function<bool()>& condition, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (condition())
            return true;
        if (::testing::Test::HasFatalFailure() || std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ProgramWindowTestCase::stays(const std::function<bool()>& condition, double seconds)
{
    return !until([&] { return !condition(); }, seconds);
}

bool ProgramWindowTestCase::waitForStillDisplay(const std::string& shown, const std::string& which, double seconds)
{
    std::string before = pathInHome("still.png");
    importWindow(before, which);
    return until(
        [&] {
            importWindow(shown, which);
            if (differingShare(before, shown) <= 0.002)
                return true;
            std::filesystem::copy_file(shown, before, std::filesystem::copy_options::overwrite_existing);
            return false;
        },
        seconds);
}

bool ProgramWindowTestCase::waitForDisplay(const std::string& shown, double share, double seconds)
{
    // The program's picture first: a display that shows it afterwards has
    // drawn the screen as it stood then.
    return until(
        [&] {
            snapshot();
            importWindow(shown);
            return differingShare(shown, programPicture()) <= share;
        },
        seconds);
}

void ProgramWindowTestCase::openDocuments(const std::string& row, std::vector<std::string> extra,
    std::vector<std::string> environment)
{
    extra.insert(extra.begin(), { "-DeviceIdiom", "phone" });
    start(extra, environment);
    if (HasFatalFailure())
        return;
    auto ok = waitForView("Button (11, 106, 128, 43) \"OK\"");
    ASSERT_TRUE(ok) << lastDump() << readUntil("\n\n");
    click(*ok);
    auto folder = waitForView("TableViewCell (0, 22, 320, 44) \"Documents\"");
    ASSERT_TRUE(folder) << lastDump();
    click(*folder);
    ASSERT_TRUE(waitForView(row)) << lastDump();
}

void ProgramWindowTestCase::xdotool(std::vector<std::string> arguments)
{
    auto result = test::XvfbDisplay::xdotool(std::move(arguments));
    EXPECT_EQ(result.status, 0) << result.output;
}

void ProgramWindowTestCase::click(int x, int y)
{
    xdotool({ "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1" });
}

void ProgramWindowTestCase::doubleClick(int x, int y)
{
    xdotool({ "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "--repeat", "2", "--delay",
        "80", "1" });
}

void ProgramWindowTestCase::drag(int x0, int y0, int x1, int y1)
{
    std::vector<std::string> arguments { "mousemove", "--window", window, std::to_string(x0), std::to_string(y0),
        "mousedown", "1" };
    for (int step = 1; step <= 8; ++step)
        arguments.insert(arguments.end(), { "mousemove", "--window", window, std::to_string(x0 + (x1 - x0) * step / 8),
                                              std::to_string(y0 + (y1 - y0) * step / 8), "sleep", "0.02" });
    arguments.insert(arguments.end(), { "mouseup", "1" });
    xdotool(arguments);
}

void ProgramWindowTestCase::type(const std::string& text)
{
    xdotool({ "type", "--delay", "20", text });
}

void ProgramWindowTestCase::key(const std::string& name)
{
    xdotool({ "key", name });
}

void ProgramWindowTestCase::keep(const std::string& folder, const std::string& name, bool withProgramPicture)
{
    std::string directory = sourcePath("build/screens/" + folder);
    std::filesystem::create_directories(directory);
    if (!withProgramPicture) {
        importWindow(directory + "/" + name + ".png");
        return;
    }
    EXPECT_TRUE(waitForDisplay(directory + "/" + name + ".png")) << name << ": the window does not show the screen";
    keepProgramPicture(directory + "/" + name);
}

void ProgramWindowTestCase::keepAsTaken(const std::string& folder, const std::string& name)
{
    std::string directory = sourcePath("build/screens/" + folder);
    std::filesystem::create_directories(directory);
    snapshot();
    importWindow(directory + "/" + name + ".png");
    keepProgramPicture(directory + "/" + name);
}

void ProgramWindowTestCase::keepProgramPicture(const std::string& stem)
{
    std::filesystem::copy_file(programPicture(), stem + "-renderer.png", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(pathInHome("home/tmp/screen-dump.txt"), stem + "-dump.txt",
        std::filesystem::copy_options::overwrite_existing);
}

void ProgramWindowTestCase::importWindow(const std::string& path, const std::string& which)
{
    auto taken = XvfbDisplay::importWindow(which.empty() ? window : which, path);
    EXPECT_EQ(taken.status, 0) << taken.output;
}

double ProgramWindowTestCase::differingShare(const std::string& a, const std::string& b)
{
    return XvfbDisplay::differingShare(a, b);
}

void ProgramWindowTestCase::goBackAndClose(const std::function<void()>& showBars,
    const std::function<bool(const std::string&)>& returned)
{
    bool back = false;
    for (int attempt = 0; attempt < 3 && !back; ++attempt) {
        showBars();
        if (::testing::Test::HasFatalFailure())
            return;
        auto button = centreOf(snapshot(), "\"Back\"");
        ASSERT_TRUE(button) << lastDump();
        click(*button);
        back = waitForDump(returned);
    }
    ASSERT_TRUE(back) << lastDump();
    std::string said;
    ASSERT_TRUE(XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace test
