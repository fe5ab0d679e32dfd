#include "App/VKAppDelegate.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/VKApplication.h"
#include "Shell/VKAudioPlayerRemoteControl.h"
#include "Shell/VKNavigationController.h"
#include "App/VKAppDefaults.h"
#include "App/VKAppDiskQuota.h"
#include "App/VKAppServices.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Kit/ObjectAdditions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"


#include <cstdio>
#include <utility>

std::shared_ptr<VKAppDelegate> VKAppDelegate::create()
{
    std::shared_ptr<VKAppDelegate> delegate(new VKAppDelegate());
    delegate->m_diskQuota = VKAppDiskQuota::create(*delegate);
    delegate->m_stack.setServices(std::static_pointer_cast<VKFolderBrowserServices>(delegate));
    std::weak_ptr<VKAppDelegate> weak = delegate;
    delegate->m_passcodeLock = VKAppPasscodeLock::create([weak](bool guest) {
        if (auto self = weak.lock())
            self->passcodeLetIn(guest);
    });
    VKAppDefaults::registerDefaults();
    return delegate;
}

VKAppDelegate::VKAppDelegate()
    : m_netReachability(NetReachability::initWithDefaultRoute(true))
{
}

VKAppDelegate::~VKAppDelegate() = default;

bool VKAppDelegate::applicationDidFinishLaunching()
{
    m_isLaunching = true;
    VKAppDelegateHooks::setCurrent(sharedAs<VKAppDelegate>());
    VKAppServices::prepare();
    VKAppServices::openCloudMirror();
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
    if (auto lost = m_server.lostPasswordMessage())
        std::fprintf(stderr, "%s\n", lost->c_str());
    if (m_passcodeLock->isUp())
        dismissPasscodeControllerAnimated(true);
    bool started = true;
    if (core::UserDefaults::standard()->boolForKey("VKServerEnabled")) {
        started = startHTTPServer(true);
        if (started)
            m_server.printServingURL();
    } else {
        core::log("Server not started: VKServerEnabled is off");
        core::NotificationCenter::defaultCenter().post(HTTPServer::StatusDidChangeNotification, httpServer());
    }
    m_isLaunching = false;
    return started;
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

bool VKAppDelegate::isNetworkActiveForApplication(VKApplication&)
{
    return VKAppServices::isNetworkActive(httpServer().get());
}

bool VKAppDelegate::guestActionsEnabled() const
{
    return core::UserDefaults::standard()->boolForKey("VKLocalGuestActionsEnabled");
}

void VKAppDelegate::setupHTTPServer()
{
    m_server.setup(m_guestMode);
}

void VKAppDelegate::reachabilityDidUpdate(NetReachability&, bool reachable, bool usingCell)
{
    m_server.reachabilityDidUpdate(reachable, usingCell);
}

bool VKAppDelegate::startHTTPServer(bool start)
{
    if (!m_server.httpServer())
        setupHTTPServer();
    const auto result = m_server.start(start);
    if (result == VKAppServer::Start::Failed)
        return false;
    if (result == VKAppServer::Start::Done)
        return true;
    if (m_wholeApplication && !m_printedURL) {
        m_printedURL = true;
        m_server.printServingURL();
    }
    if (result == VKAppServer::Start::MovedPort) {
        // The start-up alert shows the new address anyway.
        const bool startupAlertShows
            = m_isLaunching && core::UserDefaults::standard()->boolForKey("VKDisplayServerURLAtStartup");
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
    return navigationController().get();
}
