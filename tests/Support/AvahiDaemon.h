#pragma once

#include "Support/ChildProcess.h"

#include <memory>
#include <optional>
#include <string>

namespace test {

// An announcement daemon of the test's own, inside its network namespace
// (tests/Support/avahi-daemon.conf: host name "tandry-test", wlan0 only).
// It is ready about a second after start(); the object kills it.
class AvahiDaemon {
public:
    ~AvahiDaemon() { stop(); }
    void start();
    void stop();

    // What the network hears of a service type (`avahi-browse -rtp`).
    static std::string browse(const std::string& type);

private:
    std::unique_ptr<ChildProcess> m_process;
};

// Sets an environment variable for as long as it lives.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const std::string& value);
    ~ScopedEnvironmentVariable();

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace test
