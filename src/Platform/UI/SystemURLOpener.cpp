#include "Platform/UI/SystemURLOpener.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/AlertView.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <cerrno>
#include <unistd.h>
#include <poll.h>
#include <csignal>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>
#include <fmt/format.h>

extern char** environ;

namespace ui {

namespace {

// argv for posix_spawnp: the program, then the arguments, then NULL.
class ArgumentVector {
public:
    ArgumentVector(const std::string& program, const std::vector<std::string>& arguments) : m_words { program }
    {
        m_words.insert(m_words.end(), arguments.begin(), arguments.end());
        for (auto& word : m_words)
            m_pointers.push_back(word.data());
        m_pointers.push_back(nullptr);
    }
    char* const* data() { return m_pointers.data(); }

private:
    std::vector<std::string> m_words;
    std::vector<char*> m_pointers;
};

} // namespace

bool SystemURLOpener::open(const core::URL& url)
{
    std::string argument = url.absoluteString();
    int error = 0;
    // What the desktop could not open is said, not only logged: a missing
    // xdg-open, or one that found no program for the address.
    auto say = [argument](const std::string& why) {
        AlertView::create(core::localized("Cannot Open Link", "Toolkit"),
            fmt::format(fmt::runtime(core::localized("{} could not be opened: {}", "Toolkit")), argument, why), {},
            core::localized("OK", "Toolkit"))
            ->show();
    };
    bool started = spawn("xdg-open", { argument }, [argument, say](int status) {
        if (status == 0)
            return;
        core::log("xdg-open {} exited with {}", argument, status);
        say(core::localized("the desktop has no web browser or other program for it, or it could not be started.", "Toolkit"));
    }, &error);
    if (!started) {
        core::log("Could not open {}: xdg-open: {}", argument, std::strerror(error));
        say(core::localized("opening links needs xdg-open: install the package xdg-utils.", "Toolkit"));
        return false;
    }
    return true;
}

bool SystemURLOpener::spawn(const std::string& program, const std::vector<std::string>& arguments,
    std::function<void(int status)> ended, int* error)
{
    ArgumentVector argv(program, arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int result = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        if (error)
            *error = result;
        return false;
    }
    core::Thread::detach("ui.SystemProgram", [pid, ended = std::move(ended)]() mutable {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        if (!ended)
            return;
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        core::RunLoop::main().post([ended = std::move(ended), code] { ended(code); });
    });
    return true;
}

std::optional<std::string> SystemURLOpener::output(const std::string& program,
    const std::vector<std::string>& arguments, double timeout, size_t limit)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return std::nullopt;
    ArgumentVector argv(program, arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int result = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (result != 0) {
        ::close(pipeEnds[0]);
        return std::nullopt;
    }
    std::string printed;
    bool timedOut = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd poller { pipeEnds[0], POLLIN, 0 };
        int ready = ::poll(&poller, 1, int(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        char buffer[1024];
        ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (printed.size() < limit)
            printed.append(buffer, std::min<size_t>(size_t(got), limit - printed.size()));
    }
    ::close(pipeEnds[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return printed;
}

} // namespace ui
