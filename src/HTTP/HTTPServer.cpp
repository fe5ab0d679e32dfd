#include "HTTP/HTTPServer.h"

#include "HTTP/HTTPConnection.h"
#include "HTTP/NetServicePublisher.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/Assert.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"

#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/resource.h>

namespace {

constexpr const char* DelayedStopTag = "HTTPServer.delayedStop";
constexpr const char* LimitRetryTag = "HTTPServer.limitRetry";

void setIdleTimerDisabled(bool disabled)
{
    if (auto application = ui::Application::shared())
        application->setIdleTimerDisabled(disabled);
}

bool sslEnabled()
{
    return core::UserDefaults::standard()->boolForKey("VKSSLEnabled");
}

// A path's components below the root, none of them a way out of it.
bool isSafeRelativePath(std::string_view relative)
{
    if (relative.find('\0') != std::string_view::npos)
        return false;
    // Component by component, in place: every request's path passes here.
    for (size_t start = 0; start <= relative.size();) {
        size_t end = std::min(relative.find('/', start), relative.size());
        const auto component = relative.substr(start, end - start);
        if (component == ".." || component == ".")
            return false;
        start = end + 1;
    }
    return true;
}

// The TXT record encoding: each "key=value" pair as one length-prefixed
// string of at most 255 bytes.
core::Data encodeTXTRecord(const core::Value& dictionary)
{
    std::string bytes;
    if (!dictionary.isDictionary())
        return {};
    for (const auto& [key, value] : dictionary.dictionary()) {
        std::string pair = key;
        if (!value.isNull())
            pair += "=" + (value.isData() ? value.data().toString() : value.toString());
        if (key.empty())
            continue;
        if (pair.size() > 255) {
            core::log("Warning, TXT record entry '{}' is longer than 255 bytes, left out", key);
            continue;
        }
        bytes += static_cast<char>(pair.size());
        bytes += pair;
    }
    return core::Data(bytes);
}

} // namespace

std::shared_ptr<HTTPServer> HTTPServer::create(const core::URL& documentRoot)
{
    std::shared_ptr<HTTPServer> server(new HTTPServer(documentRoot));
    server->setUp();
    return server;
}

HTTPServer::HTTPServer(core::URL documentRoot)
    : m_documentRoot(std::move(documentRoot))
    , m_documentRootPath(m_documentRoot.filePath())
{
    m_connectionClass = [](const std::shared_ptr<AsyncSocket>& socket, const std::shared_ptr<HTTPServer>& server) {
        return HTTPConnection::create(socket, server);
    };
}

void HTTPServer::setUp()
{
    auto self = sharedAs<HTTPServer>();
    m_asyncSocket = AsyncSocket::create(std::static_pointer_cast<AsyncSocketDelegate>(self));
    std::weak_ptr<HTTPServer> weak = self;
    m_connectionDidDie = core::NotificationCenter::defaultCenter().observe(HTTPConnection::DidDieNotification, nullptr,
        [weak](const core::Notification& notification) {
            auto server = weak.lock();
            auto connection = std::dynamic_pointer_cast<HTTPConnection>(notification.object());
            if (server && connection)
                server->connectionDidDie(connection);
        });
}

HTTPServer::~HTTPServer()
{
    m_connectionDidDie.reset();
    cancelDelayedStop();
    stopPublishingNetServices();
    if (m_asyncSocket) {
        m_asyncSocket->setDelegate({});
        m_asyncSocket->disconnect();
    }
    auto connections = std::move(m_connections);
    for (const auto& connection : connections)
        connection->disconnect();
    if (!connections.empty())
        setIdleTimerDisabled(false);
}

size_t HTTPServer::defaultConnectionLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return MaxConnectionLimit;
    const auto descriptors = static_cast<size_t>(limit.rlim_cur);
    const size_t half = descriptors > ReservedDescriptors ? (descriptors - ReservedDescriptors) / 2 : 0;
    return std::clamp(half, MinConnectionLimit, MaxConnectionLimit);
}

void HTTPServer::setConnectionLimitForTesting(size_t limit)
{
    m_connectionLimit = std::max<size_t>(limit, 1);
}

void HTTPServer::setConnectionClass(ConnectionClass connectionClass)
{
    if (connectionClass)
        m_connectionClass = std::move(connectionClass);
}

