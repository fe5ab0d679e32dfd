#include "Support/UITestCase.h"

#include "Platform/Core/RunLoop.h"

namespace test {

UITestCase::~UITestCase()
{
    for (const auto& line : ui::testing::Environment::leftovers())
        ADD_FAILURE() << line << " after the test";
}

void UITestCase::SetUp()
{
    TestCase::SetUp();
    ui::testing::Environment::begin(makeApplication());
}

void UITestCase::TearDown()
{
    driver.reset();
    ui::testing::Environment::end();
    TestCase::TearDown();
}

void UITestCase::runLoop()
{
    core::RunLoop::main().runUntilIdle();
}

void UITestCase::advance(double seconds)
{
    core::RunLoop::main().advance(seconds);
}

} // namespace test
