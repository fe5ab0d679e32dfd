#pragma once

#include "Support/ServerProcess.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test {

// The loopback web server of the URL loading tests (web_server.py, Python's
// standard library only), on 127.0.0.1 with ports the system assigns, run as
// a child process for the life of this object. With TLS its certificate is
// signed by a CA made for it (caFile()), naming the given hosts.
class TestWebServer {
public:
    struct Options {
        bool tls = false;
        std::vector<std::string> tlsNames = { "localhost", "127.0.0.1" };
        // Served under /files/NAME, with the options of /bytes.
        std::string filesDirectory {};
        // The plain port; 0: one the system assigns.
        int port = 0;
    };

    // Keeps its certificates and error output in `directory`. A server that
    // fails to start fails the test, showing what it wrote.
    explicit TestWebServer(const std::string& directory);
    TestWebServer(const std::string& directory, Options options);
    ~TestWebServer();
    TestWebServer(const TestWebServer&) = delete;
    TestWebServer& operator=(const TestWebServer&) = delete;

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }
    // "http://127.0.0.1:<port>" + path and query.
    std::string url(std::string_view pathAndQuery) const;
    // "https://<host>:<tls port>" + path and query.
    std::string tlsURL(std::string_view pathAndQuery, std::string_view host = "localhost") const;
    const std::string& caFile() const { return m_caFile; }

    // One request the server received, as it logged it.
    struct Request {
        std::string method;
        std::string path; // raw, as on the request line
        std::vector<std::string> headerLines; // "Name: value", in order
        int64_t bodyLength = 0;
        std::string bodySHA256; // lower-case hex
        // A multipart/form-data body's parts (name, value) as Python's
        // email package reads them.
        std::vector<std::pair<std::string, std::string>> formFields;
        std::optional<std::string> header(std::string_view name) const;
        size_t count(std::string_view name) const;
    };
    // Everything received so far, in order (from GET /_log).
    std::vector<Request> requests() const;
    // Ends the stall of `token` (POST /_release).
    void release(const std::string& token) const;
    // /site/private/ asks for Basic credentials from now on (POST /_auth):
    // "user=U&pass=P&realm=R", escaped as a query.
    void guardPrivateSite(std::string_view query) const;
    // Sets what /resource/NAME answers from the next request on
    // (POST /_resource): "length=N" and the options of /bytes, "status=S";
    // a drop or stall applies to one request only.
    void setResource(std::string_view name, std::string_view options) const;
    // The whole raw answer (head and body) to a GET of the path, through a
    // plain socket of its own.
    std::string rawGet(std::string_view pathAndQuery, std::string_view method = "GET") const;
    // The body of that answer.
    std::string body(std::string_view pathAndQuery) const;

    // The bytes /bytes/N serves from `offset` on.
    static std::string expectedBytes(uint64_t offset, size_t length);

private:
    void makeCertificates(const Options& options);

    std::string m_directory;
    std::string m_caFile;
    ServerProcess m_process;
    int m_port = 0;
    int m_tlsPort = 0;
};

} // namespace test
