#pragma once

#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace core {
class Timer;
}
class VKDirectoryWatcher;

// Tells a folder list when its folder changed on disk, whoever changed it:
// the directory watcher is the one source for a watched folder (the app's
// news only has what it holds told at once), noteChange the server's news
// for a folder that is not watched. The news collapse into one call CollapseDelay after the last
// of them, and never later than LongestDelay after the first, so that a
// burst of thousands of new files costs one rebuild and a long copy still
// shows within a second. A read of the folder takes every change made before
// it (willReadFolder), so the list never reads twice for one change.
// Main thread only.
class VKFolderChangeFeed {
public:
    static constexpr double CollapseDelay = 0.4;
    static constexpr double LongestDelay = 0.9;

    // With `watch`, the folder is watched (a local folder; a folder that
    // cannot be watched is logged and only hears noteChange); `ended` is
    // called at once when the watched folder itself went away (removed,
    // moved, unmounted), after which the feed hears only noteChange.
    VKFolderChangeFeed(const std::string& path, bool watch, std::function<void()> changed,
        std::function<void()> ended = {});
    ~VKFolderChangeFeed();
    VKFolderChangeFeed(const VKFolderChangeFeed&) = delete;
    VKFolderChangeFeed& operator=(const VKFolderChangeFeed&) = delete;

    void noteChange();
    // The app says it changed the folder: what the watcher holds is told
    // now, in one call (nothing when it holds nothing).
    void reportPendingChanges();
    void willReadFolder();
    // The list took in a change it made itself: the watcher's news so far
    // are dropped, a change already due stays due.
    void acknowledgeChanges();
    bool isPending() const { return m_firstChange.has_value(); }
    bool isWatching() const { return m_watcher != nullptr; }

private:
    void fire();

    std::function<void()> m_changed;
    std::function<void()> m_ended;
    std::shared_ptr<VKDirectoryWatcher> m_watcher;
    core::Observation m_observation;
    core::Observation m_endObservation;
    std::shared_ptr<core::Timer> m_timer;
    // When the first change not yet told was heard (the loop's clock).
    std::optional<double> m_firstChange;
    bool m_acknowledging = false;
};
