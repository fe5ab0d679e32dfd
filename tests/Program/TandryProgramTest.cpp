// Runs the built tandry program from the outside.

#include "Support/Command.h"
#include "Support/RawClient.h"
#include "Support/TestCase.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

class TandryProgramTest : public test::TestCase {
protected:
    struct Run {
        pid_t pid = -1;
        int stderrFd = -1;
    };

    // The program runs without a display, as on a server, unless `display`
    // names one.
    Run start(const std::vector<std::string>& arguments, const std::string& display = {})
    {
        std::vector<std::string> variables;
        for (char** variable = environ; *variable; ++variable) {
            std::string_view entry(*variable);
            if (!entry.starts_with("DISPLAY=") && !entry.starts_with("WAYLAND_DISPLAY="))
                variables.emplace_back(entry);
        }
        if (!display.empty())
            variables.push_back("DISPLAY=" + display);
        std::vector<char*> environment;
        for (auto& variable : variables)
            environment.push_back(variable.data());
        environment.push_back(nullptr);

        int pipeFds[2];
        EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> all { TANDRY_EXECUTABLE };
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        Run run;
        EXPECT_EQ(posix_spawn(&run.pid, TANDRY_EXECUTABLE, &actions, nullptr, argv.data(), environment.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        run.stderrFd = pipeFds[0];
        return run;
    }

    // Reads the child's stderr until `text` shows up or the stream ends.
    static std::string readUntil(int fd, std::string_view text)
    {
        std::string output;
        char buffer[512];
        while (output.find(text) == std::string::npos) {
            ssize_t count = read(fd, buffer, sizeof buffer);
            if (count <= 0)
                break;
            output.append(buffer, static_cast<size_t>(count));
        }
        return output;
    }

    static int waitForExit(pid_t pid)
    {
        int status = 0;
        // Bounded: a program that ignores the signal fails the test instead of hanging it.
        for (int i = 0; i < 3000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return status;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "tandry did not exit";
        return status;
    }
};

TEST_F(TandryProgramTest, StartsOnItsHomeAndEndsCleanlyOnSignals)
{
    for (int signal : { SIGTERM, SIGINT }) {
        std::string home = pathInHome("home-" + std::to_string(signal));
        Run run = start({ "--home", home, "-VKPortNumber", "0" });
        std::string output = readUntil(run.stderrFd, "\n");
        EXPECT_NE(output.find(home), std::string::npos) << output;
        kill(run.pid, signal);
        int status = waitForExit(run.pid);
        close(run.stderrFd);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(access(home.c_str(), W_OK), 0);
    }
}

TEST_F(TandryProgramTest, LaysOutAndMigratesItsHomeOnce)
{
    std::string home = pathInHome("home");
    makeFile("home/Documents/Tandry/old.txt", "old");
    for (int launch = 0; launch < 2; ++launch) {
        Run run = start({ "--home", home, "-VKPortNumber", "0" });
        // Served, so laid out.
        std::string output = readUntil(run.stderrFd, "Started HTTP server on port ");
        kill(run.pid, SIGTERM);
        int status = waitForExit(run.pid);
        output += readUntil(run.stderrFd, "\n\n");
        close(run.stderrFd);
        EXPECT_EQ(WEXITSTATUS(status), 0) << output;
        EXPECT_EQ(readFile(home + "/Library/Documents/old.txt"), "old");
        // The second run moves nothing: what the public folder holds stays.
        if (launch == 0)
            makeFile("home/Documents/shared.txt", "shared");
    }
    for (const char* folder : { "Documents", "Library/Preferences/Metadata", "Library/Servers", "Library/Documents" })
        EXPECT_EQ(access((home + "/" + folder).c_str(), W_OK), 0) << folder;
    EXPECT_EQ(readFile(home + "/Documents/shared.txt"), "shared");
}

TEST_F(TandryProgramTest, BadArgumentsAndUnusableHomesExitWithTwo)
{
    std::string file = makeFile("in-the-way", "x");
    for (auto arguments : std::vector<std::vector<std::string>> {
             { "--no-such-option" }, { "--home" }, { "--home", file }, { "--home", file + "/sub" },
             { "--password-file", file + "/missing" } }) {
        Run run = start(arguments);
        std::string output = readUntil(run.stderrFd, "\n\n");
        int status = waitForExit(run.pid);
        close(run.stderrFd);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2) << arguments[0];
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
}

TEST_F(TandryProgramTest, ServesTheStoreOnAnAssignedPort)
{
    std::string home = pathInHome("home");
    makeFile("home/Documents/hello.txt", "hello");
    makeFile("home/Library/Documents/x.txt", "private");
    Run run = start({ "--home", home, "-VKPortNumber", "0" });
    std::string output = readUntil(run.stderrFd, "/\n");
    const auto at = output.find("Serving at http://");
    ASSERT_NE(at, std::string::npos) << output;
    const auto colon = output.find(':', at + 18);
    const auto port = std::stoi(output.substr(colon + 1));
    EXPECT_GT(port, 0);
    const auto base = "http://127.0.0.1:" + std::to_string(port);
    auto result = test::runCommand({ "curl", "-sS", base + "/Public/hello.txt", base + "/Documents/x.txt" });
    EXPECT_EQ(result.output, "helloprivate");
    result = test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}",
        base + "/Library/Preferences/com.example.plist", base + "/Public/%2e%2e/Library/Documents/x.txt" });
    EXPECT_EQ(result.output, "404400");
    // It speaks WebDAV.
    result = test::runCommand({ "curl", "-sS", "-i", "-X", "OPTIONS", base + "/" });
    EXPECT_NE(result.output.find("DAV: 1,2"), std::string::npos) << result.output;
    result = test::runCommand({ "curl", "-sS", "-X", "PROPFIND", "-H", "Depth: 1", base + "/Public/" });
    EXPECT_NE(result.output.find("<D:href>/Public/hello.txt</D:href>"), std::string::npos) << result.output;
    kill(run.pid, SIGTERM);
    int status = waitForExit(run.pid);
    close(run.stderrFd);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The port was given for this run only: no settings were written.
    EXPECT_NE(access((home + "/Library/Preferences/Metadata").c_str(), F_OK), -1);
    const auto preferences = home + "/Library/Preferences";
    for (const auto& entry : std::filesystem::directory_iterator(preferences))
        EXPECT_FALSE(entry.path().string().ends_with(".plist")) << entry.path();

