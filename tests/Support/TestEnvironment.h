#pragma once

#include <string>

namespace test {

// Sets up and resets the process-wide services for one test: every test
// starts on a fresh home with fresh settings and service instances. Each
// module that keeps process-wide state adds its reset here.
class TestEnvironment {
public:
    static void begin(const std::string& home);
    static void end();
};

} // namespace test
