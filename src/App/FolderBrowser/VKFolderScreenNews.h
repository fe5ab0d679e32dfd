#pragma once

#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <vector>

namespace core {
class Notification;
class Object;
}

// What every folder screen hears: the browser's operation starting,
// progressing and ending, and the network, the server or the quota index
// rebuild changing. The observers run on the posting thread, maybe a
// worker, maybe before the screen is owned or while it is being destroyed:
// they only hand the news to the main thread, where it reaches the
// handlers while this (the screen's member) lives and its owner is shared.
class VKFolderScreenNews {
public:
    struct Handlers {
        std::function<void()> operationStarted;
        std::function<void()> operationEnded;
        std::function<void(float progress)> operationProgressed;
        // None for the index rebuild.
        std::function<void(const core::Notification* notification)> statusChanged;
    };

    VKFolderScreenNews(const core::Object& owner, Handlers handlers);
    ~VKFolderScreenNews();
    VKFolderScreenNews(const VKFolderScreenNews&) = delete;
    VKFolderScreenNews& operator=(const VKFolderScreenNews&) = delete;

    // Runs `work` on the main thread while this lives: at once when called
    // there (`later`: on a later pass), else on a later pass.
    void deliver(std::function<void()> work, bool later = false) const;

private:
    const core::Object& m_owner;
    // Lives as long as this: work handed to the main thread checks it
    // before it touches the screen.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
    std::vector<core::Observation> m_observations;
};
