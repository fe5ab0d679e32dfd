#pragma once

#include <gtest/gtest.h>

#include <string>

namespace test {

// Whether the file system under `folder` takes user extended attributes.
// Tests of attributes assert it first, so that a home on a file system
// without them fails with this reason instead of a puzzling mismatch (never
// a silent skip).
::testing::AssertionResult takesUserAttributes(const std::string& folder);

} // namespace test
