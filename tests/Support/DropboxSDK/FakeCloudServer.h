#pragma once

#include "Support/ServerProcess.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class DBSession;

namespace test {

// The fake cloud service (cloud_server.py, Python's standard library, which
// checks every signature with code of its own) for the life of this object,
// serving the folder "cloud" of the test's home as the account's files.
// Loads for both hosts of the REST API, ports 80 and 443, are routed to its
// plain and TLS ports, and its test CA is trusted, so that URLs, Host
// headers, TLS names and signed URLs stay those of the real hosts.
class FakeCloudServer {
public:
    struct Options {
        std::string email = "demo@example.com";
        std::string password = "demo";
        std::optional<int64_t> quota;
        std::optional<double> timestampWindow;
    };

    FakeCloudServer();
    explicit FakeCloudServer(Options options);
    ~FakeCloudServer();
    FakeCloudServer(const FakeCloudServer&) = delete;
    FakeCloudServer& operator=(const FakeCloudServer&) = delete;

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }
    const std::string& caFile() const { return m_caFile; }
    // The account's files, and the local path of a cloud path.
    const std::string& root() const { return m_root; }
    std::string localPath(std::string_view cloudPath) const;
    // "http://127.0.0.1:<port>", for the base URL settings.
    std::string baseURL() const;
    // The application's consumer pair (the bundle's "DBConsumerKey" and
    // "DBConsumerSecret"), which the fake knows.
    const std::string& consumerKey() const { return m_consumerKey; }
    const std::string& consumerSecret() const { return m_consumerSecret; }

    // One API call as the fake logged it.
    struct Request {
        std::string method;
        std::string scheme;
        std::string host;
        std::string path; // raw, with the query
        std::vector<std::pair<std::string, std::string>> headers;
        std::vector<std::pair<std::string, std::string>> parameters;
        int64_t bodyLength = 0;
        std::string bodySHA256;
        std::string baseString;
        std::string verdict; // "ok" or why the signature was refused
        int status = 0;

        std::optional<std::string> header(std::string_view name) const;
        size_t headerCount(std::string_view name) const;
        std::optional<std::string> parameter(std::string_view name) const;
        // The path without its query.
        std::string pathOnly() const;
    };
    std::vector<Request> requests() const;

    // The control calls (see cloud_server.py): a fault rule as JSON, a
    // token refused from now on, stalls released (one token, or all), the
    // rate limit, a new access token of the account, a request token
    // authorised (its verifier), everything forgotten.
    void addFault(const std::string& json) const;
    void revoke(const std::string& token) const;
    void release(const std::string& token = {}) const;
    void setRateLimit(int requests, double seconds) const;
    std::pair<std::string, std::string> issueToken() const;
    std::string authorize(const std::string& requestToken) const;
    void reset() const;

    // A session with the application's consumer pair and a fresh token of
    // the account, made the shared session.
    std::shared_ptr<DBSession> linkSession() const;

    // What the fake wrote to its standard error.
    std::string errors() const { return m_process.errors(); }

private:
    std::string control(std::string_view name, const std::string& json) const;

    std::string m_directory;
    std::string m_root;
    std::string m_caFile;
    std::string m_consumerKey;
    std::string m_consumerSecret;
    mutable ServerProcess m_process;
    int m_port = 0;
    int m_tlsPort = 0;
};

} // namespace test
