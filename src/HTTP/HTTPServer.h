#pragma once

#include "HTTP/AsyncSocket.h"
#include "HTTP/AsyncSocketDelegate.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class HTTPConnection;
class NetService;

// The listening side of the remote access server: one listening socket on the
// IPv4 wildcard address, one connection (of a configurable class) per
// accepted socket, kept in a list until it dies. While any connection lives
// the device's idle timer is off. The server also announces itself on the
// local network, builds the URLs it is reached under, and maps request URIs
// to local paths and back (with virtual roots: "/Documents/" → a folder).
// Main thread only.
class HTTPServer : public core::Object, public AsyncSocketDelegate {
public:
    static constexpr const char* StatusDidChangeNotification = "HTTPServerStatusDidChangeNotification";
    static constexpr const char* NetServiceDidUpdateNotification = "HTTPServerNetServiceDidUpdateNotification";

    // Makes the connection for an accepted socket (the connection class).
    using ConnectionClass = std::function<std::shared_ptr<HTTPConnection>(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server)>;

    // The folder served at "/".
    static std::shared_ptr<HTTPServer> create(const core::URL& documentRoot);
    ~HTTPServer() override;

    uint16_t port() const { return m_port; }
    void setPort(uint16_t port) { m_port = port; }
    const std::string& hostName() const { return m_hostName; }
    void setHostName(std::string hostName) { m_hostName = std::move(hostName); }
    const std::string& serverName() const { return m_serverName; }
    void setServerName(std::string serverName) { m_serverName = std::move(serverName); }
    const std::vector<std::string>& types() const { return m_types; }
    void setTypes(std::vector<std::string> types) { m_types = std::move(types); }
    const std::string& domain() const { return m_domain; }
    void setDomain(std::string domain) { m_domain = std::move(domain); }
    const ConnectionClass& connectionClass() const { return m_connectionClass; }
    void setConnectionClass(ConnectionClass connectionClass);
    // The connection class by type: T::create(socket, server).
    template<typename T> void setConnectionClass()
    {
        setConnectionClass([](const std::shared_ptr<AsyncSocket>& socket, const std::shared_ptr<HTTPServer>& server)
                               -> std::shared_ptr<HTTPConnection> { return T::create(socket, server); });
    }
    // The published name with blanks as "-"; empty until published.
    const std::string& bonjourName() const { return m_bonjourName; }
    bool isStarted() const { return m_isStarted; }
    const core::Value& TXTRecordDictionary() const { return m_txtRecordDictionary; }
    void setTXTRecordDictionary(const core::Value& dictionary);
    size_t numberOfHTTPConnections() const { return m_connections.size(); }
    // The most connections at once. At the limit the oldest connection
    // that waits for a request (idle, or with its head still arriving) is
    // closed for the new one; when none waits, the listener stops
    // accepting, so further clients wait in the system's queue until a
    // connection ends. By default half the descriptors the process may
    // open, less a reserve for its own files (a connection may hold a file
    // open besides its socket), within MinConnectionLimit and
    // MaxConnectionLimit.
    size_t connectionLimit() const { return m_connectionLimit; }
    void setConnectionLimitForTesting(size_t limit);
    static size_t defaultConnectionLimit();
    static constexpr size_t MinConnectionLimit = 64;
    static constexpr size_t MaxConnectionLimit = 8192;
    static constexpr size_t ReservedDescriptors = 256;
    // How often a listener stopped at the limit looks again for a
    // connection it may close.
    static constexpr double LimitRetryInterval = 1.0;
    const std::vector<std::shared_ptr<HTTPConnection>>& connections() const { return m_connections; }
    const core::URL& documentRoot() const { return m_documentRoot; }

    // Listens on port(); on success port() is the port bound (so 0 becomes
    // the one the system chose), the services are announced and
    // StatusDidChangeNotification posted. A failure changes nothing else.
    bool startListening(core::Error* error = nullptr);
    // Withdraws the announcements and closes the listening socket; with the
    // flag every connection is closed at once, otherwise they run until they
    // end by themselves. Always true.
    bool stopListeningAndDisconnectActiveConnections(bool disconnect);
    // Stops (closing connections) after `delay` seconds, unless a start, a
    // stop or an accepted connection comes first.
    void stopListeningAfterDelay(double delay);
    // Withdraws the announcements while still listening, so that clients
    // at work finish and no new one finds the server.
    void stopPublishingNetServices();

