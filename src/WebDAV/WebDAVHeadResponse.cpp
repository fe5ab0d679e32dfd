#include "WebDAV/WebDAVHeadResponse.h"

#include "WebDAV/WebDAVHTMLResponse.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <fmt/format.h>


std::shared_ptr<WebDAVHeadResponse> WebDAVHeadResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVHeadResponse>(new WebDAVHeadResponse(std::move(request), delegate));
}

void WebDAVHeadResponse::start()
{
    if (WebDAVHTMLResponse::handleGetForHTMLIndexResource(*this, false))
        return;
    auto resource = requestResource(false);
    if (!resource) {
        endResponseWithStatusCode(404);
        return;
    }
    // As a GET would answer: a FIFO, socket or device is no document.
    if (!resource->isCollection() && resource->isSpecialFile()) {
        endResponseWithStatusCode(403);
        return;
    }
    createHTTPMessageResponseWithStatusCode(200);
    if (resource->isCollection()) {
        if (auto* delegate = this->delegate())
            delegate->webDAVResponse(*this, resource->URI());
        setHeaderValue("0", "Content-Length");
    } else {
        setHeaderValue(fmt::format("{}", resource->fileSize()), "Content-Length");
    }
    setEntityHeadersForResource(*resource);
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
}
