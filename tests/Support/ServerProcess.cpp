#include "Support/ServerProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test {

namespace {

constexpr int StartTimeoutMilliseconds = 60000;
constexpr int ReplyTimeoutSeconds = 30;

} // namespace

ServerProcess::~ServerProcess()
{
    stop();
}

std::string ServerProcess::start(const std::vector<std::string>& arguments, const std::string& errorPath)
{
    m_errorPath = errorPath;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "ServerProcess: no pipe";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (auto& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        m_pid = -1;
        ADD_FAILURE() << "ServerProcess: cannot run " << arguments.front() << ": " << strerror(spawned);
        return {};
    }

    // The greeting line, within a bounded wait.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StartTimeoutMilliseconds);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd { out[0], POLLIN, 0 };
        if (left.count() <= 0 || poll(&fd, 1, int(left.count())) <= 0)
            break;
        char buffer[256];
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        line.append(buffer, size_t(got));
    }
    close(out[0]);
    if (line.find('\n') == std::string::npos) {
        stop();
        ADD_FAILURE() << arguments.at(std::min<size_t>(1, arguments.size() - 1)) << " did not start; it said: " << line
                      << errors();
        return {};
    }
    return line.substr(0, line.find('\n'));
}

void ServerProcess::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) { }
    m_pid = -1;
}

bool ServerProcess::isRunning()
{
    if (m_pid <= 0)
        return false;
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

std::string ServerProcess::errors() const
{
    std::ifstream in(m_errorPath, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

int greetingNumber(const std::string& line, const std::string& key)
{
    const size_t at = line.find("\"" + key + "\"");
    if (at == std::string::npos)
        return 0;
    const size_t colon = line.find(':', at);
    return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
}

std::string rawHTTPExchange(int port, std::string_view method, std::string_view pathAndQuery, std::string_view body,
    std::string_view contentType)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    timeval timeout { ReplyTimeoutSeconds, 0 };
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string request = std::string(method) + " " + std::string(pathAndQuery) + " HTTP/1.1\r\nHost: 127.0.0.1:"
            + std::to_string(port) + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
        if (!contentType.empty())
            request += "Content-Type: " + std::string(contentType) + "\r\n";
        request += "Connection: close\r\n\r\n";
        request += body;
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
            char buffer[65536];
            ssize_t got;
            while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0)
                reply.append(buffer, size_t(got));
        }
    }
    close(fd);
    return reply;
}

std::string answerBody(const std::string& answer)
{
    const size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

} // namespace test
