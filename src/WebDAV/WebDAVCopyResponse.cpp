#include "WebDAV/WebDAVCopyResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPreconditions.h"
#include "WebDAV/WebDAVResponseDelegate.h"
#include "WebDAV/WebDAVStagingFolder.h"

#include <fmt/format.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {

bool itemExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool copyEqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The port a URL of the web's schemes reaches, its scheme's when none is given.
int effectivePort(const core::URL& url)
{
    return url.port().value_or(core::ascii::equalIgnoringCase(url.scheme(), "https") ? 443 : 80);
}

bool sameServer(const core::URL& a, const core::URL& b)
{
    return core::ascii::equalIgnoringCase(a.scheme(), b.scheme()) && core::ascii::equalIgnoringCase(a.host(), b.host())
        && effectivePort(a) == effectivePort(b);
}

} // namespace

std::shared_ptr<WebDAVCopyResponse> WebDAVCopyResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVCopyResponse>(new WebDAVCopyResponse(std::move(request), delegate));
}

void WebDAVCopyResponse::refuse(int code, std::optional<std::string_view> description)
{
    createHTTPMessageResponseWithStatusCode(code, description);
    sendWebDAVDidEndDelegateMessage();
}

void WebDAVCopyResponse::sendWebDAVDidEndDelegateMessage(End end)
{
    m_isCopyInProgress = false;
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, end);
}

std::optional<bool> WebDAVCopyResponse::onSocketShouldTimeout()
{
    return !m_isCopyInProgress.load();
}

void WebDAVCopyResponse::postWebDAVDidMoveNotification(const VKResourceMove& move)
{
    core::NotificationCenter::defaultCenter().post(WebDAVDidMoveResourceNotification, shared_from_this(), move);
}

std::optional<core::URL> WebDAVCopyResponse::destinationURL()
{
    constexpr std::string_view invalid = "Bad Request - Invalid Destination header";
    auto header = request()->headerForKey("Destination");
    if (!header || header->empty()) {
        refuse(400, "Bad Request - No Destination header specified");
        return std::nullopt;
    }
    auto parsed = core::URL::parse(*header);
    // Dot segments and NUL are refused as written, before standardising
    // could fold a climb out of a root into an innocent-looking path.
    if (!parsed || HTTPMessageRequest::isUnsafeEscapedPath(parsed->escapedPath())) {
        refuse(400, invalid);
        return std::nullopt;
    }
    // Another server's item is not this server's to make: the client must
    // carry the copy out itself.
    const bool namesServer = !parsed->scheme().empty() || parsed->relativeString().starts_with("//");
    if (namesServer && !namesThisServer(*parsed)) {
        refuse(502, "Bad Gateway");
        return std::nullopt;
    }
    core::URL destination = parsed->standardized();
    std::string path = destination.path();
    if (m_hostURL) {
        std::string prefix = m_hostURL->path();
        if (!prefix.empty() && prefix != "/") {
            if (!path.starts_with(prefix) || (path.size() > prefix.size() && path[prefix.size()] != '/')) {
                refuse(400, invalid);
                return std::nullopt;
            }
            path = path.substr(prefix.size());
            if (path.empty())
                path = "/";
        }
    }
    if (path.empty() || path[0] != '/') {
        refuse(400, invalid);
        return std::nullopt;
    }
    if (path.size() < 2) {
        core::log("Warning, attempt to overwrite root resource!");
        refuse(403);
        return std::nullopt;
    }
    return URLWithPath(destination.hasDirectoryPath() ? path + "/" : path);
}

bool WebDAVCopyResponse::namesThisServer(const core::URL& destination)
{
    auto known = delegate()->serverScheme();
    std::string scheme = known ? *known : (m_hostURL ? m_hostURL->scheme() : std::string("http"));
    std::vector<core::URL> names;
    if (auto host = request()->headerForKey("Host")) {
        if (auto named = core::URL::parse(scheme + "://" + std::string(core::ascii::trimmed(*host)) + "/"))
            names.push_back(*named);
    }
    if (m_hostURL)
        names.push_back(*m_hostURL);
    // "//host/path" is on the scheme of the request.
    auto named = destination.scheme().empty() ? core::URL::parse(scheme + ":" + destination.relativeString()) : destination;
    if (!named || !core::ascii::equalIgnoringCase(named->scheme(), scheme))
        return false;
    return names.empty() || std::any_of(names.begin(), names.end(), [&](const core::URL& name) {
        return sameServer(*named, name);
    });
}

