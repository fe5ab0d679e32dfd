#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace test {

// A peer program run by a test (curl, openssl...), with pipes to its
// standard input, output and error that never block the test: output is
// collected as it comes while the test pumps its run loop. The program is
// killed when the object goes away.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    void write(const std::string& bytes);
    void closeInput();
    // Everything the program wrote so far (reads what is waiting).
    const std::string& output();
    const std::string& errors();
    // Whether it still runs (reaps it once it ended).
    bool isRunning();
    // Waits up to `timeout` real seconds for the end; the exit status, or -1
    // when it did not end (or was killed by a signal).
    int wait(double timeout);
    void kill();

private:
    void drain();

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_err = -1;
    int m_status = -1;
    bool m_ended = false;
    std::string m_output;
    std::string m_errors;
};

} // namespace test
