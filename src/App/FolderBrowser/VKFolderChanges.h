#pragma once

#include "Platform/Core/Observation.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {
class Notification;
class Object;
}
struct VKQuotaUpdate;

// Follows what changes a folder screen's rows from outside: the browser's
// and the clients' news of the folder and its children, the quota tree's
// sizes, and the settings of names, order and hidden files. It turns each
// into a refresh of the screen, collapsing the clients' bursts and the
// search's keystrokes into one. It owns its observers; the screen answers
// through a Host held weakly. Main thread only.
class VKFolderChanges {
public:
    class Host {
    public:
        virtual ~Host() = default;
        // The folder itself changed; `burst` when more news may follow.
        virtual void changesFolderChanged(bool burst) = 0;
        // A child changed: the table shown reloads.
        virtual bool changesScreenIsOnTop() const = 0;
        virtual void changesReloadTable() = 0;
        // The search's text and whether it looks in both document trees.
        virtual std::optional<std::string> changesSearchText() const = 0;
        virtual bool changesSearchesEverywhere() const = 0;
        // The quota tree learned of an item the search may now find.
        virtual void changesSearchMayFindMore() = 0;
        // The quota tree's new size of an item inside the folder.
        virtual void changesContentSizeChanged(const std::string& path) = 0;
        virtual void changesSettingChanged(const std::string& key) = 0;
        // The rows and the table afresh.
        virtual void changesUpdateModel() = 0;
    };

    // The settings followed.
    static constexpr const char* FollowedSettings[] = { "VKDisplayFileExtensions", "VKFileSortOrder", "VKShowHiddenFiles" };

    explicit VKFolderChanges(std::string folderPath);

    // Observes the notices; `self` is the screen's identity in the notices
    // it posts itself, which it has already shown.
    void follow(std::weak_ptr<Host> host, const core::Object* self);

    // The folder `changed` (or an item in it) changed; `burst` for news
    // that come in bursts (a client's), read once after the last.
    void folderDidUpdate(const std::string& changed, bool burst);
    void quotaDidUpdate(const VKQuotaUpdate& update);

    // One model update `delay` seconds on, replacing any pending.
    void scheduleModelUpdate(double delay);
    void cancelModelUpdate();

private:
    void scheduleReload(double delay);

    std::string m_folderPath;
    std::weak_ptr<Host> m_host;
    const core::Object* m_self = nullptr;
    // Identifies this follower's pending performs on the main loop.
    const std::shared_ptr<int> m_token = std::make_shared<int>(0);
    std::vector<core::Observation> m_observations;
};
