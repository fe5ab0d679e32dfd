#include "WebDAV/WebDAVRequestBody.h"

#include "HTTP/HTTPMessageRequest.h"
#include "Kit/XML/CXMLDocument.h"
#include "Platform/Core/Log.h"

std::shared_ptr<CXMLDocument> parseWebDAVRequestBody(const HTTPMessageRequest& request, std::string_view what)
{
    core::Error error;
    auto document = CXMLDocument::initWithData(request.body(), 0, &error);
    if (document && !error && !document->isNamespaceWellFormed())
        error = core::Error(CXMLDocument::ErrorDomain, 201, "Namespace error");
    if (!document || error || !document->rootElement()) {
        core::log("Warning, {} error: {}", what, error.description());
        return nullptr;
    }
    return document;
}
