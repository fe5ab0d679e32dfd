#pragma once

#include <memory>
#include <string_view>

class CXMLDocument;
class HTTPMessageRequest;

// The request's XML body, parsed without network, DTDs or entity expansion;
// nothing (logged as "Warning, <what> error: ...") when it is no well-formed
// XML with sound namespaces.
std::shared_ptr<CXMLDocument> parseWebDAVRequestBody(const HTTPMessageRequest& request,
    std::string_view what = "CXMLDocument");
