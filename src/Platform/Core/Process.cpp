#include "Platform/Core/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace core {

namespace {

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#else
    (void)pid;
    return -1;
#endif
}

} // namespace

std::optional<std::string> Process::findExecutable(const std::string& program)
{
    if (program.empty())
        return std::nullopt;
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0 ? std::optional(program) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= folders.size()) {
        size_t end = folders.find(':', begin);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(begin, end - begin);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return std::nullopt;
}

std::unique_ptr<Process> Process::start(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& outputPath, Error* error, const std::vector<int>& descriptors)
{
    std::vector<std::string> words { program };
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Through copies above every target, so that no target is overwritten
    // before it is read; a dup2 leaves the copy's close-on-exec behind.
    std::vector<int> copies;
    for (int descriptor : descriptors)
        copies.push_back(::fcntl(descriptor, F_DUPFD_CLOEXEC, 3 + int(descriptors.size())));
    for (size_t i = 0; i < copies.size(); ++i)
        posix_spawn_file_actions_adddup2(&actions, copies[i], 3 + int(i));
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    pid_t pid = 0;
    int result = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (int copy : copies)
        if (copy >= 0)
            ::close(copy);
    if (result != 0) {
        if (error)
            *error = Error::posix(result);
        return nullptr;
    }
    return std::unique_ptr<Process>(new Process(pid, openPidfd(pid)));
}

Process::~Process()
{
    if (!m_result) {
        kill();
        wait(0);
    }
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

void Process::killGroup()
{
    // Only while the leader is not reaped: its group id cannot be reused.
    if (!m_result)
        ::kill(-m_pid, SIGKILL);
}

void Process::kill()
{
    std::lock_guard lock(m_mutex);
    m_killed = true;
    killGroup();
}

Process::Result Process::wait(double timeout)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
    bool timedOut = false;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_result)
                return *m_result;
        }
        // Whether it ended, without reaping it yet.
        siginfo_t info {};
        int found = ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (found == 0 && info.si_pid == m_pid) {
            std::lock_guard lock(m_mutex);
            if (timedOut || m_killed)
                ::kill(-m_pid, SIGKILL);
            int status = 0;
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
            Result result;
            if (timedOut)
                result.end = Result::End::TimedOut;
            else if (m_killed)
                result.end = Result::End::Killed;
            else if (WIFEXITED(status))
                result.status = WEXITSTATUS(status);
            else
                result.end = Result::End::Signalled;
            if (result.end != Result::End::Exited)
                result.status = WIFSIGNALED(status) ? WTERMSIG(status) : WIFEXITED(status) ? WEXITSTATUS(status) : 0;
            m_result = result;
            return result;
        }
        if (found < 0 && errno != EINTR) {
            // Someone else reaped it.
            std::lock_guard lock(m_mutex);
            m_result = Result { Result::End::Signalled, 0 };
            return *m_result;
        }
        int waitMilliseconds = 100;
        if (timeout > 0 && !timedOut) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                timedOut = true;
                std::lock_guard lock(m_mutex);
                killGroup();
                continue;
            }
            waitMilliseconds = int(std::min<long long>(left, waitMilliseconds));
        }
        if (m_pidfd >= 0) {
            pollfd entry { m_pidfd, POLLIN, 0 };
            ::poll(&entry, 1, waitMilliseconds);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(waitMilliseconds, 10)));
        }
    }
}

} // namespace core
