#include "WebDAV/WebDAVLockResponse.h"

#include "Kit/URLAdditions.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVIfParser.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVNullResource.h"
#include "WebDAV/WebDAVPreconditions.h"
#include "WebDAV/WebDAVPropertyName.h"
#include "WebDAV/WebDAVRequestBody.h"
#include "WebDAV/WebDAVResponseDelegate.h"

namespace {

std::string stringForKey(const core::Error& error, const char* key)
{
    auto entry = error.userInfo().find(key);
    return entry != error.userInfo().end() ? entry->second.toString() : std::string();
}

// The resource an answer names: a member, a lock-null URI, or nothing at
// all yet (then only its href is written).
WebDAVResourceRef resourceForAnswer(const core::URL& uri, const std::string& localPath)
{
    if (auto resource = WebDAVResource::resourceWithURIMaybeNull(uri, localPath))
        return resource;
    return WebDAVNullResource::create(uri, localPath);
}

// The text of the first node the expression selects.
std::optional<std::string> firstText(CXMLDocument& document, std::string_view xpath, bool localName)
{
    auto nodes = document.nodesForXPath(xpath, DAVNamespaceMapping());
    if (!nodes || nodes->empty())
        return std::nullopt;
    return localName ? nodes->front()->localName() : nodes->front()->stringValue();
}

} // namespace

std::shared_ptr<WebDAVLockResponse> WebDAVLockResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVLockResponse>(new WebDAVLockResponse(std::move(request), delegate));
}

void WebDAVLockResponse::start()
{
    std::string depth = depthHeaderForRequest(*request());
    if (core::ascii::equalIgnoringCase(depth, "infinity"))
        depth = "infinity";
    else if (depth != "0")
        return endResponseWithStatusCode(400);
    core::URL uri = requestURL();
    std::string timeout = request()->headerForKey("Timeout").value_or("Infinite");

    if (request()->bodyLength() == 0)
        return refresh(uri);

    auto body = parseWebDAVRequestBody(*request(), "LOCK document");
    if (!body)
        return endResponseWithStatusCode(400);
    auto scope = firstText(*body, "/D:lockinfo/D:lockscope/*", true);
    auto type = firstText(*body, "/D:lockinfo/D:locktype/*", true);
    // The owner is optional: many clients send none.
    std::string owner = firstText(*body, "/D:lockinfo/D:owner", false).value_or("");
    if (core::ascii::trimmed(owner).empty())
        owner.clear();
    if ((scope != "exclusive" && scope != "shared") || type != "write")
        return endResponseWithStatusCode(400);

    auto path = delegate() ? delegate()->localPathForURI(uri) : std::nullopt;
    if (!path)
        return endResponseWithStatusCode(403);
    // Nothing reached through a link that leads out of the roots is there to
    // lock: not the item, nor a folder on the way to it. A root of the
    // server is served itself, though its folder is not.
    if (core::fs::isDirectory(core::path::deletingLastPathComponent(*path)) && !isServedFolderOfPath(*path)
        && !isServedPath(*path))
        return endResponseWithStatusCode(409);
    if (core::fs::exists(*path) && !isServedPath(*path))
        return endResponseWithStatusCode(404);
    if (!WebDAVPreconditions::holdAtPath(*request(), *path))
        return endResponseWithStatusCode(412);
    std::vector<core::Error> errors;
    auto lock = WebDAVLockManager::sharedManager()->acquireWriteLockForURI(uri, *path, *scope, owner, depth, timeout,
        &errors);
    if (lock) {
        buildOKResponseForLock(lock);
        return end();
    }
    if (errors.size() == 1
        && stringForKey(errors.front(), WebDAVLockManager::ErrorURIKey) == WebDAVLockManager::lockPathForURI(uri))
        return endResponseWithError(errors.front());
    endWithConflicts(uri, *path, errors);
}

void WebDAVLockResponse::refresh(const core::URL& uri)
{
    core::Error error;
    auto parser = WebDAVIfParser::parserWithIfHeader(request()->headerForKey("If").value_or(""), &error);
    if (error)
        return endResponseWithError(error);
    auto lock = parser->validateLocks(WebDAVLockManager::sharedManager()->locksForURI(uri));
    if (!lock)
        return endResponseWithStatusCode(412, "Precondition Failed - unknown lock");
    if (!WebDAVPreconditions::holdAtPath(*request(), lock->lockLocalPath()))
        return endResponseWithStatusCode(412);
    buildOKResponseForLock(lock);
    end();
}

void WebDAVLockResponse::buildOKResponseForLock(const WebDAVLockRef& lock)
{
    auto document = CXMLDocument::createDocument();
    auto root = document->elementWithName("D:prop", "DAV:");
    document->setRootElement(root);
    auto discovery = DAVElementWithName(*document, "D:lockdiscovery");
    root->addChild(discovery);
    addDAVActiveLockElementsForLocks(*document, { lock }, *discovery);

    bool exists = bool(WebDAVResource::resourceWithURI(URLWithPath(lock->lockURIPath()), lock->lockLocalPath()));
    makeMessage(exists ? 200 : 201, std::nullopt);
    setHeaderValue("text/xml; charset=\"utf-8\"", "Content-Type");
    setHeaderValue("<opaquelocktoken:" + lock->lockToken() + ">", "Lock-Token");
    setBody(document->XMLData().value_or(core::Data()));
}

void WebDAVLockResponse::endWithConflicts(const core::URL& uri, const std::string& localPath,
    const std::vector<core::Error>& errors)
{
    auto document = createDAVMultistatusDocument();
    for (const auto& error : errors) {
        auto resource = resourceForAnswer(URLWithPath(stringForKey(error, WebDAVLockManager::ErrorURIKey)),
            stringForKey(error, WebDAVLockManager::LocalPathKey));
        auto response = addDAVResponseElementForResource(*document, *resource);
        auto status = DAVElementWithName(*document, "D:status");
        status->setStringValue(DAVStatusLine(static_cast<int>(error.code()), statusTextForError(error)));
        response->addChild(status);
    }
    auto resource = resourceForAnswer(uri, localPath);
    auto response = addDAVResponseElementForResource(*document, *resource);
    addDAVPropstatForPropertyNames(*document, { WebDAVPropertyName::propertyNameWithName("lockdiscovery") }, *response,
        DAVStatusLine(424, "Failed Dependency"));
    createMultiStatusHTTPMessageResponseForRequest(*request(), *resource, *document,
        delegate() ? delegate()->localHost() : std::nullopt);
    end();
}

void WebDAVLockResponse::end()
{
    if (delegate())
        delegate()->webDAVResponseDidEnd(*this, End::KeepOpen);
}
