#pragma once

#include "WebDAV/WebDAVResponse.h"

// PROPFIND: the properties of a resource and, for a collection, of its
// members to the requested depth, as one 207 answer. It is how desktop
// clients browse the store.
class WebDAVPropFindResponse : public WebDAVResponse {
public:
    static std::shared_ptr<WebDAVPropFindResponse> create(std::shared_ptr<HTTPMessageRequest> request,
        WebDAVResponseDelegate* delegate);

    void start() override;

private:
    using WebDAVResponse::WebDAVResponse;

    enum class Kind { AllProperties, Names, NamedProperties };
    // Companions and folder files that desktop clients of one family make
    // and should not see.
    bool isHiddenFromClient(const WebDAVResource& resource) const;
    static std::optional<core::Data> multistatusText(const WebDAVResourceList& items, Kind kind,
        const WebDAVPropertyNameList& names);
    static std::shared_ptr<CXMLDocument> multistatusDocument(const WebDAVResourceList& items, Kind kind,
        const WebDAVPropertyNameList& names);
};
