#pragma once

// A child program run without a shell: the program is looked up on PATH,
// every argument reaches it as one word whatever it holds, its input is
// /dev/null and its output (both streams) goes to a file or nowhere. It
// leads a process group of its own, so that a wrapper script and whatever
// it starts end together: a time-out or kill() ends the whole group.
// wait() blocks, so callers run it on a worker; kill() may come from any
// thread. A process still running when its object goes is killed and
// reaped.

#include "Platform/Core/Error.h"

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace core {

class Process {
public:
    struct Result {
        enum class End { Exited, Signalled, TimedOut, Killed };
        End end = End::Exited;
        // The exit status when it exited, else the signal's number.
        int status = 0;
        bool succeeded() const { return end == End::Exited && status == 0; }
    };

    // Starts `program`; null, with the error (POSIX domain), when it cannot
    // (not found, not executable, the output file cannot be made). The
    // child gets `descriptors` as its 3, 4, ….
    static std::unique_ptr<Process> start(const std::string& program, const std::vector<std::string>& arguments,
        const std::string& outputPath = {}, Error* error = nullptr, const std::vector<int>& descriptors = {});
    // The first executable `program` on PATH (a name with a "/" as it is).
    static std::optional<std::string> findExecutable(const std::string& program);

    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return m_pid; }
    // Until it ends, or `timeout` seconds (≤ 0: no limit), after which the
    // group is killed. Once ended, later calls give the same result.
    Result wait(double timeout);
    // Ends the process group now (SIGKILL); wait() then reports Killed.
    void kill();

private:
    Process(pid_t pid, int pidfd) : m_pid(pid), m_pidfd(pidfd) { }
    void killGroup();

    pid_t m_pid = 0;
    int m_pidfd = -1;
    std::mutex m_mutex;
    bool m_killed = false;
    std::optional<Result> m_result;
};

} // namespace core
