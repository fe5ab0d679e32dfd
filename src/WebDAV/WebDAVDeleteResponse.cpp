#include "WebDAV/WebDAVDeleteResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVNullResource.h"
#include "WebDAV/WebDAVPreconditions.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <exception>

std::shared_ptr<WebDAVDeleteResponse> WebDAVDeleteResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVDeleteResponse>(new WebDAVDeleteResponse(std::move(request), delegate));
}

void WebDAVDeleteResponse::start()
{
    auto* delegate = this->delegate();
    core::URL uri = requestURL();
    auto mapped = delegate ? delegate->localPathForURI(uri) : std::nullopt;
    // The item is the last component itself: "link/" would name a link's
    // target.
    std::string path = mapped ? core::path::standardizingPath(*mapped) : std::string();
    // Looked at without following a final link, so that a link leading
    // nowhere can still be deleted.
    auto attributes = path.empty() ? std::nullopt : core::fs::attributes(path);
    if (!attributes) {
        endResponseWithStatusCode(404);
        return;
    }
    if (request()->requestURL() && request()->requestURL()->hasFragment()) {
        endResponseWithStatusCode(400);
        return;
    }
    const bool isCollection = attributes->isDirectory();
    if (isCollection && !core::ascii::equalIgnoringCase(depthHeaderForRequest(*request()), "infinity")) {
        endResponseWithStatusCode(400, "Bad Request - Invalid depth header");
        return;
    }
    // A folder is judged by its URI with the trailing "/", however the
    // request spelled it, so that the locks of its members are checked too.
    std::string uriPath = uri.path().empty() ? std::string("/") : uri.path();
    core::URL itemURI = URLWithPath(isCollection ? stringByEnsuringTrailingPathSeparator(uriPath) : uriPath);
    core::Error error;
    if (!WebDAVLockManager::sharedManager()->isURIAuthorised(itemURI, *request(), true, &error)) {
        endResponseWithError(error);
        return;
    }
    if (!delegate->isMutableURI(uri)) {
        endResponseWithStatusCode(statusCodeForImmutableURI());
        return;
    }
    // The item is removed as itself (a link, never its target), but only in
    // a folder the server serves: one reached through a link that leads out
    // of the roots is not there.
    if (!isServedFolderOfPath(path)) {
        endResponseWithStatusCode(404);
        return;
    }
    if (!WebDAVPreconditions::hold(*request(), attributes)) {
        endResponseWithStatusCode(412);
        return;
    }

    // Made while the folder is there: its listing is refreshed either way.
    auto folder = isCollection ? WebDAVResource::resourceWithURI(itemURI, path) : nullptr;
    auto parent = requestParent();
    core::NotificationCenter::defaultCenter().post(WebDAVWillDeleteResourceNotification, shared_from_this(),
        { path, itemURI.relativeString() });
    try {
        if (!moveItemAtPathToTrash(path, &error))
            core::log("Warning, moveItemAtPathToTrash error: {}", error.description());
    } catch (const std::exception& exception) {
        core::log("Warning, moveItemAtPathToTrash exception: {}", exception.what());
    }

    int status = judgeOutcome(path, itemURI, isCollection);
    if (auto quota = VKQuotaManager::defaultManager())
        quota->updateQuotaForPath(path);
    postCollectionUpdateNotificationForResource(parent.get());
    if (folder)
        postCollectionUpdateNotificationForResource(folder.get());
    // Locks go with the item; an item that stays keeps its locks.
    if (status == 204)
        WebDAVLockManager::sharedManager()->removeSucessfullyDeletedLocksForURI(itemURI);
    if (status == 207) {
        if (delegate)
            delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
        return;
    }
    endResponseWithStatusCode(status);
}

int WebDAVDeleteResponse::judgeOutcome(const std::string& path, const core::URL& uri, bool isCollection)
{
    if (!core::fs::attributes(path))
        return 204;
    auto folder = isCollection ? WebDAVResource::resourceWithURI(uri, path) : nullptr;
    if (!folder || !folder->isCollection())
        return 403;
    WebDAVResourceList remaining;
    buildRemainingResourcesList(remaining, folder);
    // Only the folder itself: it is empty, and still there.
    if (remaining.empty() || (remaining.size() == 1 && remaining.front() == folder))
        return 403;
    auto document = createDAVMultistatusDocument();
    const std::string forbidden = DAVStatusLine(403, "Forbidden");
    for (const auto& item : remaining) {
        auto response = addDAVResponseElementForResource(*document, *item);
        if (auto status = DAVElementWithName(*document, "D:status")) {
            status->setStringValue(forbidden);
            response->addChild(status);
        }
    }
    auto* delegate = this->delegate();
    createMultiStatusHTTPMessageResponseForRequest(*request(), *folder, *document,
        delegate ? delegate->localHost() : std::nullopt);
    return 207;
}

void WebDAVDeleteResponse::buildRemainingResourcesList(WebDAVResourceList& list, const WebDAVResourceRef& resource)
{
    // One level at a time, so that a folder emptied of everything it could
    // give up is itself named.
    auto members = resource->subresourcesToDepth("1");
    bool any = false;
    if (members) {
        for (const auto& member : *members) {
            // A locked name with nothing behind it is no item left behind.
            if (std::dynamic_pointer_cast<WebDAVNullResource>(member))
                continue;
            any = true;
            if (member->isCollection())
                buildRemainingResourcesList(list, member);
            else
                list.push_back(member);
        }
    }
    if (!any)
        list.push_back(resource);
}