void HTTPServer::setTXTRecordDictionary(const core::Value& dictionary)
{
    if (dictionary == m_txtRecordDictionary)
        return;
    m_txtRecordDictionary = dictionary;
    const auto data = txtRecordData();
    for (const auto& service : m_netServices)
        service->setTXTRecordData(data);
}

core::Data HTTPServer::txtRecordData() const
{
    return encodeTXTRecord(m_txtRecordDictionary);
}

bool HTTPServer::startListening(core::Error* error)
{
    cancelDelayedStop();
    resumeAccepting();
    m_isStarted = m_asyncSocket->acceptOnPort(m_port, error);
    if (m_isStarted) {
        m_port = m_asyncSocket->localPort();
        core::log("Started HTTP server on port {}", m_port);
        publishNetServices();
        core::NotificationCenter::defaultCenter().post(StatusDidChangeNotification, shared_from_this());
    }
    return m_isStarted;
}

bool HTTPServer::stopListeningAndDisconnectActiveConnections(bool disconnect)
{
    stopPublishingNetServices();
    cancelDelayedStop();
    m_asyncSocket->disconnect();
    resumeAccepting();
    // A closed listener cannot listen again: the next start gets a new one.
    m_asyncSocket->setDelegate({});
    m_asyncSocket = AsyncSocket::create(std::static_pointer_cast<AsyncSocketDelegate>(sharedAs<HTTPServer>()));
    if (disconnect)
        closeConnections();
    if (m_isStarted)
        core::log("Stopped HTTP server on port {}", m_port);
    m_isStarted = false;
    core::NotificationCenter::defaultCenter().post(StatusDidChangeNotification, shared_from_this());
    return true;
}

void HTTPServer::closeConnections()
{
    auto connections = std::move(m_connections);
    m_connections.clear();
    for (const auto& connection : connections) {
        connection->disconnect();
        core::RunLoop::main().keepAliveUntilEndOfPass(connection);
    }
    setIdleTimerDisabled(false);
}

void HTTPServer::stopListeningAfterDelay(double delay)
{
    cancelDelayedStop();
    m_delayedStopPending = true;
    std::weak_ptr<HTTPServer> weak = sharedAs<HTTPServer>();
    core::RunLoop::main().performAfter(delay,
        [weak] {
            auto server = weak.lock();
            if (!server)
                return;
            server->m_delayedStopPending = false;
            if (server->m_isStarted)
                server->stopListeningAndDisconnectActiveConnections(true);
        },
        core::PerformKey { m_delayedStopToken, DelayedStopTag, {} });
}

void HTTPServer::cancelDelayedStop()
{
    if (!m_delayedStopPending)
        return;
    m_delayedStopPending = false;
    core::RunLoop::main().cancelPerforms(core::PerformKey { m_delayedStopToken, DelayedStopTag, {} });
}

void HTTPServer::onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& newSocket)
{
    core::assertIsMainThread();
    setIdleTimerDisabled(true);
    if (auto connection = m_connectionClass(newSocket, sharedAs<HTTPServer>()))
        m_connections.push_back(std::move(connection));
    cancelDelayedStop();
    if (m_connections.size() >= m_connectionLimit)
        makeRoomForNextConnection();
}

void HTTPServer::makeRoomForNextConnection()
{
    // The newest connection has had no time to send its head yet.
    const auto end = m_connections.empty() ? m_connections.end() : m_connections.end() - 1;
    const auto waiting = std::find_if(m_connections.begin(), end,
        [](const std::shared_ptr<HTTPConnection>& connection) { return connection->isWaitingForRequest(); });
    if (waiting != end) {
        // Dropped from the list by its death notice.
        auto connection = *waiting;
        connection->disconnect();
        return;
    }
    if (!m_asyncSocket)
        return;
    m_acceptingPaused = true;
    m_asyncSocket->setAcceptsConnections(false);
    std::weak_ptr<HTTPServer> weak = sharedAs<HTTPServer>();
    core::RunLoop::main().cancelPerforms(core::PerformKey { m_delayedStopToken, LimitRetryTag, {} });
    core::RunLoop::main().performAfter(LimitRetryInterval,
        [weak] {
            auto server = weak.lock();
            if (!server || !server->m_acceptingPaused)
                return;
            if (server->m_connections.size() >= server->m_connectionLimit)
                server->makeRoomForNextConnection();
            if (server->m_connections.size() < server->m_connectionLimit)
                server->resumeAccepting();
        },
        core::PerformKey { m_delayedStopToken, LimitRetryTag, {} });
}

