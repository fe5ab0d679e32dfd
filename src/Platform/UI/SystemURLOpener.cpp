#include "Platform/UI/SystemURLOpener.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace ui {

bool SystemURLOpener::open(const core::URL& url)
{
    std::string argument = url.absoluteString();
    int error = 0;
    if (!spawn("xdg-open", { argument }, {}, &error)) {
        core::log("Could not open {}: xdg-open: {}", argument, std::strerror(error));
        return false;
    }
    return true;
}

bool SystemURLOpener::spawn(const std::string& program, const std::vector<std::string>& arguments,
    std::function<void(int status)> ended, int* error)
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

} // namespace ui
