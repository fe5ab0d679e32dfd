#pragma once

#include "WebDAV/WebDAVResponse.h"

// Posted on the main thread just before an item goes, so that whoever holds
// it lets go first; object the response.
inline constexpr core::NoticeName<WebDAVItemNews> WebDAVWillDeleteResourceNotification { "WebDAVWillDeleteResourceNotification" };

// DELETE: moves the item at the URI into the application's trash rather
// than destroying it. A link is deleted as a link, never its target (a link
// leading nowhere included). Whatever a failed move leaves of a folder is
// reported item by item in a 207.
class WebDAVDeleteResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVDeleteResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

    // Every remaining file and every remaining empty folder inside the
    // folder, in listing order.
    static void buildRemainingResourcesList(WebDAVResourceList& list, const WebDAVResourceRef& resource);

private:
    using WebDAVResponse::WebDAVResponse;

    // The status the outcome earns: 204 when the item is gone, else 403 or,
    // with the 207 made, 207.
    int judgeOutcome(const std::string& path, const core::URL& uri, bool isCollection);
};
