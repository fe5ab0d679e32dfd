#pragma once

#include "WebDAV/WebDAVLock.h"
#include "WebDAV/WebDAVResponse.h"

#include <vector>

// LOCK: grants a write lock through the lock manager, or refreshes one named
// by the If header (a body-less LOCK). Locks never expire, so a refresh
// answers the lock as it stands. A missing item may be locked: the URI then
// holds a lock-null resource until something is stored there.
class WebDAVLockResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVLockResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;
    // The success answer for a lock: its lock discovery, "Lock-Token", and
    // 201 when nothing exists behind the lock's URI, else 200.
    void buildOKResponseForLock(const WebDAVLockRef& lock);

private:
    using WebDAVResponse::WebDAVResponse;

    void refresh(const core::URL& uri);
    // The 207 naming every conflicting lock below the URI, and 424 for the
    // URI itself.
    void endWithConflicts(const core::URL& uri, const std::string& localPath, const std::vector<core::Error>& errors);
    void end();
};
