#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace test {

// Base fixture of the project's tests. Each test gets a fresh home directory
// of its own, removed after the test, or kept (and its path printed) when the
// test failed, so that what it left can be looked at.
class TestCase : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The test's home directory (absolute, no trailing slash).
    const std::string& home() const { return m_home; }
    // `relative` resolved against the home.
    std::string pathInHome(std::string_view relative) const;

    // Makes a file (and its missing parent folders) with the given contents;
    // returns its absolute path.
    std::string makeFile(std::string_view relative, std::string_view contents = {});
    // Makes a folder and its missing parents; returns its absolute path.
    std::string makeFolder(std::string_view relative);
    // The contents of a file, or nothing when it cannot be read.
    static std::string readFile(const std::string& path);

    // The log lines written since the test began.
    std::vector<std::string> logLines() const;
    // Whether any log line written since the test began contains `text`.
    bool logContains(std::string_view text) const;

    // The source tree, for fixtures: sourcePath("tests/fixtures/x").
    static std::string sourcePath(std::string_view relative);

private:
    std::string m_home;
};

} // namespace test
