#include "WebDAV/WebDAVMkcolResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPreconditions.h"
#include "WebDAV/WebDAVResponseDelegate.h"

std::shared_ptr<WebDAVMkcolResponse> WebDAVMkcolResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVMkcolResponse>(new WebDAVMkcolResponse(std::move(request), delegate));
}

bool WebDAVMkcolResponse::hasBody() const
{
    // A chunked body announces no length but is a body all the same; left
    // unread, it would be taken for the next request.
    auto encoding = request()->headerForKey("Transfer-Encoding");
    return request()->contentLength() != 0 || (encoding && !core::ascii::trimmed(*encoding).empty());
}

void WebDAVMkcolResponse::start()
{
    if (hasBody()) {
        core::log("Warning: MKCOL request body not currently supported!");
        endResponseWithStatusCode(415, "Unsupported Media Type");
        return;
    }
    auto* delegate = this->delegate();
    core::URL uri = requestURL();
    auto mapped = localPathForNewItem("Conflict - Parent(s) do not exist");
    if (!mapped)
        return;
    // Without a trailing "/", which would look through a link at its target.
    std::string path = core::path::standardizingPath(*mapped);
    // Anything at the path counts, a link leading nowhere too: the folder
    // could not be made over it.
    if (core::fs::attributes(path)) {
        endResponseWithStatusCode(405, "Method Not Allowed - resource exists");
        return;
    }
    // A parent reached through a link that leads out of the roots is not
    // there.
    auto parent = requestParent();
    if (!parent || !parent->isCollection() || !isServedFolderOfPath(path)) {
        endResponseWithStatusCode(409, "Conflict - Parent(s) do not exist");
        return;
    }
    if (!parent->isWritable()) {
        endResponseWithStatusCode(403, "Forbidden");
        return;
    }
    core::Error error;
    if (!WebDAVLockManager::sharedManager()->isURIAuthorised(uri, *request(), true, &error)) {
        endResponseWithError(error);
        return;
    }
    if (!delegate->isMutableURI(uri)) {
        endResponseWithStatusCode(statusCodeForImmutableURI());
        return;
    }
    // Nothing is there yet: If-Match fails, "If-None-Match: *" holds.
    if (!WebDAVPreconditions::hold(*request(), std::nullopt)) {
        endResponseWithStatusCode(412);
        return;
    }
    auto quota = VKQuotaManager::defaultManager();
    if (auto available = quota ? quota->quotaAvailableBytes() : std::nullopt; available && *available == 0) {
        postInsufficientStorageNotification();
        endResponseWithStatusCode(507, "Insufficient Storage");
        return;
    }
    if (!core::fs::createDirectory(path, false, &error)) {
        core::log("Warning, MKCOL ({}) failed: {}", path, error.description());
        endResponseWithStatusCode(403, "Forbidden - create failed");
        return;
    }
    if (quota)
        quota->updateQuotaForPath(path);
    auto created = WebDAVResource::resourceWithURI(uri, path);
    postCollectionUpdateNotificationForResource(parent.get());
    postCollectionUpdateNotificationForResource(created.get());
    createHTTPMessageResponseWithStatusCode(201);
    setHeaderValue(locationForURI(created ? created->URI() : uri), "Location");
    if (delegate)
        delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
}
