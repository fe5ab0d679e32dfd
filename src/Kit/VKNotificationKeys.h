#pragma once

#include "Platform/Core/Notification.h"

#include <optional>
#include <string>

// User-info keys of the notifications that still tell about a path in a
// dictionary: an item about to be deleted or a folder the server changed
// ("Path"), and a move ("OldPath", "NewPath"). Posters and observers in
// every subsystem share them.
inline constexpr const char* VKNotificationPathKey = "Path";
inline constexpr const char* VKNotificationOldPathKey = "OldPath";
inline constexpr const char* VKNotificationNewPathKey = "NewPath";

// The path such a notice names under `key`, when it names one as text.
inline std::optional<std::string> VKNotificationPath(const core::Notification& notification,
    const char* key = VKNotificationPathKey)
{
    const core::Value& info = notification.userInfo();
    if (!info.isDictionary() || !info[key].isString())
        return std::nullopt;
    return info[key].string();
}
