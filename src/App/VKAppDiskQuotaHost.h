#pragma once

#include <memory>

class VKWindow;

// What the application's disk-quota part (VKAppDiskQuota) asks of the
// application around it. The application delegate answers and owns the
// quota part, which holds it by reference.
class VKAppDiskQuotaHost {
public:
    virtual ~VKAppDiskQuotaHost() = default;
    // A recount begins: the server stops with its connections.
    virtual void diskQuotaRecountWillStart() = 0;
    // A recount ended: the server starts again when it should run.
    virtual void diskQuotaRecountDidEnd() = 0;
    // Where the recount's indicator shows; none shows no indicator.
    virtual std::shared_ptr<VKWindow> diskQuotaIndicatorWindow() const = 0;
    // A warning may show now: neither the passcode lock nor the launch pass
    // is in the way.
    virtual bool diskQuotaWarningMayShow() const = 0;
    // The help can show over what is on screen (no other modal screen).
    virtual bool diskQuotaHelpMayShow() const = 0;
    // The warning's "More Info": the quota's help page.
    virtual void diskQuotaShowHelp() = 0;
};
