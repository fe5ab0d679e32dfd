#include "WebDAV/WebDAVPropFindResponse.h"

#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/Log.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVRequestBody.h"
#include "WebDAV/WebDAVResponseDelegate.h"

std::shared_ptr<WebDAVPropFindResponse> WebDAVPropFindResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVPropFindResponse>(new WebDAVPropFindResponse(std::move(request), delegate));
}

bool WebDAVPropFindResponse::isHiddenFromClient(const WebDAVResource& resource) const
{
    auto agent = request()->headerForKey("User-Agent");
    if (!agent || !agent->starts_with("Microsoft"))
        return false;
    return resource.isAppleDouble() || resource.name() == ".DS_Store";
}

void WebDAVPropFindResponse::start()
{
    auto resource = requestResource(true);
    if (!resource || isHiddenFromClient(*resource))
        return endResponseWithStatusCode(404);

    Kind kind = Kind::AllProperties;
    WebDAVPropertyNameList names;
    if (request()->bodyLength() > 0) {
        auto body = parseWebDAVRequestBody(*request());
        if (!body)
            return endResponseWithStatusCode(400);
        auto children = body->nodesForXPath("/D:propfind/*", DAVNamespaceMapping());
        if (!children || children->empty())
            return endResponseWithStatusCode(400, "Bad Request - invalid propfind element");
        auto& first = children->front();
        std::string type = first->localName();
        if (type == "allprop") {
            kind = Kind::AllProperties;
        } else if (type == "propname") {
            kind = Kind::Names;
        } else if (type == "prop") {
            kind = Kind::NamedProperties;
            for (const auto& child : first->children()) {
                if (child->kind() == CXMLNode::ElementKind)
                    names.push_back(WebDAVPropertyName::propertyNameWithElement(*child));
            }
            if (names.empty())
                return endResponseWithStatusCode(400, "Bad Request - prop must specify properties");
        } else {
            return endResponseWithStatusCode(400, "Bad request - invalid propfind type");
        }
    }

    auto document = createDAVMultistatusDocument();
    std::string depth = depthHeaderForRequest(*request());
    auto append = [&](const WebDAVResource& item) {
        auto response = addDAVResponseElementForResource(*document, item);
        switch (kind) {
        case Kind::AllProperties:
            addDAVPropstatForProperties(*document, item.properties(), *response, DAVStatusLine(200, "OK"));
            break;
        case Kind::Names:
            addDAVPropstatForPropertyNames(*document, item.propertyNames(), *response, DAVStatusLine(200, "OK"));
            break;
        case Kind::NamedProperties:
            addDAVPropstatForResource(*document, item, names, *response);
            break;
        }
    };
    append(*resource);
    if (resource->isCollection() && depth != "0" && delegate()) {
        if (auto members = delegate()->webDAVResponse(*this, *resource, depth)) {
            for (const auto& member : *members) {
                if (!isHiddenFromClient(*member))
                    append(*member);
            }
        }
    }
    createMultiStatusHTTPMessageResponseForRequest(*request(), *resource, *document,
        delegate() ? delegate()->localHost() : std::nullopt);
    if (delegate())
        delegate()->webDAVResponseDidEnd(*this, KeepOpenTag);
}
