// Runs the built tandry program from the outside.

#include "Support/TestCase.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

class TandryProgramTest : public test::TestCase {
protected:
    struct Run {
        pid_t pid = -1;
        int stderrFd = -1;
    };

    Run start(const std::vector<std::string>& arguments)
    {
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
        EXPECT_EQ(posix_spawn(&run.pid, TANDRY_EXECUTABLE, &actions, nullptr, argv.data(), environ), 0);
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
        for (int i = 0; i < 1000; ++i) {
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
        Run run = start({ "--home", home });
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
        Run run = start({ "--home", home });
        std::string output = readUntil(run.stderrFd, launch == 0 ? "attemptDocumentsUpdate2\n" : "\n");
        kill(run.pid, SIGTERM);
        int status = waitForExit(run.pid);
        output += readUntil(run.stderrFd, "\n\n");
        close(run.stderrFd);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(output.find("attemptDocumentsUpdate1") != std::string::npos, launch == 0) << output;
        EXPECT_EQ(output.find("attemptDocumentsUpdate2") != std::string::npos, launch == 0) << output;
    }
    for (const char* folder : { "Documents", "Library/Preferences/Metadata", "Library/Servers", "Library/Documents" })
        EXPECT_EQ(access((home + "/" + folder).c_str(), W_OK), 0) << folder;
    EXPECT_EQ(readFile(home + "/Library/Documents/old.txt"), "old");
}

TEST_F(TandryProgramTest, BadArgumentsAndUnusableHomesExitWithTwo)
{
    std::string file = makeFile("in-the-way", "x");
    for (auto arguments : std::vector<std::vector<std::string>> {
             { "--no-such-option" }, { "--home" }, { "--home", file }, { "--home", file + "/sub" } }) {
        Run run = start(arguments);
        std::string output = readUntil(run.stderrFd, "\n\n");
        int status = waitForExit(run.pid);
        close(run.stderrFd);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2) << arguments[0];
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    }
}

} // namespace
