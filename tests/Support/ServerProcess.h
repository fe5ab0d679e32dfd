#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace test {

// A loopback server program (a Python fake) run as a child for the life of
// this object: it prints a one-line greeting once it listens, which start()
// waits for within a bounded time; its standard error goes to a file and
// is shown when it fails to start or dies early.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Runs `arguments` and returns its greeting line, or "" after failing
    // the test with what the program wrote.
    std::string start(const std::vector<std::string>& arguments, const std::string& errorPath);
    // Ends it (SIGTERM) and reaps it.
    void stop();
    // Whether it still runs; false once it ended by itself.
    bool isRunning();
    // What it wrote to its standard error so far.
    std::string errors() const;

private:
    pid_t m_pid = -1;
    std::string m_errorPath;
};

// The integer after "key": in a one-line JSON greeting; 0 when missing.
int greetingNumber(const std::string& line, const std::string& key);

// One HTTP/1.1 exchange with 127.0.0.1:port over a plain socket of its own
// (30 s at most): the whole raw answer, head and body.
std::string rawHTTPExchange(int port, std::string_view method, std::string_view pathAndQuery,
    std::string_view body = {}, std::string_view contentType = {});
// The body of a raw answer.
std::string answerBody(const std::string& answer);

} // namespace test
