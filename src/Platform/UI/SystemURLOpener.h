#pragma once

// The program's URL opener: hands a URL to the desktop's `xdg-open`, found
// on PATH and started directly (never through a shell), the URL as its one
// argument, its output discarded. A worker reaps it, so the main loop never
// waits. Without `xdg-open` opening answers false; that, and an xdg-open
// that ends in failure (no browser for the address), bring the alert
// "Cannot Open Link" saying why.

#include "Platform/Core/URL.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class SystemURLOpener {
public:
    static bool open(const core::URL& url);

    // Starts a desktop program found on PATH with these arguments (argv[0]
    // is the program), no shell, its input and output /dev/null. A worker
    // waits for it; `ended` (optional) gets its exit status on the main
    // thread (−1 when it did not exit normally). False, with the error
    // number, when it cannot start.
    static bool spawn(const std::string& program, const std::vector<std::string>& arguments,
        std::function<void(int status)> ended = {}, int* error = nullptr);

    // Runs a program found on PATH the same way and answers what it printed,
    // at most `limit` bytes; nothing when it cannot start, exits non-zero or
    // outlives `timeout` seconds (then it is killed). Blocks: workers, or
    // short queries.
    static std::optional<std::string> output(const std::string& program, const std::vector<std::string>& arguments,
        double timeout, size_t limit = 4096);
};

} // namespace ui
