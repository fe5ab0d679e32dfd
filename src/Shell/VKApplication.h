#pragma once

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

// The application object, the toolkit's application: the layout of the
// private store under the home (public documents, private documents, cloud
// mirrors, metadata), moved over from the two older layouts the first time
// each folder is made, and the process-wide policies: keep-awake, the
// activity indicator, links opened inside the application, the media audio
// session, and the system's dismissal of open sheets and alerts.
//
// The directory paths are fixed when the object is made and only read
// afterwards, so they may be asked from any thread; the policies belong to
// the main thread.
class VKApplication : public ui::Application {
public:
    // The toolkit's shared application when it is a VKApplication (the
    // program's, a screen test's); else one laid out from the current home
    // on first use, for code that runs without the toolkit (file-model
    // tests, tools).
    static std::shared_ptr<VKApplication> sharedApplication();
    // Replaces the one made on first use; null makes a new one at the next
    // sharedApplication(). The program makes its application the toolkit's
    // instead (ui::Application::setShared).
    static void setSharedApplication(std::shared_ptr<VKApplication> application);
    // Lays out (and migrates) the directories under the current home.
    static std::shared_ptr<VKApplication> create();

    // The first "AppleLanguages" entry, read once for the process.
    static std::string currentLanguage();

    const std::string& documentsDirectory() const { return m_documentsDirectory; }
    const std::string& publicDirectory() const { return m_publicDirectory; }
    const std::string& metadataDirectory() const { return m_metadataDirectory; }
    const std::string& serversDirectory() const { return m_serversDirectory; }
    const std::string& homeDirectory() const { return m_homeDirectory; }
    // Where the platform puts files handed over by other applications; never
    // made here.
    std::string inboxDirectory() const;
    std::string downloadsDirectory();

    // <metadata>/<name> and <servers>/<name>, made (with their parents) when
    // missing; the path is answered either way. One lock serialises both, so
    // threads never race to make the same folder.
    std::string metadataSubdirectory(std::string_view name);
    std::string serversSubdirectory(std::string_view name);

    // The root a stored path belongs to: the private or public documents, or
    // the mirror folder of one cloud service. Nothing (logged) otherwise.
    std::optional<std::string> rootDirectoryForPath(std::string_view path) const;
    // "Documents", "Public" (translated), the cloud service's folder name, or "".
    std::string localizedPrefixForPath(std::string_view path) const;

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
    VKApplication();
    void layOutDirectories();
    // The two migrations from older layouts, each run once: when the folder
    // it fills is first made.
    void attemptDocumentsUpdate1();
    void attemptDocumentsUpdate2();
    std::string subdirectory(const std::string& parent, std::string_view name);

    std::string m_homeDirectory;
    std::string m_documentsDirectory;
    std::string m_publicDirectory;
    std::string m_metadataDirectory;
    std::string m_serversDirectory;

    std::mutex m_subdirectoryMutex;
    mutable std::mutex m_delegateMutex;
    std::weak_ptr<VKNetworkActivityDelegate> m_networkActivityDelegate;
    ContentViewControllerSource m_contentViewControllerSource;
};

// Makes the folder and its missing parents; a failure is logged
// ("WARNING: Failed to create …") and the caller carries on.
void VKApplicationCreateDirectoryWithIntermediateDirectories(const std::string& path);

// The audio session's interruption callback: state 1 (the session's begin
// value) posts VKApplicationAudioInterruptionDidBeginNotification, anything
// else the did-end notification, with the shared application as the object.
void VKApplicationAudioInterruptionListener(void* userData, int interruptionState);