bool WebDAVCopyResponse::challengedForDestination(const core::URL& destination)
{
    // A request for an open area (the guest folder) was let in without
    // credentials; the place it writes to may not be open.
    if (!delegate()->challengedForDestination(destination, requestURL()))
        return false;
    sendWebDAVDidEndDelegateMessage(End::WroteItself);
    return true;
}

void WebDAVCopyResponse::start()
{
    auto* delegate = this->delegate();
    if (!delegate)
        return;
    m_resource = requestResource(false);
    if (!m_resource) {
        refuse(404);
        return;
    }
    m_hostURL = delegate->localHost();
    auto destination = destinationURL();
    if (!destination)
        return;
    auto destinationPath = delegate->localPathForURI(*destination);
    if (!destinationPath) {
        refuse(400, "Bad Request - Invalid Destination header");
        return;
    }
    if (challengedForDestination(*destination))
        return;
    // A destination in a folder reached through a link that leads out of the
    // roots has no parent here; a destination that is itself such a link is
    // no item here (it is replaced as a link, its target untouched).
    if (!isServedFolderOfPath(*destinationPath)) {
        refuse(409, "Conflict");
        return;
    }
    auto destinationResource = WebDAVResource::resourceWithURI(*destination, *destinationPath);
    if (destinationResource && !isServedPath(destinationResource->path()))
        destinationResource = nullptr;

    const std::string& sourcePath = m_resource->path();
    const bool sourceIsCollection = m_resource->isCollection();
    if (core::path::standardizingPath(sourcePath) == core::path::standardizingPath(*destinationPath)
        || (destinationResource && destinationResource->isEqual(*m_resource))) {
        refuse(403, "Forbidden");
        return;
    }
    if (sourceIsCollection
        && ((destination->path() + "/").starts_with(pathEnsuringTrailingSeparator(m_resource->URI()))
            || core::path::isWithin(*destinationPath, sourcePath))) {
        refuse(403, "Forbidden");
        return;
    }

    std::string depth = depthHeaderForRequest(*request());
    bool shallow = false;
    if (sourceIsCollection) {
        if (depth == "0" && !m_deleteOriginal) {
            shallow = true;
        } else if (!copyEqualsIgnoringCase(depth, "infinity")) {
            refuse(400, "Bad Request - Invalid Depth header");
            return;
        }
    }
    auto overwriteHeader = request()->headerForKey("Overwrite");
    std::string overwrite = overwriteHeader && !overwriteHeader->empty() ? *overwriteHeader : "T";
    if (overwrite != "T" && overwrite != "F") {
        refuse(400, "Bad Request - Invalid Overwrite header");
        return;
    }
    if (destinationResource && overwrite == "F") {
        refuse(412, "Precondition Failed");
        return;
    }
    if (!destinationResource) {
        auto parent = parentPathURL(*destination);
        auto parentPath = parent ? delegate->localPathForURI(*parent) : std::nullopt;
        if (!parentPath || !core::fs::isDirectory(*parentPath)) {
            refuse(409, "Conflict");
            return;
        }
    }
    auto locks = WebDAVLockManager::sharedManager();
    core::Error error;
    const core::URL& destinationLockURI = destinationResource ? destinationResource->URI() : *destination;
    if (!locks->isURIAuthorised(destinationLockURI, *request(), !destinationResource, &error)
        || (m_deleteOriginal && !locks->isURIAuthorised(m_resource->URI(), *request(), true, &error))) {
        refuse(static_cast<int>(error.code()), statusTextForError(error));
        return;
    }
    if (!delegate->isMutableURI(*destination) || (m_deleteOriginal && !delegate->isMutableURI(m_resource->URI()))) {
        m_isCopyInProgress = false;
        endResponseWithStatusCode(statusCodeForImmutableURI());
        return;
    }
    // The conditions guard what the request changes: for a move the item it
    // names (which goes), for a copy the item it would replace.
    if (WebDAVPreconditions::areGiven(*request())) {
        std::optional<core::fs::Attributes> guarded;
        if (m_deleteOriginal)
            guarded = core::fs::attributes(sourcePath);
        else if (destinationResource)
            guarded = core::fs::attributes(destinationResource->path());
        if (!WebDAVPreconditions::hold(*request(), guarded)) {
            refuse(412, "Precondition Failed");
            return;
        }
    }
    auto quota = VKQuotaManager::defaultManager();
    if (!m_deleteOriginal && !shallow) {
        auto available = quota->quotaAvailableBytes();
        if (available && quota->sizeForPath(sourcePath) >= *available) {
            refuse(507, "Insufficient Storage");
            postInsufficientStorageNotification();
            return;
        }
    }

    Operation operation { sourcePath, *destinationPath, m_resource->URI(), *destination, sourceIsCollection, shallow,
        m_deleteOriginal, quota, WebDAVPreconditions::areGiven(*request()) ? request() : nullptr };
    if (m_deleteOriginal) {
        operationDidEnd(operation, performOperationWithDestination(operation));
        return;
    }
    m_isCopyInProgress = true;
    auto self = std::static_pointer_cast<WebDAVCopyResponse>(shared_from_this());
    core::Thread::detach("WebDAVCopy", [self, operation] {
        Outcome outcome = performOperationWithDestination(operation);
        core::performOnMainThread([self, operation, outcome = std::move(outcome)]() mutable {
            self->operationDidEnd(operation, std::move(outcome));
        });
    });
}

