#include "Support/Command.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test {

CommandResult runCommand(const std::vector<std::string>& arguments, const std::string& input)
{
    CommandResult result;
    if (arguments.empty())
        return result;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return result;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        return result;
    }

    // Feed the input and read the output together, so neither pipe fills up.
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    int inFd = in[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = { { out[0], POLLIN, 0 }, { inFd, POLLOUT, 0 } };
        if (poll(fds, inFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (inFd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(inFd, input.data() + written, input.size() - written);
            if (n > 0)
                written += static_cast<size_t>(n);
            if (n < 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n > 0)
                result.output.append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
                break;
        }
    }
    if (inFd >= 0)
        close(inFd);
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool hasProgram(const std::string& name)
{
    return runCommand({ "sh", "-c", "command -v \"$0\" >/dev/null", name }).status == 0;
}

} // namespace test
