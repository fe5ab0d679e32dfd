#pragma once

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/Settings/VKSettingsControllerDelegate.h"
#include "App/VKAppDiskQuotaHost.h"
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
class VKRootPasscodeController;
class VKViewController;
class VKWindow;

namespace ui {
class ViewController;
}

// The application delegate: the hub of the process. It registers the
// settings, sets up the HTTP server (its document root, virtual roots, port,
// name and announcement types), starts and stops it, and wires the services
// that lower layers leave open (the trash location, the dates' locale, the
// server's answers to the file model's lock questions). It keeps one watcher
// on the default route, which gives the server its address on the local
// network as it changes. It answers the shell's questions
// (VKAppDelegateHooks) from its own state once launched, and puts up and
// takes down the passcode lock, through which a guest may enter
// (VKAppDelegatePasscode.cpp).
class VKFolderController;

class VKAppDelegate : public core::Object,
                      public NetReachabilityDelegate,
                      public VKAppDelegateHooks,
                      public VKFolderBrowserServices,
                      public VKSettingsControllerDelegate,
                      public VKNetworkActivityDelegate,
                      public VKAppDiskQuotaHost,
                      public ui::AlertViewDelegate,
                      public ui::ApplicationDelegate {
public:
    // The delegate's own alerts, by their tags (TagAdditions.h).
    enum class Alert : int { Startup = 3001, ServerInfo = 3002 };

    // Screens reach the delegate only through the narrow interfaces it
    // answers, which it hands to the screens it makes.
    static std::shared_ptr<VKAppDelegate> create();
    ~VKAppDelegate() override;

    // The launch: services, the cloud services and their mirror, then the
    // launch pass. False when the server could not start on any port.
    bool applicationDidFinishLaunching();
    // The launch pass, as far as the program runs it today: the server set
    // up (on the public folder for a guest), the passcode lock taken down
    // when it is up, and with "VKServerEnabled" the server started (its
    // address printed on stdout). Also run by the lock once the passcode or
    // the guest button let the user in at launch.
    bool continueApplicationDidFinishLaunching();
    // The server's part of coming back: rebuilt on the other root when
    // guest mode changed, stale WebDAV locks dropped when no client is
    // connected, the keep-awake setting applied, and started when
    // "VKServerEnabled" asks for it.
    void continueApplicationDidActivate();
    // The end of a run: the stack and the quota tree saved, the temporary
    // folder emptied, the cloud mirror saved and the server stopped with
    // its connections.
    void applicationWillTerminate();

    // The whole application (VKAppDelegateLaunch.cpp): the settings of
    // older versions moved, the first run's reset, the cloud mirror, the
    // window, then the lock (with a stored passcode) or the launch pass at
    // once. `options` may hold a handed-over file under
    // ui::Application::launchOptionsURLKey. Always false: the launch pass
    // opens the handed-over file itself.
    bool applicationDidFinishLaunchingWithOptions(const core::Value& options);
    // A file handed over through the inbox, imported (VKAppImports); the
    // quota warning when it was refused for its size.
    std::optional<std::string> importLaunchURL(const std::string& path);
    // A file handed over while running: imported, counted and opened.
    bool handleOpenURL(const core::URL& url);
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

    // The life cycle (VKAppDelegateLifecycle.cpp).
    void applicationWillResignActive();
    void applicationDidEnterBackground();
    void applicationDidBecomeActive();
    void applicationDidReceiveMemoryWarning();
    // A connection ended while the application was inactive: with none
    // left the server stops a second later and the locks go.
    void httpConnectionDidDie();

    // The stack (VKAppBrowserStack), the quota tree and the cloud mirror
    // kept for the next run; the kept stack given back.
    void storeApplicationState();
    void restoreApplicationState() { m_stack.restore(); }

    // The server's alerts (VKAppDelegateServer.cpp).
    bool shouldShowPortNumberMigrationUpdateNote() const;
    void showPortNumberMigrationUpdateNote(bool animated);
    void showServerPortChangedAlert();
    void showStartupAlertIfNecessary();
    // The text of the server information alert, as shown in portrait or
    // landscape.
    std::string serverInfoMessage(bool portrait) const;
    void clickedButton(ui::AlertView& alert, int index) override;

    // The disk quota's part: the kept tree, the recount and the warning,
    // which waits behind the lock and the launch pass.
    VKAppDiskQuota& diskQuota() const { return *m_diskQuota; }

    // The server (VKAppServer) set up anew on the home, or the public
    // folder for a guest.
    void setupHTTPServer();
    // Starts or stops the server (VKAppServer::start); its first start in
    // the whole application prints its address, a start on another port
    // than the configured one tells the user.
    bool startHTTPServer(bool start);
    VKAppServer& server() { return m_server; }

    const std::shared_ptr<HTTPServer>& httpServer() const override { return m_server.httpServer(); }
    const std::shared_ptr<NetReachability>& netReachability() const override { return m_netReachability; }

    // The server takes the Wi-Fi address as its host name.
    void reachabilityDidUpdate(NetReachability& reachability, bool reachable, bool usingCell) override;
    bool isLaunching() const { return m_isLaunching; }

    // The application's window and the browser's navigation stack (set by
    // the launch and by tests).
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

    // The browser's stack (VKAppBrowserStack); the folder screens it makes
    // get the delegate as their services.
    VKAppBrowserStack& stack() { return m_stack; }
    std::vector<std::shared_ptr<VKFolderController>> folderControllers() const { return m_stack.folderControllers(); }
    std::shared_ptr<ui::ViewController> createRootViewController() { return m_stack.createRootViewController(); }
    std::shared_ptr<VKViewController> contentViewController() const { return m_stack.contentViewController(); }
    void pushViewControllersForPath(const std::string& path, bool animated)
    {
        m_stack.pushViewControllersForPath(path, animated);
    }
    void popCloudServiceControllersIfNecessary() { m_stack.popCloudServiceControllersIfNecessary(); }

    // The passcode lock (VKAppPasscodeLock) over the window and the
    // browser's stack. The right passcode lets the user in out of guest
    // mode, the guest button into it (the public folder only, here and on
    // the server).
    static std::optional<std::string> keychainPasscode() { return VKAppPasscodeLock::keychainPasscode(); }
    void showPasscodeControllerWithGuestAccess(bool guestAccess, bool animated);
    void dismissPasscodeControllerAnimated(bool animated);
    void guestButtonClicked() { m_passcodeLock->guestButtonClicked(); }
    VKAppPasscodeLock& passcodeLock() const { return *m_passcodeLock; }
    const std::shared_ptr<VKRootPasscodeController>& sharedRootPasscodeController() const
    {
        return m_passcodeLock->controller();
    }

    // The help over the browser (VKAppScreens): the topics, or one page.
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

    // The settings over the browser (VKAppScreens), with the page of
    // `group` (4 remote access, 8 passcode) open when it is not 0.
    void showSettings(const std::shared_ptr<core::Object>& sender, int group = 0);
    // Dismisses the settings, then makes the server follow
    // "VKServerEnabled" (no start while the quota index is rebuilt) and
    // applies the keep-awake setting.
    void settingsControllerDidEnd(VKSettingsController& controller) override;
    // Counts the disk use of the public and private documents afresh in
    // the background, with the indicator, and forgets the thumbnails and
    // content indexes.
    void rebuildDiskQuota() override;
    // The idle timer stays off while "VKInsomniaEnabled" is set or a client
    // is connected.
    void applyKeepAwakeSetting();

    // The colour of the browser's bars: the bundle's "VKBarTintColor"
    // ("#RRGGBB"), read at the first call; none (the bars' own) when it is
    // missing or not a colour.
    std::optional<gfx::Color> barTintColor() const;
    // Tells the user about the server (the toolbar's server button): its
    // address, protection and the disk use, with a button that starts or
    // stops it.
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
    void browserShowFolder(const std::string& path, bool animated) override { pushViewControllersForPath(path, animated); }
    std::optional<gfx::Color> browserBarTint() const override { return barTintColor(); }
    bool browserIsGuest() const override { return isGuestMode(); }
    void browserShowServerInfo(const std::shared_ptr<core::Object>& sender) override { showServerInfo(sender); }
    void browserShowSettings(const std::shared_ptr<core::Object>& sender) override { showSettings(sender); }
    void browserShowHelp(const std::shared_ptr<core::Object>& sender) override { showHelp(sender); }

    // What a right passcode and the guest button share: guest mode set,
    // then the launch pass when the lock came up at launch, else the
    // return to the application.
    void passcodeLetIn(bool guest);
    // The launch pass of the whole application.
    void continueWholeApplicationLaunch();
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
    std::shared_ptr<VKAppDiskQuota> m_diskQuota;
    std::vector<core::Observation> m_observations;
    core::Observation m_connectionDidDie;
};
