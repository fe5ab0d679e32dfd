#include "Support/TestWebServer.h"

#include "Support/Command.h"
#include "Support/TlsCertificates.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <strings.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test {

namespace {

constexpr int StartTimeoutMilliseconds = 15000;
constexpr int ReplyTimeoutSeconds = 30;

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

// The number after `"key":` in the server's one-line greeting.
int jsonNumber(const std::string& line, const std::string& key)
{
    const size_t at = line.find("\"" + key + "\"");
    if (at == std::string::npos)
        return 0;
    const size_t colon = line.find(':', at);
    return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
}

} // namespace

TestWebServer::TestWebServer(const std::string& directory)
    : TestWebServer(directory, Options())
{
}

TestWebServer::TestWebServer(const std::string& directory, Options options)
    : m_directory(directory)
{
    std::filesystem::create_directories(m_directory);
    std::vector<std::string> arguments = { "python3", std::string(TANDRY_SOURCE_DIR) + "/tests/Support/web_server.py",
        "--port", "0" };
    if (!options.filesDirectory.empty())
        arguments.insert(arguments.end(), { "--files", options.filesDirectory });
    if (options.tls) {
        makeCertificates(options);
        arguments.insert(arguments.end(),
            { "--tls-cert", m_directory + "/server.pem", "--tls-key", m_directory + "/server.key" });
    }

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "TestWebServer: no pipe";
        return;
    }
    const std::string errorPath = m_directory + "/server.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        m_pid = -1;
        ADD_FAILURE() << "TestWebServer: cannot run python3: " << strerror(spawned);
        return;
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
    m_port = jsonNumber(line, "port");
    m_tlsPort = jsonNumber(line, "tls_port");
    if (m_port <= 0 || (options.tls && m_tlsPort <= 0)) {
        stop();
        ADD_FAILURE() << "TestWebServer did not start; it said: " << line << readAll(errorPath);
    }
}

TestWebServer::~TestWebServer()
{
    stop();
}

void TestWebServer::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) { }
    m_pid = -1;
}

void TestWebServer::makeCertificates(const Options& options)
{
    const auto certificates = makeTlsCertificates(m_directory, options.tlsNames);
    if (certificates.made)
        m_caFile = certificates.caFile;
}

std::string TestWebServer::url(std::string_view pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(pathAndQuery);
}

std::string TestWebServer::tlsURL(std::string_view pathAndQuery, std::string_view host) const
{
    return "https://" + std::string(host) + ":" + std::to_string(m_tlsPort) + std::string(pathAndQuery);
}

std::string TestWebServer::rawGet(std::string_view pathAndQuery, std::string_view method) const
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    timeval timeout { ReplyTimeoutSeconds, 0 };
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(m_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = std::string(method) + " " + std::string(pathAndQuery) + " HTTP/1.1\r\nHost: 127.0.0.1:"
            + std::to_string(m_port) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
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

std::string TestWebServer::body(std::string_view pathAndQuery) const
{
    const std::string reply = rawGet(pathAndQuery);
    const size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

std::vector<TestWebServer::Request> TestWebServer::requests() const
{
    std::vector<Request> result;
    std::istringstream lines(body("/_log"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("request ")) {
            Request request;
            const size_t space = line.find(' ', 8);
            request.method = line.substr(8, space - 8);
            request.path = space == std::string::npos ? std::string() : line.substr(space + 1);
            result.push_back(std::move(request));
        } else if (line.starts_with("header ") && !result.empty()) {
            result.back().headerLines.push_back(line.substr(7));
        } else if (line.starts_with("body ") && !result.empty()) {
            std::istringstream fields(line.substr(5));
            fields >> result.back().bodyLength >> result.back().bodySHA256;
        } else if (line.starts_with("field ") && !result.empty()) {
            const size_t space = line.find(' ', 6);
            result.back().formFields.emplace_back(line.substr(6, space - 6),
                space == std::string::npos ? std::string() : line.substr(space + 1));
        }
    }
    return result;
}

void TestWebServer::release(const std::string& token) const
{
    rawGet("/_release?token=" + token, "POST");
}

std::optional<std::string> TestWebServer::Request::header(std::string_view name) const
{
    for (const auto& line : headerLines) {
        const size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.data(), name.data(), name.size()) == 0) {
            const size_t value = line.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return std::nullopt;
}

size_t TestWebServer::Request::count(std::string_view name) const
{
    size_t found = 0;
    for (const auto& line : headerLines) {
        const size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.data(), name.data(), name.size()) == 0)
            ++found;
    }
    return found;
}

std::string TestWebServer::expectedBytes(uint64_t offset, size_t length)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[i] = char((offset + i) % 251);
    return bytes;
}

} // namespace test
