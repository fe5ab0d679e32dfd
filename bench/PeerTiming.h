#pragma once

// Timing for benchmarks that compare with peer programs run in the same
// process: our work and a peer's shell command, in seconds of wall time. A
// peer that fails makes the benchmark fail: its time would say nothing.

#include "Report.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace bench {

inline double seconds(const std::function<void()>& work)
{
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Milliseconds since `start`.
inline double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The median of `values`; -1 for none.
inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

inline double peer(const std::string& command)
{
    return seconds([&] {
        if (std::system(command.c_str()) != 0)
            wrongAnswer("failed: " + command);
    });
}

// Runs a peer command that prints the seconds it measured itself (a
// Python one-liner timing just its call) and answers them; -1 when it did
// not run or printed no number.
inline double reportedSeconds(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    double seconds = -1;
    if (!pipe)
        return -1;
    if (std::fscanf(pipe, "%lf", &seconds) != 1)
        seconds = -1;
    pclose(pipe);
    return seconds;
}

// The process's resident size now, in MB.
inline double residentMB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

} // namespace bench