WebDAVCopyResponse::Outcome WebDAVCopyResponse::performOperationWithDestination(const Operation& operation)
{
    Outcome outcome;
    const std::string& destination = operation.destinationPath;
    outcome.destinationExisted = itemExists(destination);
    if (auto attributes = core::fs::attributes(destination))
        outcome.destinationWasCollection = attributes->isDirectory();

    // A copy is made in the staging folder and renamed into place when it is
    // done, so that a copy cut off never shows half made; a replaced item
    // stays until its replacement is whole. A move renames at once.
    std::string target = destination;
    if (outcome.destinationExisted || !operation.move)
        target = WebDAVStagingFolder::pathForItem(destination, "copy");

    core::Error error;
    bool done = false;
    if (operation.shallowCollection) {
        done = core::fs::createDirectory(target, false, &error);
        if (done) {
            auto source = WebDAVResource::resourceWithURI(operation.sourceURI, operation.sourcePath);
            auto made = WebDAVResource::resourceWithURI(operation.destinationURI, target);
            auto properties = source ? source->deadProperties() : std::nullopt;
            if (properties && made) {
                for (const auto& [name, value] : *properties)
                    made->setProperty(value, *name);
            }
        }
    } else if (operation.move) {
        done = core::fs::moveItem(operation.sourcePath, target, &error);
    } else {
        core::fs::CopyOptions options;
        options.itemFailed = [&outcome](const std::string& path, const core::Error&) {
            outcome.failedItems.push_back(path);
            return true;
        };
        done = core::fs::copyItem(operation.sourcePath, target, options, &error);
        if (!done)
            core::log("Warning, WebDAVCopy failed: {}", error.localizedDescription());
    }
    outcome.failed = !done || !outcome.failedItems.empty();
    // The destination may have changed while the copy was made.
    if (operation.conditions && !operation.move
        && !WebDAVPreconditions::hold(*operation.conditions, core::fs::attributes(destination))) {
        outcome.preconditionFailed = true;
        core::fs::removeItem(target);
        return outcome;
    }

    if (!outcome.destinationExisted && target != destination) {
        // What was copied goes into place, also beside the members that
        // failed (the answer names them).
        if ((done || !outcome.failedItems.empty()) && !core::fs::moveItem(target, destination, &error)) {
            core::log("Warning, WebDAVCopy failed: {}", error.localizedDescription());
            outcome.failed = true;
            outcome.failedItems.clear();
        }
        if (itemExists(target))
            core::fs::removeItem(target);
    } else if (outcome.destinationExisted) {
        if (!outcome.failed && !core::fs::exchangeItems(target, destination, &error)) {
            core::log("Warning, removeItemAtPath error: {}", error.description());
            outcome.failed = true;
            // A moved item goes back where it came from.
            if (operation.move)
                core::fs::moveItem(target, operation.sourcePath);
        }
        // Now the old item when the swap took place, else the unfinished
        // replacement.
        core::Error removeError;
        if (itemExists(target) && !core::fs::removeItem(target, &removeError))
            core::log("Warning, removeItemAtPath error: {}", removeError.description());
    }

    operation.quota->updateQuotaForPath(destination);
    if (operation.move)
        operation.quota->updateQuotaForPath(operation.sourcePath);
    return outcome;
}

