#pragma once

#include "WebDAV/WebDAVResponse.h"

// UNLOCK: removes the lock whose token the "Lock-Token" header names, from
// exactly the request URI (a lock inherited from a folder is removed on the
// folder).
class WebDAVUnlockResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVUnlockResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

private:
    using WebDAVResponse::WebDAVResponse;
};
