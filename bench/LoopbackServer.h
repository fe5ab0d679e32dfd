#pragma once

// Python's threading HTTP server serving a folder on a free loopback port,
// for the benchmarks whose peers and code fetch the same files; stopped
// with the object.

#include <csignal>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

struct LoopbackServer {
    pid_t pid = -1;
    // 0 when it did not start.
    int port = 0;

    // `scratch` is a folder where the server leaves its port.
    LoopbackServer(const std::string& root, const std::string& scratch)
    {
        std::string portFile = scratch + "/server-port";
        std::filesystem::remove(portFile);
        pid = fork();
        if (pid == 0) {
            std::string script = fmt::format(
                "import functools, http.server\n"
                "class Quiet(http.server.SimpleHTTPRequestHandler):\n"
                "    def log_message(self, *args): pass\n"
                "handler = functools.partial(Quiet, directory='{}')\n"
                "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)\n"
                "open('{}', 'w').write(str(server.server_address[1]))\n"
                "server.serve_forever()\n",
                root, portFile);
            execlp("python3", "python3", "-c", script.c_str(), nullptr);
            _exit(127);
        }
        for (int tries = 0; tries < 100 && !port; ++tries) {
            usleep(50'000);
            std::ifstream(portFile) >> port;
        }
    }
    ~LoopbackServer()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string url(const std::string& path) const { return fmt::format("http://127.0.0.1:{}{}", port, path); }
};

} // namespace bench
