#include "App/VKAppDefaults.h"

#include "Shell/VKKeychain.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"

#include <utility>

void VKAppDefaults::registerDefaults()
{
    using core::Value;
    core::Value::Dictionary defaults {
        { "VKServerEnabled", Value(true) },
        { "VKPortNumber", Value(int64_t(80)) },
        { "VKPasscodeLockUponWake", Value(true) },
        { "VKQuotaLimit", Value("1024") },
        { "VKQuotaEnabled", Value(false) },
        { "VKDisplayServerURLAtStartup", Value(true) },
        { "VKDisplayFileExtensions", Value(false) },
        { "VKFileSortOrder", Value(int64_t(0)) },
        { "VKDefaultTextEncoding", Value("UTF-8") },
        { "VKDefaultTextFontSize", Value(13.0) },
        { "VKSlideShowTimeout", Value(3.0) },
        { "VKSlideShowTransitionType", Value("fade") },
        { "VKPagingGestureEnabled", Value(true) },
        { "VKDocumentViewLayout", Value(int64_t(1)) },
        { "VKDocumentViewDoublePageSingleFirst", Value(true) },
        { "VKPageNumberOverlayEnabled", Value(true) },
        { "VKIsFirstRun", Value(true) },
        { "VKLastKnownDocumentEnabled", Value(VKIsMultitaskingSupported()) },
    };
    core::UserDefaults::standard()->registerDefaults(defaults);
}

void VKAppDefaults::upgradeDefaults()
{
    auto defaults = core::UserDefaults::standard();
    const auto password = defaults->object("VKLoginPassword");
    if (!password.isNull()) {
        core::log("Upgrading VKLoginPasswordDepracatedKey: {}", password.isString() ? "(set)" : "(not text)");
        if (password.isString())
            VKKeychain::sharedKeychain()->setPassword(password.toString(), VKLoginPasswordService, VKLoginPasswordService);
        defaults->remove("VKLoginPassword");
    }
    // Homes from before the settings existed: a stored password or passcode
    // says it was set.
    for (auto [key, service] : { std::pair { VKLoginPasswordSetKey, VKLoginPasswordService },
             std::pair { VKPasscodeLockSetKey, VKPasscodeLockService } }) {
        if (!defaults->object(key).isNull())
            continue;
        const auto stored = VKKeychain::sharedKeychain()->passwordForUser(service, service);
        if (stored && !stored->empty())
            defaults->set(key, core::Value(true));
    }
    const auto guest = defaults->object("VKGuestAccessEnabled");
    if (!guest.isNull()) {
        core::log("Upgrading VKGuestAccessEnabledDepracatedKey: {}", guest.description());
        defaults->set("VKRemoteGuestAccess", guest);
        defaults->remove("VKGuestAccessEnabled");
    }
}
