#include "App/VKAppServer.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/VKKeychain.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKServerLockHooks.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Kit/URLAdditions.h"
#include "Kit/VKBytesFormatter.h"
#include "Kit/VKFunctions.h"
#include "Shell/VKApplication.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVKeychainCredentials.h"
#include "WebDAV/WebDAVServerLockHooks.h"
#include "WebDAV/WebDAVStagingFolder.h"

#include <fmt/format.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstdio>
#include <utility>

namespace {

std::string appServerDisplayName()
{
    return VKMainBundleDisplayName().value_or("Tandry");
}

std::string appServerBytes(uint64_t count)
{
    return VKBytesFormatter::sharedFormatter().formatBytesAsString(count);
}

bool appServerQuotaRecounting()
{
    auto quota = VKQuotaManager::defaultManager();
    return quota && quota->rebuildingIndex();
}

} // namespace

VKAppServer::VKAppServer()
{
    for (uint16_t port = 8081; port <= 8090; ++port)
        m_fallbackPorts.push_back(port);
    m_fallbackPorts.push_back(0);
}

bool VKAppServer::isStarted() const
{
    return m_httpServer && m_httpServer->isStarted();
}

uint16_t VKAppServer::configuredPort()
{
    const auto port = core::UserDefaults::standard()->integerForKey("VKPortNumber");
    if (port < 0 || port > 65535) {
        core::log("Warning, VKPortNumber {} is not a port, using 80", port);
        return 80;
    }
    return static_cast<uint16_t>(port);
}

std::string VKAppServer::localIPv4Address()
{
    ifaddrs* addresses = nullptr;
    std::string found = "127.0.0.1";
    if (getifaddrs(&addresses) != 0)
        return found;
    for (auto* entry = addresses; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if ((ntohl(address->sin_addr.s_addr) >> 24) == 127)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) {
            found = text;
            break;
        }
    }
    freeifaddrs(addresses);
    return found;
}

void VKAppServer::setup(bool guestMode)
{
    auto application = VKApplication::sharedApplication();
    if (m_httpServer && m_httpServer->isStarted())
        m_httpServer->stopListeningAndDisconnectActiveConnections(true);
    // A guest sees the public folder and nothing beside it.
    m_httpServer = HTTPServer::create(
        core::URL::fileURL(guestMode ? application->publicDirectory() : application->homeDirectory(), true));
    if (!guestMode) {
        m_httpServer->addVirtualRootURI(*core::URL::parse("/Documents/"), application->documentsDirectory());
        m_httpServer->addVirtualRootURI(*core::URL::parse("/Public/"), application->publicDirectory());
        const auto readonlyName = core::localized("This Folder is Readonly");
        const auto readonlyPath = core::Bundle::main()->pathForResource(readonlyName, "txt");
        if (!readonlyPath.empty()) {
            if (auto uri = core::URL::parse(VKURLEscapePath("/" + readonlyName + ".txt")))
                m_httpServer->addVirtualRootURI(*uri, readonlyPath);
        }
    }
    auto defaults = core::UserDefaults::standard();
    m_httpServer->setPort(configuredPort());
    const auto version = core::Bundle::main()->objectForInfoDictionaryKey("CFBundleVersion").toString();
    m_httpServer->setServerName(fmt::format("VKDAV/{}", version));
    m_httpServer->setHostName(NetReachability::getWifiIPAddress().value_or(""));
    if (defaults->boolForKey("VKSSLEnabled"))
        m_httpServer->setTypes({ "_https._tcp.", "_webdavs._tcp." });
    else
        m_httpServer->setTypes({ "_http._tcp.", "_webdav._tcp." });
    m_httpServer->setConnectionClass<WebDAVConnection>();
    // Uploads and copies a killed run left unfinished go once per run,
    // before any of this run's begin.
    static bool abandonedItemsRemoved = false;
    if (!std::exchange(abandonedItemsRemoved, true))
        WebDAVStagingFolder::removeAbandonedItems();
    // The keychain's password and identity, unless the program was given
    // others for this run.
    if (!WebDAVCredentials::current())
        WebDAVCredentials::setCurrent(std::make_shared<WebDAVKeychainCredentials>(VKKeychain::sharedKeychain()));
    std::weak_ptr<HTTPServer> server = m_httpServer;
    VKServerLockHooks::setCurrent(std::make_shared<WebDAVServerLockHooks>([server](const std::string& path) {
        auto current = server.lock();
        auto uri = current ? current->URIForLocalPath(path) : std::nullopt;
        return uri ? std::optional(uri->relativeString()) : std::nullopt;
    }));
}

VKAppServer::Start VKAppServer::start(bool start)
{
    auto defaults = core::UserDefaults::standard();
    // Written only when it changes, so that a plain start leaves the
    // settings file alone.
    if (defaults->boolForKey("VKServerEnabled") != start)
        defaults->set("VKServerEnabled", core::Value(start));
    if (!m_httpServer)
        return start ? Start::Failed : Start::Done;
    if (!start) {
        if (m_httpServer->isStarted())
            m_httpServer->stopListeningAndDisconnectActiveConnections(false);
        return Start::Done;
    }
    if (m_httpServer->isStarted())
        return Start::Done;
    const auto configured = m_httpServer->port();
    core::Error error;
    auto listen = [this](core::Error* error) {
        return m_listen ? m_listen(*m_httpServer, error) : m_httpServer->startListening(error);
    };
    bool started = listen(&error);
    if (!started && VKIsMultitaskingSupported()) {
        for (const auto port : m_fallbackPorts) {
            m_httpServer->setPort(port);
            error = {};
            if ((started = listen(&error)))
                break;
        }
    }
    if (!started) {
        core::log("Error starting HTTP Server: {}", error.description());
        const auto message = fmt::format(fmt::runtime(core::localized("{} encountered an error starting the WebDAV server")),
            appServerDisplayName());
        // Also on the terminal: the program may run without a window.
        std::fprintf(stderr, "%s\n", message.c_str());
        if (ui::Application::shared())
            showAlertViewWithTitle(core::localized("Warning"), message, core::localized("OK"));
        return Start::Failed;
    }
    if (m_httpServer->port() != configured && configured != 0) {
        core::log("Warning, port changed: {} -> {}", configured, m_httpServer->port());
        return Start::MovedPort;
    }
    return Start::Started;
}

