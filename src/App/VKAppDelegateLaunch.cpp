// The launch of the whole application: the settings of older versions, the
// first run, the window and its navigation stack, a file handed over by
// another application, the saved quota tree and stack, the server with its
// start-up alert, and what the delegate watches while the application runs.

#include "App/VKAppDelegate.h"

#include "App/Analytics/VKBasicAnalytics.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "App/Viewers/VKViewController.h"
#include "App/VKAppDownloadManagerHooks.h"
#include "App/VKAppTransferQuestions.h"
#include "App/VKAppServiceHooks.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "FileModel/VKQuotaManager.h"
#include "App/VKAppDiskQuota.h"
#include "FileModel/VKThumbnailManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/NetReachability.h"
#include "Kit/ObjectAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Screen.h"
#include "WebDAV/WebDAVDeleteResponse.h"
#include "WebDAV/WebDAVResponse.h"

#include <fmt/format.h>

namespace {

// Files older than this (seconds after 1970) carry no real date: the
// handing application lost it.
constexpr int64_t UndatedLimit = 86400;

// Handed-over files named "QL-" and eight characters carry a generated name.
bool isGeneratedName(const std::string& name)
{
    return name.starts_with("QL-") && core::path::deletingPathExtension(name).size() == 11;
}

std::string launchDisplayName()
{
    return VKMainBundleDisplayName().value_or("Tandry");
}

} // namespace

void VKAppDelegate::upgradeDefaults()
{
    auto defaults = core::UserDefaults::standard();
    const auto password = defaults->object("VKLoginPassword");
    if (!password.isNull()) {
        core::log("Upgrading VKLoginPasswordDepracatedKey: {}", password.isString() ? "(set)" : "(not text)");
        if (password.isString())
            VKKeychain::sharedKeychain()->setPassword(password.toString(), VKLoginPasswordService, VKLoginPasswordService);
        defaults->remove("VKLoginPassword");
    }
    const auto guest = defaults->object("VKGuestAccessEnabled");
    if (!guest.isNull()) {
        core::log("Upgrading VKGuestAccessEnabledDepracatedKey: {}", guest.description());
        defaults->set("VKRemoteGuestAccess", guest);
        defaults->remove("VKGuestAccessEnabled");
    }
}

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
        return delegate ? std::static_pointer_cast<ui::ViewController>(delegate->contentViewController()) : nullptr;
    });
    auto defaults = core::UserDefaults::standard();
    if (defaults->boolForKey("VKIsFirstRun")) {
        core::log("Reseting VKKeychain...");
        VKKeychain::sharedKeychain()->removeAllPasswordsForService(VKLoginPasswordService);
        VKKeychain::sharedKeychain()->removeAllPasswordsForService(VKPasscodeLockService);
        defaults->set("VKDidShowPortNumberMigrationUpdateNote", core::Value(true));
    }
    upgradeDefaults();
    prepareServices();
    prepareCloudMirror();
    if (m_netReachability)
        m_netReachability->setDelegate(std::static_pointer_cast<NetReachabilityDelegate>(self));
    applyKeepAwakeSetting();
    if (!m_window) {
        m_window = VKWindow::create(ui::Screen::main()->bounds());
        m_window->setBackgroundColor(gfx::Color::white(0.85f));
    }
    m_guestMode = false;
    if (keychainPasscode())
        showPasscodeControllerWithGuestAccess(defaults->boolForKey("VKLocalGuestAccess"), true);
    else
        continueApplicationDidFinishLaunching();
    return false;
}

void VKAppDelegate::installNavigationController()
{
    auto navigation = VKNavigationController::create(createRootViewController());
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
        copyWelcomeDocument();
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
    VKFileSettingsManager::defaultManager();
    initializeTrash();
    if (!VKTransferQuestions::current())
        VKTransferQuestions::setCurrent(std::make_shared<VKAppTransferQuestions>());
    if (!VKAppDownloadHooks::current())
        VKAppDownloadHooks::setCurrent(std::make_shared<VKAppDownloadManagerHooks>());
    VKAppDownloadHooks::current()->initializeDownloads();
    installNavigationController();
    setupHTTPServer();
    const bool portNoteDue = shouldShowPortNumberMigrationUpdateNote();
    const bool lockWasUp = m_passcodeLock->isUp();
    if (launchPath && core::fs::exists(*launchPath))
        pushViewControllersForPath(core::path::standardizingPath(*launchPath), false);
    else if (!m_guestMode && !portNoteDue)
        restoreApplicationState();
    if (lockWasUp)
        dismissPasscodeControllerAnimated(!portNoteDue);
    if (m_window)
        m_window->makeKeyAndVisible();
    observeDuringRun();
    if (auto thumbnails = VKThumbnailManager::sharedManager())
        thumbnails->pruneCaches();
    if (auto indexes = VKContentIndexManager::sharedManager())
        indexes->pruneContextIndexesInBackground();
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
        core::RunLoop::main().performAfter(0, [weak] {
            if (auto self = weak.lock())
                self->popCloudServiceControllersIfNecessary();
        });
    }));
    m_observations.push_back(center.observe(WebDAVWillDeleteResourceNotification, nullptr,
        [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->webDAVWillDeleteResource(notification);
        }));
    m_observations.push_back(center.observe(WebDAVInsufficientStorageNotification, nullptr,
        [weak](const core::Notification&) {
            if (auto self = weak.lock())
                self->m_diskQuota->showWarning();
        }));
}

