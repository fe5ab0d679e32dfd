#pragma once

#include "WebDAV/WebDAVResponse.h"

// MKCOL: makes one folder inside an existing, writable one. Nothing may be
// at the URI already (a dangling link included), the locks must allow the
// change, and a store whose quota is used up refuses it.
class WebDAVMkcolResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVMkcolResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

private:
    using WebDAVResponse::WebDAVResponse;

    // Whether the request carries a body (which MKCOL does not take).
    bool hasBody() const;
};
