#pragma once

#include <string>
#include <vector>

namespace test {

// Collects the log lines written while a test runs. The platform's log
// writes through here once it exists; until then nothing is captured.
class LogHook {
public:
    static void begin();
    static void end();
    static void append(std::string line);
    static std::vector<std::string> lines();
};

} // namespace test
