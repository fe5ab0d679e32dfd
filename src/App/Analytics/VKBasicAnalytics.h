#pragma once

#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The usage report sent at the end of a launch: one short record of device
// and application facts, posted as a multipart form to the report host and
// forgotten (nothing waits for it or reads the answer).
//
// The host is the bundle's "VKBasicAnalyticsHost", which a setting of the
// same name overrides (also for one run: -VKBasicAnalyticsHost host:port).
// The shipped bundle names none, so nothing leaves the machine unless one is
// configured; a value that is not a plain host[:port] sends nothing either.
class VKBasicAnalytics {
public:
    static constexpr const char* HostKey = "VKBasicAnalyticsHost";
    static constexpr const char* ReportPath = "/analytics/basic_analytics.php";

    // "uniqueIdentifier", "systemVersion" ("Linux v6.1.0"), "hardwareVersion"
    // ("x86_64 (Board)") and "appVersion" ("Tandry v1.0.0 (1)"), built on
    // the first call and the same afterwards; a value the system does not
    // know reads "(null)".
    static core::Value basicAnalyticsInfo();
    // The system value of that name ("hw.machine", "hw.model"), or nothing.
    static std::optional<std::string> systemInfoForName(std::string_view name);

    // http://<host>/analytics/basic_analytics.php, or nothing (logged) when
    // no usable host is configured.
    static std::optional<core::URL> reportURL();
    // Posts the record to the report URL on the calling thread's run loop.
    static void sendBasicAnalytics();

    // Tests: the system values come from `hook` (none: the system's) and the
    // record is built again at the next call.
    using SystemInfoHook = std::function<std::optional<std::string>(std::string_view name)>;
    static void setSystemInfoHookForTesting(SystemInfoHook hook);
};
