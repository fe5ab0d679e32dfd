#include "Support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace test {

namespace {

void readAvailable(int fd, std::string& into)
{
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0)
            into.append(buffer, static_cast<size_t>(count));
        else if (count < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

} // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments)
{
    // The test writes to a peer that may have gone: a broken pipe must be an
    // error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot make pipes";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    m_in = in[1];
    m_out = out[0];
    m_err = err[0];
    fcntl(m_out, F_SETFL, O_NONBLOCK);
    fcntl(m_err, F_SETFL, O_NONBLOCK);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot run " << arguments[0];
        m_pid = -1;
        m_ended = true;
    }
}

ChildProcess::~ChildProcess()
{
    kill();
    closeInput();
    if (m_out >= 0)
        close(m_out);
    if (m_err >= 0)
        close(m_err);
}

void ChildProcess::write(const std::string& bytes)
{
    size_t done = 0;
    while (m_in >= 0 && done < bytes.size()) {
        const ssize_t count = ::write(m_in, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        done += static_cast<size_t>(count);
    }
}

void ChildProcess::closeInput()
{
    if (m_in >= 0)
        close(m_in);
    m_in = -1;
}

void ChildProcess::drain()
{
    if (m_out >= 0)
        readAvailable(m_out, m_output);
    if (m_err >= 0)
        readAvailable(m_err, m_errors);
}

const std::string& ChildProcess::output()
{
    drain();
    return m_output;
}

const std::string& ChildProcess::errors()
{
    drain();
    return m_errors;
}

bool ChildProcess::isRunning()
{
    drain();
    if (m_ended)
        return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_ended = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        drain();
    }
    return !m_ended;
}

int ChildProcess::wait(double timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    while (isRunning()) {
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        pollfd fds[2] = { { m_out, POLLIN, 0 }, { m_err, POLLIN, 0 } };
        poll(fds, 2, 10);
    }
    return m_status;
}

void ChildProcess::kill()
{
    if (!m_ended && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_ended = true;
        drain();
    }
}

} // namespace test