void WebDAVCopyResponse::operationDidEnd(const Operation& operation, Outcome outcome)
{
    m_isCopyInProgress = false;
    if (outcome.preconditionFailed) {
        if (delegate())
            refuse(412, "Precondition Failed");
        return;
    }
    m_failedItems = std::move(outcome.failedItems);
    const std::string& destinationPath = operation.destinationPath;
    const bool arrived = itemExists(destinationPath);
    if (operation.move && arrived) {
        if (!itemExists(operation.sourcePath))
            WebDAVLockManager::sharedManager()->removeSucessfullyDeletedLocksForURI(operation.sourceURI);
        auto self = shared_from_this();
        VKResourceMove info { operation.sourcePath, destinationPath };
        core::RunLoop::main().performAfter(0, [self, info] {
            std::static_pointer_cast<WebDAVCopyResponse>(self)->postWebDAVDidMoveNotification(info);
        });
    }

    auto destination = WebDAVResource::resourceWithURI(operation.destinationURI, destinationPath);
    WebDAVResourceRef destinationParent;
    if (auto parent = parentPathURL(operation.destinationURI)) {
        if (auto parentPath = delegate() ? delegate()->localPathForURI(*parent) : std::nullopt)
            destinationParent = WebDAVResource::resourceWithURI(*parent, *parentPath);
    }
    postCollectionUpdateNotificationForResource(destinationParent.get());
    if (destination && (outcome.destinationWasCollection || destination->isCollection()))
        postCollectionUpdateNotificationForResource(destination.get());
    if (operation.move) {
        postCollectionUpdateNotificationForResource(parentForResource(*m_resource).get());
        if (operation.sourceIsCollection)
            postCollectionUpdateNotificationForResource(m_resource.get());
    }
    if (!delegate())
        return;

    if (!outcome.failed) {
        createHTTPMessageResponseWithStatusCode(outcome.destinationExisted ? 204 : 201);
        setHeaderValue(locationForURI(destination ? destination->URI() : operation.destinationURI, m_hostURL), "Location");
        sendWebDAVDidEndDelegateMessage(End::KeepOpen);
        return;
    }
    // A lone failure of the item the request names is a plain refusal.
    bool onlySource = m_failedItems.size() == 1
        && core::path::standardizingPath(m_failedItems.front()) == core::path::standardizingPath(operation.sourcePath);
    auto document = createDAVMultistatusDocument();
    size_t listed = 0;
    if (!onlySource) {
        std::string base = pathEnsuringTrailingSeparator(operation.sourceURI);
        for (const auto& path : m_failedItems) {
            auto relative = stringByAbbreviatingRelativeToPath(path, operation.sourcePath);
            if (!relative || relative->empty())
                continue;
            auto item = WebDAVResource::resourceWithURI(URLWithPath(base + *relative), path);
            if (!item)
                continue;
            auto element = addDAVResponseElementForResource(*document, *item);
            auto status = DAVElementWithName(*document, "D:status");
            status->setStringValue(DAVStatusLine(403, "Forbidden"));
            element->addChild(status);
            ++listed;
        }
    }
    if (listed == 0) {
        createHTTPMessageResponseWithStatusCode(403, "Forbidden");
        sendWebDAVDidEndDelegateMessage(End::Close);
        return;
    }
    createMultiStatusHTTPMessageResponseForRequest(*request(), *m_resource, *document, m_hostURL);
    sendWebDAVDidEndDelegateMessage(End::KeepOpen);
}