    // With the server off it says so and runs on.
    run = start({ "--home", home, "-VKServerEnabled", "NO" });
    output = readUntil(run.stderrFd, "VKServerEnabled is off");
    EXPECT_NE(output.find("VKServerEnabled is off"), std::string::npos) << output;
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
    close(run.stderrFd);
}

TEST_F(TandryProgramTest, APasswordFileGuardsTheStoreWithoutShowingUp)
{
    std::string home = pathInHome("home");
    makeFile("home/Library/Documents/hello.txt", "hello");
    std::string passwordFile = makeFile("password", "pass word\nsecond line\n");
    Run run = start({ "--home", home, "-VKPortNumber", "0", "-VKLoginUsername", "alice", "--password-file", passwordFile });
    std::string output = readUntil(run.stderrFd, "/\n");
    const auto at = output.find("Serving at http://");
    ASSERT_NE(at, std::string::npos) << output;
    const auto port = std::stoi(output.substr(output.find(':', at + 18) + 1));
    const auto file = "http://127.0.0.1:" + std::to_string(port) + "/Documents/hello.txt";
    auto result = test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", file });
    EXPECT_EQ(result.output, "401");
    result = test::runCommand({ "curl", "-sS", "--digest", "-u", "alice:pass word", file });
    EXPECT_EQ(result.output, "hello");
    result = test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", "--digest", "-u",
        "alice:pass word\nsecond line", file });
    EXPECT_EQ(result.output, "401");
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
    output += readUntil(run.stderrFd, "\n\n\n");
    close(run.stderrFd);
    EXPECT_EQ(output.find("pass word"), std::string::npos) << output;
    // Given for the run only: the keychain never saw it.
    EXPECT_FALSE(std::filesystem::exists(home + "/Library/Keychain/Tandry.keychain"));
}

TEST_F(TandryProgramTest, EndsOnlyAfterTheTrashIsEmptied)
{
    // Emptying the trash runs on a thread of its own; the program's end waits
    // for it rather than pull its statics from under it.
    std::string home = pathInHome("home");
    const std::string big = home + "/Library/Documents/big";
    std::filesystem::create_directories(big);
    for (int i = 0; i < 20000; ++i)
        close(open((big + "/f" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    makeFile("home/Library/Documents/small.txt", "x");
    Run run = start({ "--home", home, "-VKPortNumber", "0" });
    std::string output = readUntil(run.stderrFd, "/\n");
    const auto at = output.find("Serving at http://");
    ASSERT_NE(at, std::string::npos) << output;
    const auto base = "http://127.0.0.1:" + std::to_string(std::stoi(output.substr(output.find(':', at + 18) + 1)));
    // The second removal empties the first one's trash folder in the background.
    auto result = test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", "-X", "DELETE",
        base + "/Documents/big/", "-X", "DELETE", base + "/Documents/small.txt" });
    EXPECT_EQ(result.output, "204204");
    kill(run.pid, SIGTERM);
    int status = waitForExit(run.pid);
    output += readUntil(run.stderrFd, "\n\n\n");
    close(run.stderrFd);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_EQ(output.find("threads still running"), std::string::npos) << output;
    size_t left = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home + "/Library/Preferences/Metadata/Trash"))
        left += entry.path().filename().string().starts_with("f");
    EXPECT_EQ(left, 0u);
}

} // namespace