void VKAppDelegate::webDAVWillDeleteResource(const core::Notification& notification)
{
    const auto& info = notification.userInfo();
    if (!info.isDictionary() || !info["Path"].isString())
        return;
    const auto path = info["Path"].toString();
    if (auto resource = VKFileResource::resourceWithPath(path)) {
        if (auto thumbnails = VKThumbnailManager::sharedManager())
            thumbnails->removeCacheForResource(*resource);
        if (auto indexes = VKContentIndexManager::sharedManager())
            indexes->removeCacheForResource(*resource);
    }
    if (auto settings = VKFileSettingsManager::defaultManager())
        settings->removeBookmarksAndSettingsForItemAtPath(path);
}

void VKAppDelegate::copyWelcomeDocument()
{
    const auto source = core::Bundle::main()->pathForResource("Welcome", "docx");
    if (source.empty())
        return;
    const auto destination = core::path::appendingPathComponent(
        VKApplication::sharedApplication()->documentsDirectory(), core::localized("Welcome") + ".docx");
    if (!core::fs::copyItem(source, destination))
        core::log("Failed to copy: {}", source);
}

std::optional<std::string> VKAppDelegate::importLaunchURL(const std::string& path)
{
    core::log("importLaunchURL: {}", path);
    auto application = VKApplication::sharedApplication();
    const auto inbox = application->inboxDirectory();
    if (!core::path::isWithin(core::path::deletingLastPathComponent(path), inbox)) {
        core::log("Warning, launchURL not in ~/Documents/Inbox");
        return path;
    }
    // The free space: the last run's count, else the quota manager's. With
    // neither there is nothing to check against.
    std::optional<uint64_t> available;
    const auto stored = core::UserDefaults::standard()->object("VKQuotaAvailableBytes");
    if (stored.isInteger() && stored.toInteger() >= 0)
        available = uint64_t(stored.toInteger());
    else if (auto quota = VKQuotaManager::defaultManager())
        available = quota->quotaAvailableBytes();
    const auto attributes = core::fs::attributes(path);
    std::optional<std::string> result;
    if (available && attributes && attributes->size >= *available) {
        core::fs::removeItem(path);
        m_diskQuota->showWarning();
    } else {
        const auto imports = core::path::appendingPathComponent(application->documentsDirectory(), "Imports");
        bool isDirectory = false;
        const bool exists = core::fs::exists(imports, &isDirectory);
        if (exists && !isDirectory) {
            core::log("Warning, ~/Documents/Imports is a regular file");
            return path;
        }
        if (!exists)
            core::fs::createDirectory(imports, true);
        auto name = core::path::lastPathComponent(path);
        if (isGeneratedName(name)) {
            const auto extension = core::path::pathExtension(name);
            name = fmt::format(fmt::runtime(core::localized("Import {}")),
                core::DateFormatter("d-MMM-yyyy HHmmss").format(core::Date::now()));
            if (!extension.empty())
                name += "." + extension;
        }
        core::log("Moving launchURL '{}' to '~/Documents/Imports'", name);
        const auto destination = uniquePathForItemAtPath(core::path::appendingPathComponent(imports, name));
        if (core::fs::moveItem(path, destination)) {
            auto moved = core::fs::attributes(destination);
            if (moved && moved->type == core::fs::FileType::Regular
                && moved->modificationTime < UndatedLimit * 1'000'000'000LL)
                core::fs::setModificationTime(destination, int64_t(core::Date::now().timeIntervalSince1970() * 1e9));
        } else {
            core::log("Warning, moveItemAtPath failed");
        }
        result = destination;
    }
    if (auto left = core::fs::contentsOfDirectory(inbox); left && left->empty())
        if (!core::fs::removeItem(inbox))
            core::log("Warning, failed to remove '~/Documents/Inbox'");
    return result;
}

bool VKAppDelegate::handleOpenURL(const core::URL& url)
{
    if (m_guestMode || !url.isFileURL())
        return false;
    const auto imported = importLaunchURL(url.path());
    if (!imported)
        return true;
    const auto path = core::path::standardizingPath(*imported);
    if (!core::fs::exists(path))
        return true;
    if (auto quota = VKQuotaManager::defaultManager())
        quota->updateQuotaForPath(path);
    pushViewControllersForPath(path, false);
    core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification, nullptr,
        core::Value(core::Value::Dictionary { { "Path", core::Value(core::path::deletingLastPathComponent(path)) } }));
    return true;
}
