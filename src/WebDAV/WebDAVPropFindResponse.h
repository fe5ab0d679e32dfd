#pragma once

#include "WebDAV/WebDAVResponse.h"

#include <string>
#include <utility>

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
    // The body as the text writer gives it (declaration and root's start
    // tag, then the rest); nothing when the document has to be built.
    static std::optional<std::pair<std::string, std::string>> multistatusText(const WebDAVResourceList& items,
        Kind kind, const WebDAVPropertyNameList& names);
    // The 207 with that body, written by the response itself on a live
    // connection.
    void sendMultistatus(const WebDAVResource& resource, std::string start, std::string rest);
    static std::shared_ptr<CXMLDocument> multistatusDocument(const WebDAVResourceList& items, Kind kind,
        const WebDAVPropertyNameList& names);
};
