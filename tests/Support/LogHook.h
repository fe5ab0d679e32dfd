#pragma once

#include <string>
#include <vector>

namespace test {

// Collects the log lines written while a test runs.
class LogHook {
public:
    static void begin();
    static void end();
    static std::vector<std::string> lines();
};

} // namespace test
