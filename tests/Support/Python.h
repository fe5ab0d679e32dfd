#pragma once

#include <string>
#include <vector>

namespace test {

// Runs a python3 script (with sys.argv[1:] = arguments) and returns what it
// printed. A script that fails fails the calling test, with its stderr.
std::string runPython(const std::string& script, const std::vector<std::string>& arguments = {});

} // namespace test
