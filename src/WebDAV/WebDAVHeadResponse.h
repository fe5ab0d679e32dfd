#pragma once

#include "WebDAV/WebDAVResponse.h"

// HEAD: what a GET would say of the item, without the body. A folder
// answers with length 0 and may carry the browser page's upload cookie.
class WebDAVHeadResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVHeadResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

private:
    using WebDAVResponse::WebDAVResponse;
};