void HTTPServer::resumeAccepting()
{
    if (!m_acceptingPaused)
        return;
    m_acceptingPaused = false;
    core::RunLoop::main().cancelPerforms(core::PerformKey { m_delayedStopToken, LimitRetryTag, {} });
    if (m_asyncSocket)
        m_asyncSocket->setAcceptsConnections(true);
}

void HTTPServer::connectionDidDie(const std::shared_ptr<HTTPConnection>& connection)
{
    core::assertIsMainThread();
    auto found = std::find(m_connections.begin(), m_connections.end(), connection);
    if (found == m_connections.end())
        return;
    // Released a pass later: the connection may be inside its own callback.
    core::RunLoop::main().keepAliveUntilEndOfPass(*found);
    m_connections.erase(found);
    if (m_connections.size() < m_connectionLimit)
        resumeAccepting();
    if (m_connections.empty()) {
        setIdleTimerDisabled(false);
        // Once the last one is released, the memory a burst of connections
        // took goes back to the system.
        core::RunLoop::main().performAfter(0, [] { core::Device::releaseFreeHeapMemory(); });
    }
}

void HTTPServer::publishNetServices()
{
    if (m_types.empty())
        return;
    m_netServices.clear();
    auto publisher = NetServicePublisher::shared();
    const auto txt = txtRecordData();
    std::weak_ptr<HTTPServer> weak = sharedAs<HTTPServer>();
    for (const auto& type : m_types) {
        auto service = publisher->publish(m_domain, type, "", m_port, [weak](NetService& service, bool published) {
            auto server = weak.lock();
            if (!server)
                return;
            if (published)
                server->netServiceDidPublish(service);
            else
                server->netServiceDidNotPublish(service);
        });
        if (!service)
            continue;
        if (m_txtRecordDictionary.isDictionary())
            service->setTXTRecordData(txt);
        m_netServices.push_back(std::move(service));
    }
}

void HTTPServer::stopPublishingNetServices()
{
    for (const auto& service : m_netServices)
        service->stop();
    m_netServices.clear();
}

void HTTPServer::netServiceDidPublish(NetService& service)
{
    core::log("Bonjour Service Published: domain({}) type({}) name({}) hostName({})", service.domain(), service.type(),
        service.name(), service.hostName());
    m_bonjourName = service.name();
    std::replace(m_bonjourName.begin(), m_bonjourName.end(), ' ', '-');
    core::NotificationCenter::defaultCenter().post(NetServiceDidUpdateNotification, service.shared_from_this());
}

void HTTPServer::netServiceDidNotPublish(NetService& service)
{
    // Also told when an announcement that was out is withdrawn (the daemon
    // went away): the name no longer leads anywhere.
    m_bonjourName.clear();
    core::NotificationCenter::defaultCenter().post(NetServiceDidUpdateNotification, service.shared_from_this());
}

void HTTPServer::addVirtualRootURI(const core::URL& uri, const std::string& localPath)
{
    for (auto& root : m_virtualRoots) {
        if (root.uri == uri) {
            root.localPath = localPath;
            m_resolvedRootsComplete = false;
            return;
        }
    }
    m_virtualRoots.push_back({ uri, localPath, stringByEnsuringTrailingPathSeparator(uri.path()) });
    m_resolvedRootsComplete = false;
}

std::vector<core::URL> HTTPServer::virtualRootURIs() const
{
    std::vector<core::URL> uris;
    for (const auto& root : m_virtualRoots)
        uris.push_back(root.uri);
    return uris;
}

