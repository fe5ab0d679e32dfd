#include "Support/TestEnvironment.h"

namespace test {

void TestEnvironment::begin(const std::string& home)
{
    (void)home;
}

void TestEnvironment::end()
{
}

} // namespace test
