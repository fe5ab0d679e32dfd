#include "WebDAV/WebDAVUnlockResponse.h"

#include "Kit/CSRegex.h"
#include "WebDAV/WebDAVLockManager.h"

std::shared_ptr<WebDAVUnlockResponse> WebDAVUnlockResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVUnlockResponse>(new WebDAVUnlockResponse(std::move(request), delegate));
}

void WebDAVUnlockResponse::start()
{
    // Clients differ on the brackets; both forms name the same lock.
    static const CSRegex tokenPattern("<?opaquelocktoken:([0-9a-z-]+)>?", CSRegex::IgnoreCase);
    auto header = request()->headerForKey("Lock-Token");
    auto token = header ? tokenPattern.capturedSubstringsOfString(*header) : std::nullopt;
    if (!token)
        return endResponseWithStatusCode(400);
    bool removed = WebDAVLockManager::sharedManager()->removeWriteLockForURI(requestURL(), (*token)[1]);
    endResponseWithStatusCode(removed ? 204 : 404);
}
