#pragma once

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/Settings/VKSettingsControllerDelegate.h"
#include "App/VKAppDiskQuotaHost.h"
#include "App/VKAppHandOvers.h"
#include "App/VKAppBrowserStack.h"
#include "App/VKAppPasscodeLock.h"
#include "App/VKAppServer.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "Kit/NetReachabilityDelegate.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Color.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/ApplicationDelegate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HTTPServer;
class NetReachability;
class VKNavigationController;
class VKAppDiskQuota;
class VKWindow;

class VKFolderController;

// The application delegate: the start-up and the life cycle of the process.
// It owns the server (VKAppServer), the browser's stack (VKAppBrowserStack),
// the passcode lock (VKAppPasscodeLock) and the disk quota's part
// (VKAppDiskQuota) and the files handed over or dropped (VKAppHandOvers),
// keeps the window, guest mode and one watcher on the
// default route (which gives the server its address), and answers the
// shell (VKAppDelegateHooks) and the screens through the narrow interfaces
// it hands them. The program owns it; it has no singleton.
class VKAppDelegate : public core::Object,
                      public NetReachabilityDelegate,
                      public VKAppDelegateHooks,
                      public VKFolderBrowserServices,
                      public VKSettingsControllerDelegate,
                      public VKNetworkActivityDelegate,
                      public VKAppDiskQuotaHost,
                      public VKAppHandOversHost,
                      public ui::AlertViewDelegate,
                      public ui::ApplicationDelegate {
public:
    // The delegate's own alerts, by their tags (TagAdditions.h).
    enum class Alert : int { Startup = 3001, ServerInfo = 3002 };

    static std::shared_ptr<VKAppDelegate> create();
    ~VKAppDelegate() override;

    // The launch: services, the cloud services and their mirror, then the
    // launch pass. False when the server could not start on any port.
    bool applicationDidFinishLaunching();
    // The launch pass (the server set up and, with "VKServerEnabled",
    // started); also run when the lock lets the user in at launch.
    bool continueApplicationDidFinishLaunching();
    // Coming back: the server rebuilt on the other root when guest mode
    // changed, stale locks dropped, and started when it should run.
    void continueApplicationDidActivate();
    // The end: the state saved, the temporary folder emptied, the server
    // stopped and the services let go.
    void applicationWillTerminate();

    // The whole application: the window, then the lock (with a stored
    // passcode) or the launch pass, which opens a file handed over under
    // ui::Application::launchOptionsURLKey. Always false.
    bool applicationDidFinishLaunchingWithOptions(const core::Value& options);
    // A file handed over through the inbox, imported (VKAppImports); the
    // quota warning when it was refused for its size.
    std::optional<std::string> importLaunchURL(const std::string& path);
    // A file handed over while running, and files dropped on the window
    // (VKAppHandOvers).
    bool handleOpenURL(const core::URL& url) { return url.isFileURL() && m_handOvers.handOver(url.path()); }
    void openDroppedFiles(std::vector<std::string> paths, size_t notFiles = 0)
    {
        m_handOvers.drop(std::move(paths), notFiles);
    }
    bool isNetworkActiveForApplication(VKApplication& application) override;

    // The toolkit's application delegate: the whole application.
    bool didFinishLaunching(ui::Application&, const core::Value& options) override
    {
        return applicationDidFinishLaunchingWithOptions(options);
    }
    bool handleOpenURL(ui::Application&, const core::URL& url) override { return handleOpenURL(url); }
    void didBecomeActive(ui::Application&) override { applicationDidBecomeActive(); }
    void willResignActive(ui::Application&) override { applicationWillResignActive(); }
    void didEnterBackground(ui::Application&) override { applicationDidEnterBackground(); }
    void willTerminate(ui::Application&) override { applicationWillTerminate(); }
    void didReceiveMemoryWarning(ui::Application&) override { applicationDidReceiveMemoryWarning(); }

    void applicationWillResignActive();
    void applicationDidEnterBackground();
    void applicationDidBecomeActive();
    void applicationDidReceiveMemoryWarning();
    // With no client left while inactive, the server stops a second later.
    void httpConnectionDidDie();

    // The stack (VKAppBrowserStack), the quota tree and the cloud mirror
    // kept for the next run; the kept stack given back.
    void storeApplicationState();
    void restoreApplicationState() { m_stack.restore(); }

    // The server's alerts and notes (VKAppDelegateServer.cpp).
    bool shouldShowPortNumberMigrationUpdateNote() const;
    void showPortNumberMigrationUpdateNote(bool animated);
    void showServerPortChangedAlert();
    void showStartupAlertIfNecessary();
    std::string serverInfoMessage(bool portrait) const;
    void clickedButton(ui::AlertView& alert, int index) override;

    VKAppDiskQuota& diskQuota() const { return *m_diskQuota; }

    // The server set up anew (for a guest on the public folder), started
    // or stopped; the first start prints the address, a moved port is told.
    void setupHTTPServer();
    bool startHTTPServer(bool start);
    VKAppServer& server() { return m_server; }

    const std::shared_ptr<HTTPServer>& httpServer() const override { return m_server.httpServer(); }
    const std::shared_ptr<NetReachability>& netReachability() const override { return m_netReachability; }

    void reachabilityDidUpdate(NetReachability& reachability, bool reachable, bool usingCell) override;
    bool isLaunching() const { return m_isLaunching; }

    // The window and the browser's navigation controller (set by the
    // launch and by tests).
    const std::shared_ptr<VKWindow>& window() const { return m_window; }
    void setWindow(std::shared_ptr<VKWindow> window) { m_window = std::move(window); }
    const std::shared_ptr<VKNavigationController>& navigationController() const
    {
        return m_stack.navigationController();
    }
    void setNavigationController(std::shared_ptr<VKNavigationController> controller)
    {
        m_stack.setNavigationController(std::move(controller));
    }
    void setOrientationLocked(bool locked) override { m_orientationLocked = locked; }

    // The browser's stack; the folder screens it makes get the delegate as
    // their services.
    VKAppBrowserStack& stack() { return m_stack; }
    std::vector<std::shared_ptr<VKFolderController>> folderControllers() const { return m_stack.folderControllers(); }
    void popCloudServiceControllersIfNecessary() { m_stack.popCloudServiceControllersIfNecessary(); }

    // The passcode lock over the window: the right passcode lets the user
    // in out of guest mode, the guest button into it.
    void showPasscodeControllerWithGuestAccess(bool guestAccess, bool animated);
    void dismissPasscodeControllerAnimated(bool animated);
    void guestButtonClicked() { m_passcodeLock->guestButtonClicked(); }
    VKAppPasscodeLock& passcodeLock() const { return *m_passcodeLock; }

    // The help and the settings over the browser (VKAppScreens); the
    // settings with the page of `group` (4 remote access, 8 passcode) open.
    void showHelp(const std::shared_ptr<core::Object>& sender);
    void showHelpViewControllerWithName(std::string_view name, std::string_view title, bool animated);

    // The shell's questions. The audio ones ask the player screen that last
    // made a player (held weakly: a screen that went answers nothing).
    bool isOrientationLocked() const override { return m_orientationLocked; }
    bool isRootPasscodeControllerActive() const override { return m_passcodeLock->isUp(); }
    ui::ViewController* rootPasscodeController() const override;
    bool isGuestMode() const override { return m_guestMode; }
    void setGuestModeForTesting(bool guest) { m_guestMode = guest; }
    bool guestActionsEnabled() const override;
    bool isAudioPlayerPlaying() const override;
    std::shared_ptr<VKAudioPlayerRemoteControl> mostRecentAudioPlayer() const override;
    static void setMostRecentAudioPlayer(std::weak_ptr<VKAudioPlayerRemoteControl> player);

    void showSettings(const std::shared_ptr<core::Object>& sender, int group = 0);
    // The settings dismissed, the server follows "VKServerEnabled" (no
    // start during a recount) and the keep-awake setting applies.
    void settingsControllerDidEnd(VKSettingsController& controller) override;
    void rebuildDiskQuota() override;
    // The idle timer stays off while "VKInsomniaEnabled" is set or a client
    // is connected.
    void applyKeepAwakeSetting();

    // The bundle's "VKBarTintColor" ("#RRGGBB"), read once; none when it is
    // missing or not a colour.
    std::optional<gfx::Color> barTintColor() const;
    // The server information alert, with a button that starts or stops it.
    void showServerInfo(const std::shared_ptr<core::Object>& sender);

private:
    VKAppDelegate();

    // What the folder screens ask, through VKFolderBrowserServices.
    ui::NavigationController* browserNavigation() const override;
    std::vector<std::shared_ptr<VKFolderController>> browserFolderScreens() const override { return folderControllers(); }
    void browserSetFolderScreens(std::vector<std::shared_ptr<VKFolderController>> screens) override
    {
        m_stack.setFolderControllers(std::move(screens));
    }
    void browserShowFolder(const std::string& path, bool animated) override
    {
        m_stack.pushViewControllersForPath(path, animated);
    }
    std::optional<gfx::Color> browserBarTint() const override { return barTintColor(); }
    bool browserIsGuest() const override { return isGuestMode(); }
    void browserShowServerInfo(const std::shared_ptr<core::Object>& sender) override { showServerInfo(sender); }
    void browserShowSettings(const std::shared_ptr<core::Object>& sender) override { showSettings(sender); }
    void browserShowHelp(const std::shared_ptr<core::Object>& sender) override { showHelp(sender); }

    // Guest mode set, then the launch pass when the lock came up at launch,
    // else the return to the application.
    void passcodeLetIn(bool guest);
    // The launch pass of the whole application.
    void continueWholeApplicationLaunch();
    // What the hand-overs ask.
    bool handOversMustWait() const override { return m_isLaunching || m_passcodeLock->isUp(); }
    bool handOversLocked() const override { return m_passcodeLock->isUp(); }
    bool handOversGuest() const override { return m_guestMode; }
    std::optional<std::string> handOverImport(const std::string& path) override { return importLaunchURL(path); }
    void handOverShow(const std::string& path) override { m_stack.pushViewControllersForPath(path, false); }
    void observeDuringRun();
    void installNavigationController();
    // What the disk quota's part asks.
    void diskQuotaRecountWillStart() override;
    void diskQuotaRecountDidEnd() override;
    std::shared_ptr<VKWindow> diskQuotaIndicatorWindow() const override { return m_window; }
    bool diskQuotaWarningMayShow() const override { return !m_passcodeLock->isUp() && !m_isLaunching; }
    bool diskQuotaHelpMayShow() const override;
    void diskQuotaShowHelp() override;

    VKAppServer m_server;
    std::shared_ptr<NetReachability> m_netReachability;
    bool m_isLaunching = true;
    std::shared_ptr<VKWindow> m_window;
    VKAppBrowserStack m_stack;
    bool m_orientationLocked = false;
    std::shared_ptr<VKAppPasscodeLock> m_passcodeLock;
    bool m_guestMode = false;
    mutable std::optional<std::optional<gfx::Color>> m_barTintColor;
    bool m_wholeApplication = false;
    bool m_printedURL = false;
    core::Value m_launchOptions;
    VKAppHandOvers m_handOvers { *this };
    std::shared_ptr<VKAppDiskQuota> m_diskQuota;
    std::vector<core::Observation> m_observations;
    core::Observation m_connectionDidDie;
};
