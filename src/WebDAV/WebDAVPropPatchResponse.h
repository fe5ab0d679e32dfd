#pragma once

#include "WebDAV/WebDAVResponse.h"

// PROPPATCH: sets and removes properties of one resource, all or nothing.
// Every update is checked before any is applied; an update that still fails
// while applying undoes those before it.
class WebDAVPropPatchResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVPropPatchResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

private:
    using WebDAVResponse::WebDAVResponse;

    struct Update {
        bool isSet = false;
        std::shared_ptr<const WebDAVPropertyName> name;
        core::Value value;
        core::Error error;
        // What to put back when a later update fails.
        std::optional<core::Data> previousValue;
        std::optional<int64_t> previousModificationTime;
    };

    void endWithFailedUpdates(const WebDAVResource& resource, const std::vector<Update>& updates);
    static bool apply(WebDAVResource& resource, Update& update);
    static void undo(const WebDAVResource& resource, const Update& update);
};
