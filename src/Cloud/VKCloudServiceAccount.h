#pragma once

#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class VKCloudService;

namespace ui {
class ViewController;
}

// Posted by an account (object: the account).
inline constexpr const char* VKCloudServiceAccountDidLoginNotification = "VKCloudServiceAccountDidLoginNotification";
inline constexpr const char* VKCloudServiceAccountDidCancelLoginNotification = "VKCloudServiceAccountDidCancelLoginNotification";
// The linked account's space, in bytes.
struct VKCloudAccountInfo {
    int64_t usedBytes = 0;
    int64_t totalBytes = 0;
};
inline constexpr core::NoticeName<VKCloudAccountInfo> VKCloudServiceAccountDidLoadInfoNotification { "VKCloudServiceAccountDidLoadInfoNotification" };
inline constexpr const char* VKCloudServiceAccountLoadInfoFailedNotification = "VKCloudServiceAccountLoadInfoFailedNotification";
// The service's token was refused.
inline constexpr const char* VKCloudServiceAccountLoginFailedNotification = "VKCloudServiceAccountLoginFailedNotification";

// The account of a cloud service: its login form, the linked user's name and
// the quota, which it reports through the notifications above.
class VKCloudServiceAccount : public core::Object {
public:
    virtual std::shared_ptr<VKCloudService> associatedCloudService() const = 0;
    // A new login form whose delegate is the account.
    virtual std::shared_ptr<ui::ViewController> loginViewController() = 0;
    virtual void loadQuotaInfo() = 0;
    // Nothing while no account is linked.
    virtual std::optional<std::string> userName() const = 0;
};
