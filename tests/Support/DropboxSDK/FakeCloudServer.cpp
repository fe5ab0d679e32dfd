#include "Support/DropboxSDK/FakeCloudServer.h"

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBSession.h"
#include "Kit/JSON/JSONAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Paths.h"
#include "Platform/Net/URLConnection.h"
#include "Support/TlsCertificates.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <strings.h>

namespace test {

namespace {

std::string infoString(const char* key)
{
    const core::Value value = core::Bundle::main()->objectForInfoDictionaryKey(key);
    return value.isString() ? value.string() : std::string();
}

std::string text(const core::Value& value)
{
    return value.isString() ? value.string() : std::string();
}

std::vector<std::pair<std::string, std::string>> pairs(const core::Value& list)
{
    std::vector<std::pair<std::string, std::string>> result;
    if (!list.isArray())
        return result;
    for (const auto& pair : list.array()) {
        if (pair.isArray() && pair.array().size() == 2)
            result.emplace_back(text(pair.array()[0]), text(pair.array()[1]));
    }
    return result;
}

std::optional<std::string> find(const std::vector<std::pair<std::string, std::string>>& list, std::string_view name,
    bool ignoringCase)
{
    for (const auto& [key, value] : list) {
        if (key.size() == name.size()
            && (ignoringCase ? strncasecmp(key.data(), name.data(), name.size()) == 0 : key == name))
            return value;
    }
    return std::nullopt;
}

} // namespace

FakeCloudServer::FakeCloudServer()
    : FakeCloudServer(Options())
{
}

FakeCloudServer::FakeCloudServer(Options options)
    : m_directory(core::paths::home() + "/cloud-server")
    , m_root(core::paths::home() + "/cloud")
    , m_consumerKey(infoString("DBConsumerKey"))
    , m_consumerSecret(infoString("DBConsumerSecret"))
{
    std::filesystem::create_directories(m_directory);
    std::filesystem::create_directories(m_root);
    const auto certificates = makeTlsCertificates(m_directory, { kDBDropboxAPIHost, kDBDropboxAPIContentHost, "127.0.0.1" });
    if (!certificates.made)
        return;
    m_caFile = certificates.caFile;
    std::vector<std::string> arguments = { "python3", std::string(TANDRY_SOURCE_DIR) + "/tests/Support/cloud_server.py",
        "--port", "0", "--tls-cert", certificates.certificateFile, "--tls-key", certificates.keyFile, "--root", m_root,
        "--consumer", m_consumerKey + ":" + m_consumerSecret, "--account", options.email + ":" + options.password };
    if (options.quota)
        arguments.insert(arguments.end(), { "--quota", std::to_string(*options.quota) });
    if (options.timestampWindow)
        arguments.insert(arguments.end(), { "--timestamp-window", std::to_string(*options.timestampWindow) });
    const std::string line = m_process.start(arguments, m_directory + "/server.err");
    m_port = greetingNumber(line, "port");
    m_tlsPort = greetingNumber(line, "tls_port");
    if (m_port <= 0 || m_tlsPort <= 0) {
        m_port = 0;
        return;
    }
    const std::string plain = "127.0.0.1:" + std::to_string(m_port);
    const std::string secure = "127.0.0.1:" + std::to_string(m_tlsPort);
    for (const char* host : { kDBDropboxAPIHost, kDBDropboxAPIContentHost }) {
        net::URLConnection::addRoute(std::string(host) + ":80", plain);
        net::URLConnection::addRoute(std::string(host) + ":443", secure);
    }
    net::URLConnection::setCAFile(m_caFile);
}

FakeCloudServer::~FakeCloudServer()
{
    if (m_port > 0 && !m_process.isRunning())
        ADD_FAILURE() << "the fake cloud server died; it said: " << m_process.errors();
    m_process.stop();
}

std::string FakeCloudServer::localPath(std::string_view cloudPath) const
{
    return m_root + (cloudPath == "/" ? std::string() : std::string(cloudPath));
}

std::string FakeCloudServer::baseURL() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::string FakeCloudServer::control(std::string_view name, const std::string& json) const
{
    const std::string answer = rawHTTPExchange(m_port, "POST", "/_control/" + std::string(name), json, "application/json");
    if (!answer.starts_with("HTTP/1.1 200 ")) {
        ADD_FAILURE() << "control " << name << " failed: " << answer << errors();
        return {};
    }
    return answerBody(answer);
}

void FakeCloudServer::addFault(const std::string& json) const
{
    control("fault", json);
}

void FakeCloudServer::revoke(const std::string& token) const
{
    control("revoke", *JSONRepresentation(core::Value::makeDictionary({ { "token", token } })));
}

void FakeCloudServer::release(const std::string& token) const
{
    control("release", token.empty() ? "{}" : *JSONRepresentation(core::Value::makeDictionary({ { "token", token } })));
}

void FakeCloudServer::setRateLimit(int requests, double seconds) const
{
    control("rate_limit", *JSONRepresentation(core::Value::makeDictionary({ { "requests", requests }, { "seconds", seconds } })));
}

std::pair<std::string, std::string> FakeCloudServer::issueToken() const
{
    const auto answer = JSONValue(control("issue_token", "{}"));
    if (!answer)
        return {};
    return { text((*answer)["token"]), text((*answer)["secret"]) };
}

std::string FakeCloudServer::authorize(const std::string& requestToken) const
{
    const auto answer = JSONValue(control("authorize", *JSONRepresentation(core::Value::makeDictionary({ { "token", requestToken } }))));
    return answer ? text((*answer)["verifier"]) : std::string();
}

void FakeCloudServer::reset() const
{
    control("reset", "{}");
}

std::shared_ptr<DBSession> FakeCloudServer::linkSession() const
{
    auto session = DBSession::initWithConsumerKey(m_consumerKey, m_consumerSecret);
    auto [token, secret] = issueToken();
    session->updateAccessToken(token, secret);
    DBSession::setSharedSession(session);
    return session;
}

std::vector<FakeCloudServer::Request> FakeCloudServer::requests() const
{
    std::vector<Request> result;
    const std::string answer = rawHTTPExchange(m_port, "GET", "/_log");
    const auto log = JSONValue(answerBody(answer));
    if (!log || !log->isArray()) {
        ADD_FAILURE() << "no log from the fake cloud server: " << answer << errors();
        return result;
    }
    for (const auto& entry : log->array()) {
        Request request;
        request.method = text(entry["method"]);
        request.scheme = text(entry["scheme"]);
        request.host = text(entry["host"]);
        request.path = text(entry["path"]);
        request.headers = pairs(entry["headers"]);
        request.parameters = pairs(entry["parameters"]);
        request.bodyLength = entry["body_length"].isInteger() ? entry["body_length"].integer() : 0;
        request.bodySHA256 = text(entry["body_sha256"]);
        request.baseString = text(entry["base_string"]);
        request.verdict = text(entry["verdict"]);
        request.status = entry["status"].isInteger() ? int(entry["status"].integer()) : 0;
        result.push_back(std::move(request));
    }
    return result;
}

std::optional<std::string> FakeCloudServer::Request::header(std::string_view name) const
{
    return find(headers, name, true);
}

size_t FakeCloudServer::Request::headerCount(std::string_view name) const
{
    size_t count = 0;
    for (const auto& [key, value] : headers)
        count += key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0;
    return count;
}

std::optional<std::string> FakeCloudServer::Request::parameter(std::string_view name) const
{
    return find(parameters, name, false);
}

std::string FakeCloudServer::Request::pathOnly() const
{
    return path.substr(0, path.find('?'));
}

} // namespace test
