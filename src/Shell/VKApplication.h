#pragma once

#include "Kit/VKHomeLayout.h"
#include "Platform/UI/Application.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class VKApplication;

namespace ui {
class ViewController;
}

// Asked before the network-activity indicator goes out: the application
// delegate keeps it on while the server, a download or an upload is busy.
class VKNetworkActivityDelegate {
public:
    virtual ~VKNetworkActivityDelegate() = default;
    virtual bool isNetworkActiveForApplication(VKApplication& application) = 0;
};

// The tag a sheet or an alert gets when the system, not the user, dismissed
// it, so that its delegate can tell the two apart. Every sheet and alert
// delegate of the system checks it.
inline constexpr int VKActionSheetTagSystemCancelled = 2147483647;
inline constexpr int VKAlertViewTagSystemCancelled = 2147483647;

// Posted on the main thread (object: the application) when another sound
// (a call, an alarm) takes over the media audio session, and when it ends.
inline constexpr const char* VKApplicationAudioInterruptionDidBeginNotification =
    "VKApplicationAudioInterruptionDidBeginNotification";
inline constexpr const char* VKApplicationAudioInterruptionDidEndNotification =
    "VKApplicationAudioInterruptionDidEndNotification";

// The application object, the toolkit's application: the home's layout as
// the screens ask it (answered from the VKHomeLayout it was made with), and
// the process-wide policies: keep-awake, the activity indicator, links
// opened inside the application, the media audio session, and the system's
// dismissal of open sheets and alerts.
//
// The directory paths are fixed when the object is made and only read
// afterwards, so they may be asked from any thread; the policies belong to
// the main thread.
class VKApplication : public ui::Application {
public:
    // The toolkit's shared application when it is a VKApplication (the
    // program's, a screen test's); else one made on first use over the
    // current layout.
    static std::shared_ptr<VKApplication> sharedApplication();
    // Replaces the one made on first use; null makes a new one at the next
    // sharedApplication(). The program makes its application the toolkit's
    // instead (ui::Application::setShared).
    static void setSharedApplicationForTesting(std::shared_ptr<VKApplication> application);
    // Over the current home layout (VKHomeLayout::current()).
    static std::shared_ptr<VKApplication> create();

    // The first "AppleLanguages" entry, read once for the process.
    static std::string currentLanguage();

    const VKHomeLayout& homeLayout() const { return *m_layout; }
    const std::string& documentsDirectory() const { return m_layout->documentsDirectory(); }
    const std::string& publicDirectory() const { return m_layout->publicDirectory(); }
    const std::string& metadataDirectory() const { return m_layout->metadataDirectory(); }
    const std::string& serversDirectory() const { return m_layout->serversDirectory(); }
    const std::string& homeDirectory() const { return m_layout->homeDirectory(); }
    std::string inboxDirectory() const { return m_layout->inboxDirectory(); }
    std::string downloadsDirectory() const { return m_layout->downloadsDirectory(); }
    std::string metadataSubdirectory(std::string_view name) const { return m_layout->metadataSubdirectory(name); }
    std::string serversSubdirectory(std::string_view name) const { return m_layout->serversSubdirectory(name); }
    std::optional<std::string> rootDirectoryForPath(std::string_view path) const
    {
        return m_layout->rootDirectoryForPath(path);
    }
    std::string localizedPrefixForPath(std::string_view path) const { return m_layout->localizedPrefixForPath(path); }

    // Keep-awake: with "VKInsomniaEnabled" set, turning the idle timer back on
    // is refused; forceIdleTimerDisabled() always turns it on (background, end).
    void setIdleTimerDisabled(bool disabled) override;
    void forceIdleTimerDisabled();

    // Hiding the indicator asks the delegate first: it stays while the
    // delegate says the network is busy.
    void setNetworkActivityIndicatorVisible(bool visible) override;
    void setNetworkActivityDelegate(std::weak_ptr<VKNetworkActivityDelegate> delegate);
    std::shared_ptr<VKNetworkActivityDelegate> networkActivityDelegate() const;

    // The screen the user reads now (the application delegate answers its
    // top viewer). A VKOpenURLTarget there gets the URLs opened below.
    using ContentViewControllerSource = std::function<std::shared_ptr<ui::ViewController>()>;
    void setContentViewControllerSource(ContentViewControllerSource source);
    // To the current content screen when it opens links itself (true),
    // else to the system (its answer).
    bool openURL(const core::URL& url) override;
    // Always to the system.
    bool openURLNoChecks(const core::URL& url);

    // Once per process: the audio session with the interruption listener,
    // the media-playback category, active. Later calls change nothing.
    void initializeMediaPlaybackAudioSession();

    // Every action sheet in any window, anywhere in its tree, gets the tag
    // VKActionSheetTagSystemCancelled and is dismissed with its cancel index,
    // unanimated; all are found before the first goes.
    void vk_dismissActiveActionSheets();
    // Every alert sitting directly in a window (toolkit alerts and
    // VKSystemDismissibleAlert views) is logged ("Dismissing: …"), tagged
    // VKAlertViewTagSystemCancelled and dismissed with its cancel index,
    // unanimated.
    void vk_dismissActiveAlertView();

    std::string description() const override;

private:
    explicit VKApplication(std::shared_ptr<const VKHomeLayout> layout);

    std::shared_ptr<const VKHomeLayout> m_layout;
    mutable std::mutex m_delegateMutex;
    std::weak_ptr<VKNetworkActivityDelegate> m_networkActivityDelegate;
    ContentViewControllerSource m_contentViewControllerSource;
};

// The audio session's interruption callback: state 1 (the session's begin
// value) posts VKApplicationAudioInterruptionDidBeginNotification, anything
// else the did-end notification, with the shared application as the object.
void VKApplicationAudioInterruptionListener(void* userData, int interruptionState);