void VKAppServer::reachabilityDidUpdate(bool /*reachable*/, bool /*usingCell*/)
{
    const auto address = NetReachability::getWifiIPAddress();
    if (address && !address->empty() && m_httpServer)
        m_httpServer->setHostName(*address);
}

std::optional<core::URL> VKAppServer::servingURL() const
{
    // Without an address on the local network the server keeps no host
    // name: the loopback address still reaches it from this computer.
    if (!m_httpServer)
        return std::nullopt;
    auto url = m_httpServer->hostURL();
    return url ? url : m_httpServer->URLWithHostName(localIPv4Address());
}

void VKAppServer::printServingURL() const
{
    const auto url = servingURL();
    const auto text = url ? url->absoluteString() + "/" : std::string();
    core::log("Serving at {}", text);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

bool VKAppServer::isPortNoteDue() const
{
    return !core::UserDefaults::standard()->boolForKey("VKDidShowPortNumberMigrationUpdateNote") && m_httpServer
        && m_httpServer->usingDefaultPort();
}

std::string VKAppServer::portChangedMessage() const
{
    const auto url = servingURL();
    return fmt::format(fmt::runtime(core::localized("The {} connection URL has changed to:\n\n{}")),
        appServerDisplayName(), url ? url->absoluteString() : std::string());
}

std::optional<std::string> VKAppServer::startupMessage() const
{
    const auto url = m_httpServer ? m_httpServer->hostURL() : std::nullopt;
    if (!url)
        return std::nullopt;
    auto message = fmt::format(fmt::runtime(core::localized("Connect to {} using the following WebDAV URL:\n\n{}")),
        appServerDisplayName(), url->absoluteString());
    if (auto bonjour = m_httpServer->bonjourURL())
        message += fmt::format(fmt::runtime(core::localized("\nor via Bonjour:\n{}")), bonjour->absoluteString());
    return message;
}

std::optional<std::string> VKAppServer::lostPasswordMessage() const
{
    if (core::UserDefaults::standard()->stringForKey("VKLoginUsername").empty() || !VKKeychain::wasLoginPasswordSet())
        return std::nullopt;
    auto credentials = WebDAVCredentials::current();
    const auto password = credentials ? credentials->passwordForUser(VKLoginPasswordService) : std::nullopt;
    if (password && !password->empty())
        return std::nullopt;
    core::log("Warning, the server password was set but cannot be read: the server refuses every request for it");
    return core::localized("The server password could not be read and must be set again in the server settings. "
                           "Until then the server refuses every request that needs the password.");
}

std::string VKAppServer::infoMessage(bool portrait, const NetReachability* link) const
{
    auto defaults = core::UserDefaults::standard();
    std::string message;
    const auto url = m_httpServer ? m_httpServer->hostURL() : std::nullopt;
    if (!isStarted()) {
        message += core::localized("WebDAV server stopped") + "\n\n";
    } else if (link && link->isReachableUsingWifi() && url) {
        const bool tls = defaults->boolForKey("VKSSLEnabled");
        message += fmt::format(fmt::runtime(core::localized(tls ? "Connect via secure URL:\n{}" : "Connect via URL:\n{}")),
            url->absoluteString());
        if (auto bonjour = m_httpServer->bonjourURL()) {
            if (portrait)
                message += "\n";
            message += fmt::format(fmt::runtime(core::localized("\nor via Bonjour:\n{}")), bonjour->absoluteString());
        }
        message += "\n\n";
        if (portrait) {
            if (tls)
                message += core::localized("SSL enabled") + "\n";
            const auto user = defaults->stringForKey("VKLoginUsername");
            const auto password
                = VKKeychain::sharedKeychain()->passwordForUser(VKLoginPasswordService, VKLoginPasswordService);
            if (!user.empty() && ((password && !password->empty()) || VKKeychain::wasLoginPasswordSet())) {
                message += core::localized("Password protected") + "\n";
                if (defaults->boolForKey("VKRemoteGuestAccess"))
                    message += core::localized("Remote guest access enabled") + "\n";
            }
        }
    } else {
        message += core::localized("No WiFi connection detected") + "\n\n";
    }
    auto quota = VKQuotaManager::defaultManager();
    if (appServerQuotaRecounting()) {
        message += core::localized("Rebuilding quota index");
        if (!isStarted())
            message += "\n" + core::localized("Server temporarily disabled");
    } else if (quota) {
        if (defaults->boolForKey("VKQuotaEnabled"))
            message += fmt::format(fmt::runtime(core::localized("{} of {} used")), appServerBytes(quota->quotaUsedBytes()),
                appServerBytes(quota->quotaTotalBytes()));
        else
            message += fmt::format(fmt::runtime(core::localized("{} used")), appServerBytes(quota->quotaUsedBytes()));
        if (auto available = quota->quotaAvailableBytes())
            message += "\n" + fmt::format(fmt::runtime(core::localized("{} available")), appServerBytes(*available));
    }
    return message;
}
