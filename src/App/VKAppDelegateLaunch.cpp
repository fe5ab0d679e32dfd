// The launch of the whole application: the settings of older versions, the
// first run, the window and its navigation stack, a file handed over by
// another application, the saved quota tree and stack, the server with its
// start-up alert, and what the delegate watches while the application runs.
// Files handed over while it runs are VKAppHandOvers'.

#include "App/VKAppDelegate.h"

#include "App/Analytics/VKBasicAnalytics.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "App/Viewers/VKViewController.h"
#include "Cloud/VKCloudService.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "App/VKAppDefaults.h"
#include "App/VKAppDiskQuota.h"
#include "App/VKAppImports.h"
#include "App/VKAppServices.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Kit/ObjectAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Screen.h"

#include <fmt/format.h>

namespace {

std::string launchDisplayName()
{
    return VKMainBundleDisplayName().value_or("Tandry");
}

} // namespace

bool VKAppDelegate::applicationDidFinishLaunchingWithOptions(const core::Value& options)
{
    m_wholeApplication = true;
    m_isLaunching = true;
    m_launchOptions = options;
    auto self = sharedAs<VKAppDelegate>();
    VKAppDelegateHooks::setCurrent(self);
    auto application = VKApplication::sharedApplication();
    application->setNetworkActivityDelegate(std::static_pointer_cast<VKNetworkActivityDelegate>(self));
    std::weak_ptr<VKAppDelegate> weak = self;
    application->setContentViewControllerSource([weak]() -> std::shared_ptr<ui::ViewController> {
        auto delegate = weak.lock();
        return delegate ? std::static_pointer_cast<ui::ViewController>(delegate->m_stack.contentViewController()) : nullptr;
    });
    auto defaults = core::UserDefaults::standard();
    if (defaults->boolForKey("VKIsFirstRun")) {
        core::log("Reseting VKKeychain...");
        VKKeychain::sharedKeychain()->removeAllPasswordsForService(VKLoginPasswordService);
        VKKeychain::sharedKeychain()->removeAllPasswordsForService(VKPasscodeLockService);
        defaults->set("VKDidShowPortNumberMigrationUpdateNote", core::Value(true));
    }
    VKAppDefaults::upgradeDefaults();
    VKAppServices::prepare();
    VKAppServices::openCloudMirror();
    if (m_netReachability)
        m_netReachability->setDelegate(std::static_pointer_cast<NetReachabilityDelegate>(self));
    applyKeepAwakeSetting();
    if (!m_window) {
        m_window = VKWindow::create(ui::Screen::main()->bounds());
        m_window->setBackgroundColor(gfx::Color::white(0.85f));
    }
    m_guestMode = false;
    if (VKAppPasscodeLock::isLockOn())
        showPasscodeControllerWithGuestAccess(defaults->boolForKey("VKLocalGuestAccess"), true);
    else
        continueApplicationDidFinishLaunching();
    return false;
}

void VKAppDelegate::installNavigationController()
{
    auto navigation = VKNavigationController::create(m_stack.createRootViewController());
    navigation->setToolbarHidden(false);
    m_stack.setNavigationController(navigation);
    if (!m_window)
        return;
    m_window->setRootViewController(navigation);
    // Rebuilt while the lock is up: the new stack waits below it.
    if (m_passcodeLock->isUp() && navigation->isViewLoaded())
        m_window->sendSubviewToBack(navigation->view().get());
}

