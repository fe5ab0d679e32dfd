#include "Support/Python.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test {

namespace {

std::string readAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        text.append(buffer, static_cast<size_t>(count));
    }
    return text;
}

} // namespace

std::string runPython(const std::string& script, const std::vector<std::string>& arguments)
{
    std::string scriptPath = ::testing::TempDir() + "tandry-script-XXXXXX";
    int scriptFd = mkstemp(scriptPath.data());
    EXPECT_GE(scriptFd, 0);
    EXPECT_EQ(write(scriptFd, script.data(), script.size()), static_cast<ssize_t>(script.size()));
    close(scriptFd);

    int out[2];
    int err[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> all { "python3", scriptPath };
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    EXPECT_EQ(spawned, 0) << "cannot run python3";
    // Python's output is small; read stdout, then stderr.
    std::string output = readAll(out[0]);
    std::string errors = readAll(err[0]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    if (spawned == 0)
        waitpid(pid, &status, 0);
    unlink(scriptPath.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "python3 failed:\n" << errors;
    return output;
}

} // namespace test
