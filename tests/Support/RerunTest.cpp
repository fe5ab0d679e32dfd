#include "Support/RerunTest.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace test {

std::unique_ptr<ChildProcess> rerunCurrentTest(const std::string& variable, const std::string& value)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    // The child takes the environment as it is when it starts.
    setenv(variable.c_str(), value.c_str(), 1);
    auto child = std::make_unique<ChildProcess>(std::vector<std::string> { self, filter });
    unsetenv(variable.c_str());
    return child;
}

std::optional<std::string> rerunValue(const std::string& variable)
{
    const char* value = std::getenv(variable.c_str());
    if (!value)
        return std::nullopt;
    return std::string(value);
}

} // namespace test