void VKAppDelegate::continueWholeApplicationLaunch()
{
    auto keep = shared_from_this();
    auto application = VKApplication::sharedApplication();
    auto defaults = core::UserDefaults::standard();
    const bool firstRun = defaults->boolForKey("VKIsFirstRun");
    if (!core::fs::isDirectory(application->documentsDirectory())) {
        showAlertViewWithMessage(
            fmt::format(fmt::runtime(core::localized("Warning: Unable to create {} document store")), launchDisplayName()),
            core::localized("OK"));
        core::log("Document root not found: {}", application->documentsDirectory());
    }
    if (firstRun)
        VKAppImports::copyWelcomeDocument();
    std::optional<std::string> launchPath;
    if (!m_guestMode && m_launchOptions.isDictionary()) {
        const auto& handed = m_launchOptions[ui::Application::launchOptionsURLKey];
        if (handed.isString())
            if (auto url = core::URL::parse(handed.toString()); url && url->isFileURL())
                launchPath = importLaunchURL(url->path());
    }
    m_launchOptions = {};
    m_diskQuota->restoreSavedTree();
    m_diskQuota->recountIfNeeded();
    m_diskQuota->startWatching();
    VKAppServices::openFilesAndTransfers();
    if (auto settings = VKFileSettingsManager::defaultManager(); settings && settings->takeResetNotice())
        showAlertViewWithTitle(core::localized("Bookmarks Reset"),
            core::localized("The bookmarks and reading places of your documents could not be read and were reset."),
            core::localized("OK"));
    installNavigationController();
    setupHTTPServer();
    if (!m_guestMode)
        if (auto lost = m_server.lostPasswordMessage())
            showAlertViewWithTitle(core::localized("Server Password"), *lost, core::localized("OK"));
    const bool portNoteDue = shouldShowPortNumberMigrationUpdateNote();
    const bool lockWasUp = m_passcodeLock->isUp();
    if (launchPath && core::fs::exists(*launchPath))
        m_stack.pushViewControllersForPath(core::path::standardizingPath(*launchPath), false);
    else if (!m_guestMode && !portNoteDue)
        restoreApplicationState();
    // Files handed over or dropped while the lock was up show now.
    m_handOvers.openPending();
    if (lockWasUp)
        dismissPasscodeControllerAnimated(!portNoteDue);
    if (m_window)
        m_window->makeKeyAndVisible();
    observeDuringRun();
    VKAppServices::pruneCaches();
    auto quota = VKQuotaManager::defaultManager();
    const bool recounting = quota && quota->rebuildingIndex();
    if (defaults->boolForKey("VKServerEnabled") && (firstRun || !recounting)) {
        if (startHTTPServer(true) && !portNoteDue)
            vkPerformSelectorOnNextRunLoopRun(sharedAs<VKAppDelegate>(),
                [](VKAppDelegate& self) { self.showStartupAlertIfNecessary(); });
    } else {
        core::NotificationCenter::defaultCenter().post(HTTPServer::StatusDidChangeNotification, httpServer());
    }
    if (portNoteDue)
        vkPerformSelectorOnNextRunLoopRun(sharedAs<VKAppDelegate>(),
            [lockWasUp](VKAppDelegate& self) { self.showPortNumberMigrationUpdateNote(!lockWasUp); });
    defaults->set("VKIsFirstRun", core::Value(false));
    if (m_netReachability && m_netReachability->isReachable())
        core::RunLoop::main().performAfter(0, [] { VKBasicAnalytics::sendBasicAnalytics(); });
    else
        core::log("Warning: not sending analytics (network unreachable)");
    m_diskQuota->showPendingWarning();
    m_isLaunching = false;
}

void VKAppDelegate::observeDuringRun()
{
    m_observations.clear();
    std::weak_ptr<VKAppDelegate> weak = sharedAs<VKAppDelegate>();
    auto& center = core::NotificationCenter::defaultCenter();
    m_observations.push_back(center.observe(VKCloudServiceDidUnlinkNotification, nullptr, [weak](const core::Notification&) {
        if (auto self = weak.lock())
            self->popCloudServiceControllersIfNecessary();
    }));
    m_observations.push_back(core::UserDefaults::standard()->observe("VKHideCloudServers", [weak](const core::Value& value) {
        if (!value.isBool() || !value.toBool())
            return;
        core::RunLoop::main().performAfter(weak, 0, [](VKAppDelegate& self) {
            self.popCloudServiceControllersIfNecessary();
        });
    }));
    m_observations.push_back(VKAppServices::observeDeletions());
    m_observations.push_back(m_diskQuota->observeInsufficientStorage());
}

std::optional<std::string> VKAppDelegate::importLaunchURL(const std::string& path)
{
    auto imported = VKAppImports::importLaunchURL(path);
    if (!imported)
        m_diskQuota->showWarning();
    return imported;
}
