#include "Platform/UI/SystemURLOpener.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/Thread.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace ui {

bool SystemURLOpener::open(const core::URL& url)
{
    std::string program = "xdg-open";
    std::string argument = url.absoluteString();
    char* argv[] = { program.data(), argument.data(), nullptr };

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int result = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        core::log("Could not open {}: xdg-open: {}", argument, std::strerror(result));
        return false;
    }
    core::Thread::detach("ui.URLOpener", [pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    });
    return true;
}

} // namespace ui
