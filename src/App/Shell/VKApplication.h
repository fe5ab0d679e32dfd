#pragma once

#include "Platform/Core/Object.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class VKApplication;

// Asked before the network-activity indicator goes out: the application
// delegate keeps it on while the server, a download or an upload is busy.
class VKNetworkActivityDelegate {
public:
    virtual ~VKNetworkActivityDelegate() = default;
    virtual bool isNetworkActiveForApplication(VKApplication& application) = 0;
};

// The tag a sheet or an alert gets when the system, not the user, dismissed
// it, so that its delegate can tell the two apart.
inline constexpr int VKActionSheetTagSystemCancelled = 2147483647;
inline constexpr int VKAlertViewTagSystemCancelled = 2147483647;

// The application object: the layout of the private store under the home
// (public documents, private documents, cloud mirrors, metadata), moved over
// from the two older layouts the first time each folder is made, and the
// process-wide keep-awake and activity-indicator policies.
//
// The directory paths are fixed when the object is made and only read
// afterwards, so they may be asked from any thread; the policies belong to
// the main thread.
class VKApplication : public core::Object {
public:
    // The one application object, laid out from the current home on first use.
    static std::shared_ptr<VKApplication> sharedApplication();
    // Replaces it (the program at start-up, tests); null makes a new one at
    // the next sharedApplication().
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
    void setIdleTimerDisabled(bool disabled);
    void forceIdleTimerDisabled();
    bool isIdleTimerDisabled() const { return m_idleTimerDisabled.load(); }

    // Hiding the indicator asks the delegate first: it stays while the
    // delegate says the network is busy.
    void setNetworkActivityIndicatorVisible(bool visible);
    bool isNetworkActivityIndicatorVisible() const { return m_networkActivityIndicatorVisible.load(); }
    void setNetworkActivityDelegate(std::weak_ptr<VKNetworkActivityDelegate> delegate);
    std::shared_ptr<VKNetworkActivityDelegate> networkActivityDelegate() const;

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
    std::atomic<bool> m_idleTimerDisabled { false };
    std::atomic<bool> m_networkActivityIndicatorVisible { false };
};

// Makes the folder and its missing parents; a failure is logged
// ("WARNING: Failed to create …") and the caller carries on.
void VKApplicationCreateDirectoryWithIntermediateDirectories(const std::string& path);
