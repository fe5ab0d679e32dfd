#pragma once

#include "Support/ChildProcess.h"

#include <memory>
#include <optional>
#include <string>

namespace test {

// Tests that need a second process of their own (a writer to kill midway)
// run themselves again: the child runs the same test with `variable` set to
// `value` in its environment, and the test body asks rerunValue() which side
// it is on.
std::unique_ptr<ChildProcess> rerunCurrentTest(const std::string& variable, const std::string& value);
// The variable's value in such a child; nothing in the test's first run.
std::optional<std::string> rerunValue(const std::string& variable);

} // namespace test
