// The application delegate through the application's life: going inactive
// (the server quiet once its clients are gone, the lock up), into the
// background and back, a guest coming or going, memory running short, and
// the end of the run.

#include "App/VKAppDelegate.h"

#include "Shell/VKApplication.h"
#include "Shell/VKAudioPlayerRemoteControl.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "Cloud/VKCloudFileStore.h"
#include "App/VKAppDiskQuota.h"
#include "App/VKAppServices.h"
#include "FileModel/VKServerLockHooks.h"
#include "HTTP/HTTPConnection.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Kit/ObjectAdditions.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/UserDefaults.h"
#include "WebDAV/WebDAVLockManager.h"

namespace {

// How long the server keeps listening after the last client left an
// inactive application.
constexpr double LastConnectionGrace = 1.0;

bool lockUponWake(bool guestMode, bool lockUp)
{
    return core::UserDefaults::standard()->boolForKey("VKPasscodeLockUponWake") && VKAppPasscodeLock::isLockOn()
        && !lockUp && !guestMode;
}

} // namespace

void VKAppDelegate::applicationWillResignActive()
{
    if (m_netReachability)
        m_netReachability->setDelegate(nullptr);
    m_netReachability.reset();
    if (httpServer() && httpServer()->numberOfHTTPConnections() > 0) {
        // Clients still at work finish; no new one finds the server.
        httpServer()->stopPublishingNetServices();
        std::weak_ptr<VKAppDelegate> weak = sharedAs<VKAppDelegate>();
        m_connectionDidDie = core::NotificationCenter::defaultCenter().observe(HTTPConnection::DidDieNotification,
            nullptr, [weak](const core::Notification&) {
                if (auto self = weak.lock())
                    self->httpConnectionDidDie();
            });
    } else {
        if (httpServer())
            httpServer()->stopListeningAndDisconnectActiveConnections(false);
        WebDAVLockManager::sharedManager()->removeAllLocks();
    }
    if (lockUponWake(m_guestMode, m_passcodeLock->isUp()))
        showPasscodeControllerWithGuestAccess(false, false);
}

void VKAppDelegate::httpConnectionDidDie()
{
    if (!httpServer() || httpServer()->numberOfHTTPConnections() > 0)
        return;
    httpServer()->stopListeningAfterDelay(LastConnectionGrace);
    WebDAVLockManager::sharedManager()->removeAllLocks();
}

void VKAppDelegate::applicationDidEnterBackground()
{
    if (m_netReachability)
        m_netReachability->setDelegate(nullptr);
    m_netReachability.reset();
    if (httpServer() && httpServer()->isStarted())
        httpServer()->stopListeningAndDisconnectActiveConnections(false);
    storeApplicationState();
    auto application = VKApplication::sharedApplication();
    application->forceIdleTimerDisabled();
    application->vk_dismissActiveActionSheets();
    if (VKAppPasscodeLock::isLockOn())
        showPasscodeControllerWithGuestAccess(
            core::UserDefaults::standard()->boolForKey("VKLocalGuestAccess"), false);
}

void VKAppDelegate::applicationDidBecomeActive()
{
    // Before the launch pass ended there is nothing to come back to.
    if (m_isLaunching)
        return;
    m_connectionDidDie = {};
    m_diskQuota->recountIfNeeded();
    if (!m_netReachability) {
        m_netReachability = NetReachability::initWithDefaultRoute(true);
        if (m_netReachability)
            m_netReachability->setDelegate(
                std::static_pointer_cast<NetReachabilityDelegate>(sharedAs<VKAppDelegate>()));
    }
    if (!m_passcodeLock->isUp())
        vkPerformSelectorOnNextRunLoopRun(sharedAs<VKAppDelegate>(), [](VKAppDelegate& self) {
            self.continueApplicationDidActivate();
        });
}

void VKAppDelegate::continueApplicationDidActivate()
{
    // Guest mode changed while the application was away: the server moves
    // to the other root, and the stack starts again on it.
    auto application = VKApplication::sharedApplication();
    bool onPublic = httpServer()
        && core::path::standardizingPath(httpServer()->documentRoot().path())
            == core::path::standardizingPath(application->publicDirectory());
    std::optional<std::string> newRoot;
    if (m_guestMode && !onPublic)
        newRoot = application->publicDirectory();
    else if (!m_guestMode && httpServer() && onPublic)
        newRoot = application->documentsDirectory();
    bool portNoteDue = false;
    if (newRoot || !httpServer()) {
        if (newRoot)
            core::log("Updating to new document root: {}", core::path::abbreviatingWithTildeInPath(*newRoot));
        if (isAudioPlayerPlaying())
            if (auto player = mostRecentAudioPlayer())
                player->stop();
        if (httpServer())
            httpServer()->stopListeningAndDisconnectActiveConnections(true);
        setupHTTPServer();
        if (m_wholeApplication && newRoot) {
            installNavigationController();
            portNoteDue = shouldShowPortNumberMigrationUpdateNote();
            if (!m_guestMode && !portNoteDue)
                restoreApplicationState();
        }
    }
    if (httpServer()->numberOfHTTPConnections() == 0)
        WebDAVLockManager::sharedManager()->removeAllLocks();
    applyKeepAwakeSetting();
    bool started = false;
    // A recount keeps the server stopped; its end starts it.
    const bool recounting = m_diskQuota->isRecounting();
    if (core::UserDefaults::standard()->boolForKey("VKServerEnabled") && !httpServer()->isStarted() && !recounting)
        started = startHTTPServer(true);
    if (m_wholeApplication && newRoot) {
        if (portNoteDue)
            vkPerformSelectorOnNextRunLoopRun(sharedAs<VKAppDelegate>(),
                [](VKAppDelegate& self) { self.showPortNumberMigrationUpdateNote(false); });
        else if (started)
            vkPerformSelectorOnNextRunLoopRun(sharedAs<VKAppDelegate>(),
                [](VKAppDelegate& self) { self.showStartupAlertIfNecessary(); });
    }
    m_diskQuota->showPendingWarning();
}

void VKAppDelegate::applicationDidReceiveMemoryWarning()
{
    VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
}

void VKAppDelegate::applicationWillTerminate()
{
    auto keep = shared_from_this();
    if (m_wholeApplication) {
        storeApplicationState();
        VKAppServices::emptyTemporaryFolder();
        auto application = VKApplication::sharedApplication();
        application->forceIdleTimerDisabled();
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, false);
        VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
    } else if (auto store = VKCloudFileStore::sharedStore()) {
        store->saveContext();
    }
    m_observations.clear();
    m_connectionDidDie = {};
    VKAppServices::release();
    if (m_netReachability)
        m_netReachability->setDelegate(nullptr);
    if (httpServer())
        httpServer()->stopListeningAndDisconnectActiveConnections(true);
    VKServerLockHooks::setCurrent(nullptr);
    if (VKAppDelegateHooks::current().get() == this)
        VKAppDelegateHooks::setCurrent(nullptr);
}

void VKAppDelegate::diskQuotaRecountWillStart()
{
    if (httpServer())
        httpServer()->stopListeningAndDisconnectActiveConnections(true);
}

void VKAppDelegate::diskQuotaRecountDidEnd()
{
    if (httpServer() && !httpServer()->isStarted() && core::UserDefaults::standard()->boolForKey("VKServerEnabled")
        && !m_isLaunching && !m_passcodeLock->isUp())
        startHTTPServer(true);
}

void VKAppDelegate::storeApplicationState()
{
    m_stack.store();
    m_diskQuota->saveTree();
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    core::UserDefaults::standard()->synchronize();
}