    // Maps the URI ("/Documents/") and everything below it to the local path.
    void addVirtualRootURI(const core::URL& uri, const std::string& localPath);
    std::vector<core::URL> virtualRootURIs() const;
    bool hasVirtualRoots() const { return !m_virtualRoots.empty(); }

    // The server URI of a local path ("/Public/a%20b.txt"); nothing outside
    // every root.
    std::optional<core::URL> URIForLocalPath(const std::string& path) const;
    // The local path a request URI stands for; nothing when it lies outside
    // every root (dot segments, encoded ones included, never leave a root).
    std::optional<std::string> localPathForURI(const core::URL& uri) const;
    // The URI of the root a resolved path (one with no link left in it) lies
    // in; nothing when it lies outside every root. The roots are the virtual
    // ones when there are any, else the document root; with virtual roots
    // the document root itself (the list of them) is served, nothing else
    // in it. Links in the store are judged by this, so that none leads a
    // client to files beyond what the server hands out.
    std::optional<core::URL> servedRootURIForRealPath(const std::string& realPath) const;

    // "http://host:port" from the host name / the published name; nothing
    // without one ("localhost" has no Bonjour URL either).
    std::optional<core::URL> hostURL() const;
    std::optional<core::URL> bonjourURL() const;
    // 443 with "VKSSLEnabled", else 80.
    bool usingDefaultPort() const;
    std::optional<core::URL> URLWithHostName(const std::string& hostName) const;

    // The listening socket's side.
    void onSocketDidAcceptNewSocket(AsyncSocket& socket, const std::shared_ptr<AsyncSocket>& newSocket) override;

    std::string description() const override;

protected:
    explicit HTTPServer(core::URL documentRoot);
    void setUp();

    // The announcements' side.
    virtual void netServiceDidPublish(NetService& service);
    virtual void netServiceDidNotPublish(NetService& service);
    void connectionDidDie(const std::shared_ptr<HTTPConnection>& connection);

private:
    void publishNetServices();
    core::Data txtRecordData() const;
    void cancelDelayedStop();
    void closeConnections();
    // Room for the next connection at the limit: closes the oldest waiting
    // one, or stops accepting until one ends (looking again every
    // LimitRetryInterval).
    void makeRoomForNextConnection();
    void resumeAccepting();

    std::shared_ptr<AsyncSocket> m_asyncSocket;
    bool m_isStarted = false;
    std::string m_hostName;
    core::URL m_documentRoot;
    ConnectionClass m_connectionClass;
    // The document root's path, decoded once.
    std::string m_documentRootPath;
    // Virtual roots in the order they were added, with the URI's decoded
    // path and a trailing "/" (what request paths are matched against).
    struct VirtualRoot {
        core::URL uri;
        std::string localPath;
        std::string prefix;
    };
    std::vector<VirtualRoot> m_virtualRoots;
    // The roots with links resolved, made when first needed; made again
    // while a root is missing (it may appear later).
    struct ResolvedRoot {
        std::string path;
        core::URL uri;
        bool wholeTree;
    };
    mutable std::vector<ResolvedRoot> m_resolvedRoots;
    mutable bool m_resolvedRootsComplete = false;
    std::vector<std::shared_ptr<NetService>> m_netServices;
    std::string m_domain = "local.";
    std::vector<std::string> m_types;
    std::string m_bonjourName;
    std::string m_serverName;
    uint16_t m_port = 0;
    core::Value m_txtRecordDictionary;
    std::vector<std::shared_ptr<HTTPConnection>> m_connections;
    size_t m_connectionLimit = defaultConnectionLimit();
    bool m_acceptingPaused = false;
    core::Observation m_connectionDidDie;
    bool m_delayedStopPending = false;
    std::shared_ptr<const int> m_delayedStopToken = std::make_shared<const int>(0);
};
