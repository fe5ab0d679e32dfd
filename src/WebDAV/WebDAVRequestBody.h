#pragma once

#include <memory>

class CXMLDocument;
class HTTPMessageRequest;

// The request's XML body, parsed without network, DTDs or entity expansion;
// nothing (logged) when it is no well-formed XML with sound namespaces.
std::shared_ptr<CXMLDocument> parseWebDAVRequestBody(const HTTPMessageRequest& request);
