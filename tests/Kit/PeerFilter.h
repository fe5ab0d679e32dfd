#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace test {

// Runs a peer program as a filter through the shell: `input` goes to its
// standard input from a file in `folder`, its standard output comes back;
// nothing when it fails. `command` is shell text the test writes itself.
inline std::optional<std::string> runFilter(const std::string& folder, const std::string& command,
    std::string_view input)
{
    const std::string in = folder + "/filter-in";
    const std::string out = folder + "/filter-out";
    {
        std::ofstream file(in, std::ios::binary | std::ios::trunc);
        file.write(input.data(), static_cast<std::streamsize>(input.size()));
    }
    const std::string line = command + " < '" + in + "' > '" + out + "' 2>/dev/null";
    if (std::system(line.c_str()) != 0)
        return std::nullopt;
    std::ifstream file(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace test