std::optional<std::string> HTTPServer::localPathForURI(const core::URL& uri) const
{
    const auto path = uri.standardizedPath();
    const auto& rootPath = m_documentRootPath;
    if (path == "/")
        return rootPath;
    if (!hasVirtualRoots()) {
        if (!isSafeRelativePath(path))
            return std::nullopt;
        // Joined without a doubled separator, so that it is usually clean.
        return core::path::appendingPathComponent(rootPath, std::string_view(path).substr(path.starts_with('/') ? 1 : 0));
    }
    // The path with a trailing separator ensured is what a root's prefix
    // ("/Documents/") must start, told apart without making it.
    const std::string_view view(path);
    for (const auto& root : m_virtualRoots) {
        const std::string_view prefix(root.prefix);
        std::string_view rest;
        if (view.starts_with(prefix))
            rest = view.substr(prefix.size());
        else if (!(prefix.size() == view.size() + 1 && prefix.starts_with(view) && prefix.ends_with('/')))
            continue;
        if (!isSafeRelativePath(rest))
            return std::nullopt;
        if (rest.empty())
            return root.localPath;
        // The joined path drops trailing separators anyway; without them it
        // is usually clean already, which saves cleaning it.
        while (rest.ends_with('/'))
            rest.remove_suffix(1);
        return core::path::appendingPathComponent(root.localPath, rest);
    }
    return std::nullopt;
}

std::optional<core::URL> HTTPServer::servedRootURIForRealPath(const std::string& realPath) const
{
    if (!m_resolvedRootsComplete) {
        m_resolvedRoots.clear();
        m_resolvedRootsComplete = true;
        auto resolve = [this](const std::string& path, core::URL uri, bool wholeTree) {
            char buffer[PATH_MAX];
            if (realpath(path.c_str(), buffer))
                m_resolvedRoots.push_back({ buffer, std::move(uri), wholeTree });
            else
                m_resolvedRootsComplete = false;
        };
        resolve(m_documentRootPath, *core::URL::parse("/"), !hasVirtualRoots());
        for (const auto& root : m_virtualRoots)
            resolve(root.localPath, root.uri, true);
    }
    // Both sides are resolved, standardised paths: a plain comparison of
    // components tells.
    for (const auto& root : m_resolvedRoots) {
        const bool within = realPath.starts_with(root.path)
            && (realPath.size() == root.path.size() || realPath[root.path.size()] == '/' || root.path == "/");
        if (root.wholeTree ? within : realPath == root.path)
            return root.uri;
    }
    return std::nullopt;
}

std::optional<core::URL> HTTPServer::URIForLocalPath(const std::string& path) const
{
    const auto& rootPath = m_documentRootPath;
    if (core::path::standardizingPath(path) == core::path::standardizingPath(rootPath))
        return core::URL::parse("/");
    std::optional<std::string> relative;
    std::string rootURI;
    if (hasVirtualRoots()) {
        // The roots never nest; should they, the last one met wins.
        for (const auto& root : m_virtualRoots) {
            if (auto candidate = stringByAbbreviatingRelativeToPath(path, root.localPath)) {
                relative = std::move(candidate);
                rootURI = root.uri.relativeString();
            }
        }
        if (!relative)
            return std::nullopt;
    } else {
        relative = stringByAbbreviatingRelativeToPath(path, rootPath);
        rootURI = "/";
        if (!relative)
            return core::URL::parse(rootURI);
    }
    if (relative->empty())
        return core::URL::parse(rootURI);
    return core::URL::parse(stringByEnsuringTrailingPathSeparator(rootURI) + VKURLEscapePath(*relative));
}

bool HTTPServer::usingDefaultPort() const
{
    return m_port == (sslEnabled() ? 443 : 80);
}

std::optional<core::URL> HTTPServer::URLWithHostName(const std::string& hostName) const
{
    if (hostName.empty())
        return std::nullopt;
    const char* scheme = sslEnabled() ? "https" : "http";
    const auto host = vkStringByEscapingURL(hostName);
    if (usingDefaultPort())
        return core::URL::parse(fmt::format("{}://{}", scheme, host));
    return core::URL::parse(fmt::format("{}://{}:{}", scheme, host, m_port));
}

std::optional<core::URL> HTTPServer::hostURL() const
{
    return URLWithHostName(m_hostName);
}

std::optional<core::URL> HTTPServer::bonjourURL() const
{
    if (m_bonjourName.empty() || m_bonjourName == "localhost")
        return std::nullopt;
    auto host = m_bonjourName;
    if (!host.ends_with(".local"))
        host += ".local";
    return URLWithHostName(host);
}

std::string HTTPServer::description() const
{
    return fmt::format("<HTTPServer: {} port {} {}>", fmt::ptr(this), m_port, m_isStarted ? "started" : "stopped");
}
