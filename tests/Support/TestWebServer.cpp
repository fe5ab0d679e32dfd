#include "Support/TestWebServer.h"

#include "Support/Command.h"
#include "Support/TlsCertificates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <strings.h>

namespace test {

TestWebServer::TestWebServer(const std::string& directory)
    : TestWebServer(directory, Options())
{
}

TestWebServer::TestWebServer(const std::string& directory, Options options)
    : m_directory(directory)
{
    std::filesystem::create_directories(m_directory);
    std::vector<std::string> arguments = { "python3", std::string(TANDRY_SOURCE_DIR) + "/tests/Support/web_server.py",
        "--port", std::to_string(options.port) };
    if (!options.filesDirectory.empty())
        arguments.insert(arguments.end(), { "--files", options.filesDirectory });
    if (options.tls) {
        makeCertificates(options);
        arguments.insert(arguments.end(),
            { "--tls-cert", m_directory + "/server.pem", "--tls-key", m_directory + "/server.key" });
    }
    const std::string line = m_process.start(arguments, m_directory + "/server.err");
    m_port = greetingNumber(line, "port");
    m_tlsPort = greetingNumber(line, "tls_port");
    if (!line.empty() && (m_port <= 0 || (options.tls && m_tlsPort <= 0))) {
        m_process.stop();
        m_port = 0;
        ADD_FAILURE() << "TestWebServer did not start; it said: " << line << m_process.errors();
    }
}

TestWebServer::~TestWebServer() = default;

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
    return rawHTTPExchange(m_port, method, pathAndQuery);
}

std::string TestWebServer::body(std::string_view pathAndQuery) const
{
    return answerBody(rawGet(pathAndQuery));
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

void TestWebServer::guardPrivateSite(std::string_view query) const
{
    rawGet("/_auth?" + std::string(query), "POST");
}

void TestWebServer::setResource(std::string_view name, std::string_view options) const
{
    rawGet("/_resource?name=" + std::string(name) + "&" + std::string(options), "POST");
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