namespace {

// The run's "Serving at http://HOST:PORT/" line, read from its log.
std::string servingURL(const std::string& output)
{
    const auto at = output.find("Serving at ");
    if (at == std::string::npos)
        return {};
    const auto end = output.find('\n', at);
    return output.substr(at + 11, end - at - 11);
}

// One key of the settings file, read by Python's plistlib ("missing" when absent).
std::string storedSetting(const std::string& home, const std::string& key)
{
    auto result = test::runCommand({ "python3", "-c",
        "import os,plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb')) if os.path.exists(sys.argv[1]) else {}\n"
        "print(d.get(sys.argv[2],'missing'))",
        home + "/Library/Preferences/com.kestrova.tandry.plist", key });
    auto text = result.output;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

TEST_F(TandryProgramTest, APasswordFileOutlivesTheFirstRunsKeychainReset)
{
    // The whole application's first run empties the keychain; the password
    // given for the run still guards the store afterwards.
    std::string home = pathInHome("home");
    makeFile("home/Library/Documents/hello.txt", "hello");
    std::string passwordFile = makeFile("password", "s3cret\n");
    Run run = start({ "--no-window", "--home", home, "-VKPortNumber", "0", "-VKLoginUsername", "alice",
        "--password-file", passwordFile });
    std::string output = readUntil(run.stderrFd, "/\n");
    EXPECT_NE(output.find("Reseting VKKeychain..."), std::string::npos) << output;
    const auto url = servingURL(output);
    ASSERT_FALSE(url.empty()) << output;
    const auto port = std::stoi(url.substr(url.rfind(':') + 1));
    const auto file = "http://127.0.0.1:" + std::to_string(port) + "/Documents/hello.txt";
    auto result = test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", file });
    EXPECT_EQ(result.output, "401");
    result = test::runCommand({ "curl", "-sS", "--digest", "-u", "alice:s3cret", file });
    EXPECT_EQ(result.output, "hello");
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
    close(run.stderrFd);
}

TEST_F(TandryProgramTest, TheWholeApplicationRunsWithoutAWindowAndKeepsItsHomeToItself)
{
    std::string home = pathInHome("home");
    Run run = start({ "--no-window", "--home", home, "-VKPortNumber", "0" });
    std::string output = readUntil(run.stderrFd, "/\n");
    const auto url = servingURL(output);
    EXPECT_TRUE(url.starts_with("http://") && url.ends_with("/")) << output;
    EXPECT_NE(output.find("Reseting VKKeychain..."), std::string::npos) << output;

    // A second run on the same home hands over to it and ends; a second
    // server is turned away.
    Run second = start({ "--home", home, "-VKPortNumber", "0" });
    EXPECT_EQ(WEXITSTATUS(waitForExit(second.pid)), 0);
    close(second.stderrFd);
    Run server = start({ "--server-only", "--home", home, "-VKPortNumber", "0" });
    std::string refused = readUntil(server.stderrFd, "\n\n");
    int secondStatus = waitForExit(server.pid);
    close(server.stderrFd);
    EXPECT_EQ(WEXITSTATUS(secondStatus), 2);
    EXPECT_NE(refused.find("tandry: home " + home + " is in use (process " + std::to_string(run.pid) + ")"),
        std::string::npos)
        << refused;

    kill(run.pid, SIGINT);
    int status = waitForExit(run.pid);
    close(run.stderrFd);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(storedSetting(home, "VKIsFirstRun"), "False");
}

TEST_F(TandryProgramTest, WithoutADisplayOnlyTheServerRuns)
{
    std::string home = pathInHome("home");
    Run run = start({ "--home", home, "-VKPortNumber", "0" });
    std::string output = readUntil(run.stderrFd, "/\n");
    EXPECT_NE(output.find("serving only"), std::string::npos) << output;
    EXPECT_FALSE(servingURL(output).empty()) << output;
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
    close(run.stderrFd);
    EXPECT_EQ(storedSetting(home, "VKIsFirstRun"), "missing");
}

TEST_F(TandryProgramTest, ADisplayThatCannotBeOpenedOrServerOnlyLeavesTheServerAlone)
{
    // No X server answers on display 4242.
    for (bool serverOnly : { false, true }) {
        std::string home = pathInHome(serverOnly ? "server-only" : "automatic");
        std::vector<std::string> arguments { "--home", home, "-VKPortNumber", "0" };
        if (serverOnly)
            arguments.push_back("--server-only");
        Run run = start(arguments, ":4242");
        std::string output = readUntil(run.stderrFd, "/\n");
        EXPECT_FALSE(servingURL(output).empty()) << output;
        EXPECT_EQ(output.find("The display cannot be opened: serving only") != std::string::npos, !serverOnly) << output;
        EXPECT_EQ(output.find("No display"), std::string::npos) << output;
        kill(run.pid, SIGTERM);
        EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
        close(run.stderrFd);
        EXPECT_EQ(storedSetting(home, "VKIsFirstRun"), "missing");
    }
}

TEST_F(TandryProgramTest, AFileOpenedAtLaunchIsImported)
{
    std::string home = pathInHome("home");
    std::string folder = pathInHome("a-folder");
    std::filesystem::create_directories(folder);
    for (const auto& bad : { pathInHome("missing.pdf"), folder }) {
        Run run = start({ "--no-window", "--home", home, "--open", bad });
        std::string output = readUntil(run.stderrFd, "\n\n");
        EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 2) << bad;
        close(run.stderrFd);
        EXPECT_NE(output.find(bad), std::string::npos) << output;
    }

    std::string handed = makeFile("QL-abc.pdf", "%PDF-1.4 handed over");
    Run run = start({ "--no-window", "--home", home, "-VKPortNumber", "0", "--open", handed });
    std::string output = readUntil(run.stderrFd, "/\n");
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
    close(run.stderrFd);
    EXPECT_EQ(readFile(home + "/Library/Documents/Imports/QL-abc.pdf"), "%PDF-1.4 handed over") << output;
    EXPECT_EQ(readFile(handed), "%PDF-1.4 handed over");
    EXPECT_NE(access((home + "/Documents/Inbox").c_str(), F_OK), 0);
}

TEST_F(TandryProgramTest, UploadsCutOffByAKillAreNeverSeenAndGoAtTheNextStart)
{
    std::string home = pathInHome("home");
    const std::string whole = std::string(200000, 'w');
    const std::string wholeFile = makeFile("whole.bin", whole);
    Run run = start({ "--home", home, "-VKPortNumber", "0" });
    std::string url = servingURL(readUntil(run.stderrFd, "/\n"));
    ASSERT_FALSE(url.empty());
    const int port = std::stoi(url.substr(url.rfind(':') + 1));
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", "-T", wholeFile,
                  base + "/Documents/whole.bin" }).output,
        "201");

    // Two uploads stop midway, one announced, one chunked.
    test::RawClient announced(static_cast<uint16_t>(port));
    announced.send("PUT /Documents/half.bin HTTP/1.1\r\nHost: h\r\nContent-Length: 1000000\r\n\r\n"
        + std::string(300000, 'h'));
    test::RawClient chunked(static_cast<uint16_t>(port));
    chunked.send("PUT /Public/chunked.bin HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n10000\r\n"
        + std::string(0x10000, 'c') + "\r\n");
    const std::string staging = home + "/tmp/WebDAV";
    const auto staged = [&] {
        std::error_code error;
        return std::distance(std::filesystem::directory_iterator(staging, error), std::filesystem::directory_iterator());
    };
    for (int i = 0; i < 1000 && staged() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(staged(), 2);
    const auto listing = test::runCommand({ "curl", "-sS", "-X", "PROPFIND", base + "/" }).output;
    EXPECT_NE(listing.find("/Documents/whole.bin"), std::string::npos) << listing;
    const auto page = test::runCommand({ "curl", "-sS", base + "/Public/" }).output;
    for (const char* name : { "half.bin", "chunked.bin", ".upload-" }) {
        EXPECT_EQ(listing.find(name), std::string::npos) << listing;
        EXPECT_EQ(page.find(name), std::string::npos) << page;
    }

    kill(run.pid, SIGKILL);
    waitForExit(run.pid);
    close(run.stderrFd);
    run = start({ "--home", home, "-VKPortNumber", "0" });
    readUntil(run.stderrFd, "/\n");
    EXPECT_EQ(staged(), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home))
        EXPECT_EQ(entry.path().filename().string().find("upload-"), std::string::npos) << entry.path();
    EXPECT_EQ(readFile(home + "/Library/Documents/whole.bin"), whole);
    EXPECT_FALSE(std::filesystem::exists(home + "/Library/Documents/half.bin"));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WEXITSTATUS(waitForExit(run.pid)), 0);
    close(run.stderrFd);
}
