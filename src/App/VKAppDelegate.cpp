#include "App/VKAppDelegate.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/VKApplication.h"
#include "Shell/VKAudioPlayerRemoteControl.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "App/VKAppUploadManagerHooks.h"
#include "App/FolderBrowser/VKCloudFolderController.h"
#include "CloudOperations/VKCloudUploadHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKQuotaWatcher.h"
#include "FileModel/VKServerLockHooks.h"
#include "HTTP/HTTPConnection.h"
#include "HTTP/HTTPServer.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/NetReachability.h"
#include "Kit/ObjectAdditions.h"
#include "App/VKAppServiceHooks.h"
#include "FileModel/VKCloudHooks.h"
#include "Kit/URLAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVKeychainCredentials.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVServerLockHooks.h"
#include "WebDAV/WebDAVStagingFolder.h"

#include <fmt/format.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/resource.h>

#include <cstdio>
#include <utility>

namespace {

std::string displayName()
{
    return VKMainBundleDisplayName().value_or("Tandry");
}

} // namespace

std::shared_ptr<VKAppDelegate> VKAppDelegate::create()
{
    std::shared_ptr<VKAppDelegate> delegate(new VKAppDelegate());
    delegate->registerDefaults();
    return delegate;
}

VKAppDelegate::VKAppDelegate()
    : m_netReachability(NetReachability::initWithDefaultRoute(true))
{
    for (uint16_t port = 8081; port <= 8090; ++port)
        m_fallbackPorts.push_back(port);
    m_fallbackPorts.push_back(0);
}

VKAppDelegate::~VKAppDelegate() = default;

void VKAppDelegate::registerDefaults()
{
    using core::Value;
    core::Value::Dictionary defaults {
        { "VKServerEnabled", Value(true) },
        { "VKPortNumber", Value(int64_t(80)) },
        { "VKPasscodeLockUponWake", Value(true) },
        { "VKQuotaLimit", Value("1024") },
        { "VKQuotaEnabled", Value(false) },
        { "VKDisplayServerURLAtStartup", Value(true) },
        { "VKDisplayFileExtensions", Value(false) },
        { "VKFileSortOrder", Value(int64_t(0)) },
        { "VKDefaultTextEncoding", Value("UTF-8") },
        { "VKDefaultTextFontSize", Value(13.0) },
        { "VKSlideShowTimeout", Value(3.0) },
        { "VKSlideShowTransitionType", Value("fade") },
        { "VKPagingGestureEnabled", Value(true) },
        { "VKDocumentViewLayout", Value(int64_t(1)) },
        { "VKDocumentViewDoublePageSingleFirst", Value(true) },
        { "VKPageNumberOverlayEnabled", Value(true) },
        { "VKIsFirstRun", Value(true) },
        { "VKLastKnownDocumentEnabled", Value(VKIsMultitaskingSupported()) },
    };
    core::UserDefaults::standard()->registerDefaults(defaults);
}

