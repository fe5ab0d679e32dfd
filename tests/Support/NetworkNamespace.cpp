#include "Support/NetworkNamespace.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace test {

NetworkNamespace runInNetworkNamespace()
{
    if (const char* inside = std::getenv("TANDRY_IN_NETNS"); inside && std::string(inside) == "1")
        return NetworkNamespace::Inside;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    auto result = runCommand({ std::string(TANDRY_SOURCE_DIR) + "/tests/Support/netns-run.sh", self, filter });
    if (result.status == 77)
        return NetworkNamespace::Unavailable;
    EXPECT_EQ(result.status, 0) << "in the network namespace:\n" << result.output;
    return NetworkNamespace::Ran;
}

bool shell(const std::string& commandLine)
{
    auto result = runCommand({ "sh", "-c", commandLine + " 2>&1" });
    EXPECT_EQ(result.status, 0) << commandLine << ":\n" << result.output;
    return result.status == 0;
}

} // namespace test
