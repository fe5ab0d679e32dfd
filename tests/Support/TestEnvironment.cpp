#include "Support/TestEnvironment.h"

#include "Platform/Core/Paths.h"

namespace test {

void TestEnvironment::begin(const std::string& home)
{
    core::paths::setHome(home);
}

void TestEnvironment::end()
{
}

} // namespace test
