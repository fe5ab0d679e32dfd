#pragma once

// A Unix socket left bound in a folder, for tests of items that are neither
// files nor folders. It is bound by a relative name from inside the folder:
// a test home's path is past the bound of a socket's name.

#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace test {

inline bool bindSocketIn(const std::string& folder, const char* name)
{
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    const int bound = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, name, sizeof address.sun_path - 1);
    const bool done = bound >= 0 && bind(bound, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (bound >= 0)
        close(bound);
    std::filesystem::current_path(previous);
    return done;
}

} // namespace test
