#pragma once

#include <string>
#include <vector>

namespace test {

// What a peer program said: its exit status (-1 when it could not run or was
// killed) and its standard output.
struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a program with the given arguments (no shell), standard error passed
// through, waiting for it to end. `input` goes to its standard input.
CommandResult runCommand(const std::vector<std::string>& arguments, const std::string& input = {});

// Whether a program of that name is on PATH.
bool hasProgram(const std::string& name);

} // namespace test
