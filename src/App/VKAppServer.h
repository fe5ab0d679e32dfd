#pragma once

#include "Platform/Core/URL.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HTTPServer;
class NetReachability;
namespace core {
class Error;
}

// The application's HTTP/WebDAV server: made on the home folder with its
// virtual roots (a guest's on the public folder alone), started on the
// configured port or the fallbacks, and described for the server
// information alert. It owns the server; the application delegate owns it
// and decides when to set up, start and stop.
class VKAppServer {
public:
    VKAppServer();

    // None before the first set-up.
    const std::shared_ptr<HTTPServer>& httpServer() const { return m_httpServer; }
    bool isStarted() const;

    // Makes the server anew (stopping the old one with its connections) on
    // the home folder with "/Documents/" → the private documents, "/Public/"
    // → the public documents and the read-only marker; for a guest on the
    // public folder alone. Wires the server's credentials and the file
    // model's lock questions to it.
    void setup(bool guestMode);

    // Done: stopped, or already listening; Started: listening now;
    // MovedPort: listening now, on another port than the configured one.
    enum class Start { Failed, Done, Started, MovedPort };
    // Starts (trying the fallback ports when the configured one is taken;
    // an error alert and a line on stderr when none is free) or stops the
    // server set up before; stores the request under "VKServerEnabled".
    Start start(bool start);

    // Tried in turn when the configured port is taken (8081…8090, then 0 for
    // a port the system assigns).
    void setFallbackPorts(std::vector<uint16_t> ports) { m_fallbackPorts = std::move(ports); }
    // How the server takes a port: HTTPServer::startListening, unless a test
    // gives its own, one that needs no port of the machine.
    using Listen = std::function<bool(HTTPServer& server, core::Error* error)>;
    void setListen(Listen listen) { m_listen = std::move(listen); }
    // "VKPortNumber" when it is a port; 80 (with a warning) otherwise.
    static uint16_t configuredPort();
    // The first non-loopback IPv4 address of the machine, else "127.0.0.1".
    static std::string localIPv4Address();

    // Logs the reachability change and hands the Wi-Fi address, when there
    // is one, to the server as its host name.
    void reachabilityDidUpdate(bool reachable, bool usingCell);
    // The address the server answers at: its host URL, else the machine's
    // loopback one. Printed on stdout at the launch.
    std::optional<core::URL> servingURL() const;
    void printServingURL() const;

    // The note on the port change of an older version is due: not shown
    // yet, and the server is on its standard port.
    bool isPortNoteDue() const;
    // The messages of the port-changed alert (with the serving address),
    // and of the start-up alert (none without an address on the network).
    std::string portChangedMessage() const;
    std::optional<std::string> startupMessage() const;
    // The server has a user and a password was set for it, but no password
    // can be read (the keychain was damaged or its key replaced): the server
    // then refuses every request that needs the password, and this says so
    // and how to mend it. Nothing otherwise.
    std::optional<std::string> lostPasswordMessage() const;
    // The text of the server information alert, as shown in portrait or
    // landscape: how to connect (over the given link), then the disk use.
    std::string infoMessage(bool portrait, const NetReachability* link) const;

private:
    std::shared_ptr<HTTPServer> m_httpServer;
    std::vector<uint16_t> m_fallbackPorts;
    Listen m_listen;
};
