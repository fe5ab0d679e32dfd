#include "WebDAV/WebDAVPropFindResponse.h"

#include "HTTP/AsyncSocket.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/Log.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVMultistatusWriter.h"
#include "WebDAV/WebDAVRequestBody.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <fmt/format.h>

#include <utility>

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

    std::string depth = depthHeaderForRequest(*request());
    // Nothing changes while the answer is gathered: each item is looked at
    // once.
    WebDAVResource::Snapshot snapshot;
    WebDAVResourceList items { resource };
    if (resource->isCollection() && depth != "0") {
        auto members = servedSubresourcesForResource(*resource, depth);
        items.reserve(members.size() + 1);
        for (auto& member : members) {
            if (!isHiddenFromClient(*member))
                items.push_back(std::move(member));
        }
    }
    // Written as text; the document is built only for what the text writer
    // leaves to it.
    if (auto pieces = multistatusText(items, kind, names)) {
        sendMultistatus(*resource, std::move(pieces->first), std::move(pieces->second));
        return;
    }
    auto body = multistatusDocument(items, kind, names)->XMLData();
    createMultiStatusHTTPMessageResponseForRequest(*request(), *resource, body.value_or(core::Data()),
        delegate() ? delegate()->localHost() : std::nullopt);
    if (delegate())
        delegate()->webDAVResponseDidEnd(*this, End::KeepOpen);
}

void WebDAVPropFindResponse::sendMultistatus(const WebDAVResource& resource, std::string start, std::string rest)
{
    auto* delegate = this->delegate();
    const auto host = delegate ? delegate->localHost() : std::nullopt;
    if (!delegate || !delegate->canSendPrepared()) {
        createMultiStatusHTTPMessageResponseForRequest(*request(), resource, core::Data(start + rest), host);
        if (delegate)
            delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
        return;
    }
    // The head and the body's start leave together, held back for the rest,
    // which goes to the socket as it was written: a listing of thousands is
    // never copied.
    createMultiStatusHTTPMessageResponseForRequest(*request(), resource, core::Data(), host);
    setHeaderValue(fmt::format_int(start.size() + rest.size()).str(), "Content-Length");
    WebDAVPreparedAnswer answer;
    answer.first = std::move(start);
    answer.rest = std::move(rest);
    delegate->sendPrepared(*this, std::move(answer));
}

std::optional<std::pair<std::string, std::string>> WebDAVPropFindResponse::multistatusText(
    const WebDAVResourceList& items, Kind kind, const WebDAVPropertyNameList& names)
{
    WebDAVMultistatusWriter writer;
    bool reserved = false;
    for (const auto& item : items) {
        writer.beginResponse(*item);
        switch (kind) {
        case Kind::AllProperties:
            writer.addPropstatForProperties(item->properties(), DAVStatusLine(200, "OK"));
            break;
        case Kind::Names:
            writer.addPropstatForPropertyNames(item->propertyNames(), DAVStatusLine(200, "OK"));
            break;
        case Kind::NamedProperties:
            writer.addPropstatForResource(*item, names);
            break;
        }
        writer.endResponse();
        if (writer.failed())
            return std::nullopt;
        if (!std::exchange(reserved, true))
            writer.reserveForResponses(items.size());
    }
    return writer.takeXMLPieces();
}

std::shared_ptr<CXMLDocument> WebDAVPropFindResponse::multistatusDocument(const WebDAVResourceList& items, Kind kind,
    const WebDAVPropertyNameList& names)
{
    auto document = createDAVMultistatusDocument();
    for (const auto& item : items) {
        auto response = addDAVResponseElementForResource(*document, *item);
        switch (kind) {
        case Kind::AllProperties:
            addDAVPropstatForProperties(*document, item->properties(), *response, DAVStatusLine(200, "OK"));
            break;
        case Kind::Names:
            addDAVPropstatForPropertyNames(*document, item->propertyNames(), *response, DAVStatusLine(200, "OK"));
            break;
        case Kind::NamedProperties:
            addDAVPropstatForResource(*document, *item, names, *response);
            break;
        }
    }
    return document;
}