void VKAppDelegate::prepareServices()
{
    core::DateFormatter::setDefaultLocale(VKApplication::currentLanguage());
    setTrashPathProvider([] { return VKApplication::sharedApplication()->metadataSubdirectory("Trash"); });
    // Every connection is a descriptor: take all the system allows.
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool VKAppDelegate::applicationDidFinishLaunching()
{
    m_isLaunching = true;
    VKAppDelegateHooks::setCurrent(sharedAs<VKAppDelegate>());
    prepareServices();
    prepareCloudMirror();
    if (m_netReachability)
        m_netReachability->setDelegate(std::static_pointer_cast<NetReachabilityDelegate>(sharedAs<VKAppDelegate>()));
    m_guestMode = false;
    return continueApplicationDidFinishLaunching();
}

bool VKAppDelegate::continueApplicationDidFinishLaunching()
{
    if (m_wholeApplication) {
        continueWholeApplicationLaunch();
        return true;
    }
    setupHTTPServer();
    if (m_rootPasscodeController)
        dismissPasscodeControllerAnimated(true);
    bool started = true;
    if (core::UserDefaults::standard()->boolForKey("VKServerEnabled")) {
        started = startHTTPServer(true);
        if (started)
            printServingURL();
    } else {
        core::log("Server not started: VKServerEnabled is off");
        core::NotificationCenter::defaultCenter().post(HTTPServer::StatusDidChangeNotification, m_httpServer);
    }
    m_isLaunching = false;
    return started;
}

void VKAppDelegate::printServingURL() const
{
    // Without an address on the local network, the loopback one is printed
    // (the server itself keeps no host name then).
    auto url = m_httpServer->hostURL();
    if (!url)
        url = m_httpServer->URLWithHostName(localIPv4Address());
    const auto text = url ? url->absoluteString() + "/" : std::string();
    core::log("Serving at {}", text);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

bool VKAppDelegate::isNetworkActiveForApplication(VKApplication&)
{
    if (m_httpServer && m_httpServer->numberOfHTTPConnections() > 0)
        return true;
    if (auto downloads = VKAppDownloadHooks::current(); downloads && downloads->hasActiveDownloads())
        return true;
    auto uploads = VKCloudHooks::current();
    return uploads && uploads->hasActiveUploads();
}

void VKAppDelegate::prepareCloudMirror()
{
    // Services first (each makes its folder), then the store, which a new or
    // emptied mirror fills with the services' folders; only then does the
    // file model take items under the servers folder from the mirror.
    VKCloudServicesManager::registerCloudServices();
    auto store = VKCloudFileStore::sharedStore();
    if (store && store->isBootstrapRequired())
        store->bootstrapCloudFileStore();
    VKCloudHooks::setCurrent(std::make_shared<VKCloudUploadHooks>());
    VKCloudFolderController::registerCloudScreens();
    VKAppUploadHooks::setCurrent(std::make_shared<VKAppUploadManagerHooks>());
    // Uploads a previous run left pending show paused, to be resumed by hand.
    VKAppUploadHooks::current()->initializeUploads();
}

namespace {
std::weak_ptr<VKAudioPlayerRemoteControl>& mostRecentPlayer()
{
    static std::weak_ptr<VKAudioPlayerRemoteControl> player;
    return player;
}
} // namespace

void VKAppDelegate::setMostRecentAudioPlayer(std::weak_ptr<VKAudioPlayerRemoteControl> player)
{
    mostRecentPlayer() = std::move(player);
}

std::shared_ptr<VKAudioPlayerRemoteControl> VKAppDelegate::mostRecentAudioPlayer() const
{
    return mostRecentPlayer().lock();
}

bool VKAppDelegate::isAudioPlayerPlaying() const
{
    auto player = mostRecentAudioPlayer();
    return player && player->isPlaying();
}

bool VKAppDelegate::guestActionsEnabled() const
{
    return core::UserDefaults::standard()->boolForKey("VKLocalGuestActionsEnabled");
}

uint16_t VKAppDelegate::configuredPort()
{
    const auto port = core::UserDefaults::standard()->integerForKey("VKPortNumber");
    if (port < 0 || port > 65535) {
        core::log("Warning, VKPortNumber {} is not a port, using 80", port);
        return 80;
    }
    return static_cast<uint16_t>(port);
}

std::string VKAppDelegate::localIPv4Address()
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

void VKAppDelegate::setupHTTPServer()
{
    auto application = VKApplication::sharedApplication();
    if (m_httpServer && m_httpServer->isStarted())
        m_httpServer->stopListeningAndDisconnectActiveConnections(true);
    // A guest sees the public folder and nothing beside it.
    m_httpServer = HTTPServer::create(
        core::URL::fileURL(m_guestMode ? application->publicDirectory() : application->homeDirectory(), true));
    if (!m_guestMode) {
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

void VKAppDelegate::reachabilityDidUpdate(NetReachability&, bool reachable, bool usingCell)
{
    core::log("reachabilityDidUpdate: reachable: {}, usingCell: {}", int(reachable), int(usingCell));
    const auto address = NetReachability::getWifiIPAddress();
    core::log("wifiIP: {}", address.value_or("(null)"));
    if (address && !address->empty() && m_httpServer)
        m_httpServer->setHostName(*address);
}

bool VKAppDelegate::startHTTPServer(bool start)
{
    auto defaults = core::UserDefaults::standard();
    // Written only when it changes, so that a plain start leaves the
    // settings file alone.
    if (defaults->boolForKey("VKServerEnabled") != start)
        defaults->set("VKServerEnabled", core::Value(start));
    if (!m_httpServer)
        setupHTTPServer();
    if (!start) {
        if (m_httpServer->isStarted()) {
            core::log("Stopping HTTP server");
            m_httpServer->stopListeningAndDisconnectActiveConnections(false);
        }
        return true;
    }
    if (m_httpServer->isStarted())
        return true;
    const auto configured = m_httpServer->port();
    core::Error error;
    bool started = m_httpServer->startListening(&error);
    if (!started && VKIsMultitaskingSupported()) {
        for (const auto port : m_fallbackPorts) {
            core::log("Trying port: {}", port);
            m_httpServer->setPort(port);
            error = {};
            if ((started = m_httpServer->startListening(&error)))
                break;
        }
    }
    if (!started) {
        core::log("Error starting HTTP Server: {}", error.description());
        const auto message = fmt::format(fmt::runtime(core::localized("{} encountered an error starting the WebDAV server")),
            displayName());
        // Also on the terminal: the program may run without a window.
        std::fprintf(stderr, "%s\n", message.c_str());
        if (ui::Application::shared())
            showAlertViewWithTitle(core::localized("Warning"), message, core::localized("OK"));
        return false;
    }
    if (m_wholeApplication && !m_printedURL) {
        m_printedURL = true;
        printServingURL();
    }
    if (m_httpServer->port() != configured && configured != 0) {
        core::log("Warning, port changed: {} -> {}", configured, m_httpServer->port());
        // The start-up alert shows the new address anyway.
        const bool startupAlertShows = m_isLaunching && defaults->boolForKey("VKDisplayServerURLAtStartup");
        if (ui::Application::shared() && !startupAlertShows)
            vkPerformSelectorOnNextRunLoopRun(sharedAs<VKAppDelegate>(),
                [](VKAppDelegate& self) { self.showServerPortChangedAlert(); });
    }
    return true;
}

std::optional<gfx::Color> VKAppDelegate::barTintColor() const
{
    if (!m_barTintColor) {
        auto text = core::Bundle::main()->objectForInfoDictionaryKey("VKBarTintColor");
        m_barTintColor = text.isString() ? colorWithHexString(text.toString(), 1.0f) : std::nullopt;
    }
    return *m_barTintColor;
}

ui::NavigationController* VKAppDelegate::browserNavigation() const
{
    return m_navController.get();
}
