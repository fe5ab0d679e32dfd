// fuzz: tandry_webdav
// PROPFIND and PROPPATCH bodies: parsed, their property elements named and
// fixed up for storage, and the stored texts read back into a multistatus
// answer, as the responses do (without touching any file).

#include "HTTP/HTTPMessageRequest.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVProperty.h"
#include "WebDAV/WebDAVRequestBody.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536)
        return 0;
    std::string text = "PROPFIND / HTTP/1.1\r\nHost: h\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    text.append(reinterpret_cast<const char*>(data), size);
    auto request = HTTPMessageRequest::create();
    request->appendBytes(std::string_view(text));
    auto body = parseWebDAVRequestBody(*request);
    if (!body)
        return 0;
    auto answer = createDAVMultistatusDocument();
    auto response = answer->addChild(DAVElementWithName(*answer, "D:response"));
    WebDAVPropertyNameList names;
    WebDAVPropertyTable stored;
    for (const char* path : { "/D:propfind/D:prop/*", "/D:propertyupdate/*/D:prop/*" }) {
        for (const auto& node : body->nodesForXPath(path, DAVNamespaceMapping()).value_or(CXMLNode::NodeList {})) {
            names.push_back(WebDAVPropertyName::propertyNameWithElement(*node));
            if (auto element = std::dynamic_pointer_cast<CXMLElement>(node)) {
                auto property = WebDAVProperty::propertyWithElement(*element);
                if (property->isDead())
                    stored.push_back({ property, property->value() });
            }
        }
    }
    if (auto parent = std::dynamic_pointer_cast<CXMLElement>(response)) {
        addDAVPropstatForPropertyNames(*answer, names, *parent, DAVStatusLine(404, "Not Found"));
        addDAVPropstatForProperties(*answer, stored, *parent, DAVStatusLine(200, "OK"));
    }
    (void)answer->XMLData();
    return 0;
}
