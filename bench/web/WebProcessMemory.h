#pragma once

// The resident memory of this program's web content processes (below
// bubblewrap too), for the first-paint benchmark and its bare peer alike,
// and whether its WebKit processes are still there.

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace bench {

// This program's processes (below bubblewrap too) whose names begin with
// `name`: how many, and their resident kilobytes.
struct ChildProcesses {
    int count = 0;
    long kilobytes = 0;
};

inline ChildProcesses childProcesses(const std::string& name)
{
    struct Process {
        pid_t parent = 0;
        bool named = false;
        long kilobytes = 0;
    };
    std::map<pid_t, Process> processes;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        pid_t pid = atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        Process process;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Name:", 0) == 0)
                process.named = line.find(name) != std::string::npos;
            else if (line.rfind("PPid:", 0) == 0)
                process.parent = atoi(line.c_str() + 5);
            else if (line.rfind("VmRSS:", 0) == 0)
                process.kilobytes = atol(line.c_str() + 6);
        }
        processes[pid] = process;
    }
    if (proc)
        closedir(proc);
    ChildProcesses found;
    for (const auto& [pid, process] : processes) {
        if (!process.named)
            continue;
        for (pid_t up = process.parent; up > 1 && processes.count(up); up = processes[up].parent) {
            if (up == getpid()) {
                ++found.count;
                found.kilobytes += process.kilobytes;
                break;
            }
        }
    }
    return found;
}

inline long webProcessKilobytes()
{
    return childProcesses("WebKitWebProces").kilobytes;
}

} // namespace bench
