#pragma once

#include <map>
#include <string>

namespace net {

// Process-wide settings every new load reads once: the CA file that
// replaces the system's trust, and the routes that send a "host:port" to
// another address. Any thread.
struct URLLoadingOptions {
    std::string caFile;
    std::map<std::string, std::string> routes;

    static URLLoadingOptions current();
    static void setCAFile(std::string path);
    static void addRoute(const std::string& hostAndPort, const std::string& address);
    static void removeAllRoutes();
};

} // namespace net
