#include "WebDAV/WebDAVResponse.h"

#include "Kit/FileManagerEtag.h"
#include "Kit/HTTPDates.h"
#include "Kit/URLAdditions.h"
#include "Kit/XML/CXMLDocument.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "WebDAV/WebDAVNullResource.h"
#include "WebDAV/WebDAVResponseDelegate.h"


#include <climits>
#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>

namespace {

// The escaped path below the host's URL; escaped already, so it is resolved
// as it stands rather than escaped a second time.
std::string absoluteLocation(const std::string& escapedPath, const std::optional<core::URL>& host)
{
    if (!host)
        return escapedPath;
    std::string_view relative = escapedPath;
    relative.remove_prefix(std::min(relative.size(), relative.find_first_not_of('/')));
    auto location = core::URL::parse(relative, *host);
    return location ? location->absoluteString() : escapedPath;
}

} // namespace

const core::URL& WebDAVResponse::requestURL() const
{
    return m_request->standardizedURL();
}

void WebDAVResponse::createHTTPMessageResponseWithStatusCode(int code, std::optional<std::string_view> description)
{
    if (!makeMessage(code, description))
        makeMessage(code, std::nullopt);
    setHeaderValue("0", "Content-Length");
}

void WebDAVResponse::endResponseWithStatusCode(int code, std::optional<std::string_view> description)
{
    createHTTPMessageResponseWithStatusCode(code, description);
    if (m_delegate)
        m_delegate->webDAVResponseDidEnd(*this, code < 400 ? End::KeepOpen : End::Close);
}

std::string WebDAVResponse::statusTextForError(const core::Error& error)
{
    auto status = error.userInfo().find(WebDAVResource::StatusKey);
    return status != error.userInfo().end() && status->second.isString() ? status->second.string()
                                                                         : error.localizedDescription();
}

void WebDAVResponse::endResponseWithError(const core::Error& error)
{
    endResponseWithStatusCode(static_cast<int>(error.code()), statusTextForError(error));
}

std::string WebDAVResponse::depthHeaderForRequest(const HTTPMessageRequest& request)
{
    auto depth = request.headerForKey("Depth");
    return depth && !depth->empty() ? *depth : std::string("infinity");
}

void WebDAVResponse::createMultiStatusHTTPMessageResponseForRequest(const HTTPMessageRequest& request,
    const WebDAVResource& resource, const CXMLDocument& document, const std::optional<core::URL>& hostURL)
{
    createMultiStatusHTTPMessageResponseForRequest(request, resource, document.XMLData().value_or(core::Data()), hostURL);
}

void WebDAVResponse::createMultiStatusHTTPMessageResponseForRequest(const HTTPMessageRequest& request,
    const WebDAVResource& resource, const core::Data& body, const std::optional<core::URL>& hostURL)
{
    makeMessage(207, "Multi-Status");
    setHeaderValue("text/xml; charset=\"utf-8\"", "Content-Type");
    const auto& url = request.requestURL();
    if (url) {
        core::URL standardized = url->standardized();
        if (standardized.path() != resource.URI().path()
            || standardized.hasDirectoryPath() != resource.URI().hasDirectoryPath()) {
            setHeaderValue(absoluteLocation(escapedPathString(resource.URI()), hostURL), "Location");
        }
    }
    setBody(body);
}

void WebDAVResponse::postCollectionUpdateNotificationForResource(const WebDAVResource* resource)
{
    if (!resource) {
        core::log("Warning, attempting to post collection notification for nil resource");
        return;
    }
    core::NotificationCenter::defaultCenter().postOnMainThread(WebDAVCollectionDidUpdateNotification,
        shared_from_this(), { resource->path(), resource->URI().relativeString() });
}

void WebDAVResponse::postInsufficientStorageNotification()
{
    core::NotificationCenter::defaultCenter().post(WebDAVInsufficientStorageNotification);
}

WebDAVResourceRef WebDAVResponse::parentForResource(const WebDAVResource& resource) const
{
    auto parent = parentPathURL(resource.URI());
    if (!parent || !m_delegate)
        return nullptr;
    auto path = m_delegate->localPathForURI(*parent);
    return path ? WebDAVResource::resourceWithURI(*parent, *path) : nullptr;
}

int WebDAVResponse::statusCodeForImmutableURI() const
{
    auto agent = m_request->headerForKey("User-Agent");
    return agent && agent->find("WebDAVFS") != std::string::npos ? 401 : 403;
}

WebDAVResourceRef WebDAVResponse::requestResource(bool allowNull, bool judgeLinks) const
{
    if (!m_delegate)
        return nullptr;
    core::URL url = requestURL();
    auto path = m_delegate->localPathForURI(url);
    if (!path)
        return nullptr;
    auto resource = allowNull ? WebDAVResource::resourceWithURIMaybeNull(url, *path) : WebDAVResource::resourceWithURI(url, *path);
    if (resource && judgeLinks && !dynamic_cast<WebDAVNullResource*>(resource.get()) && !isServedPath(resource->path()))
        return nullptr;
    return resource;
}

std::optional<std::string> WebDAVResponse::localPathForNewItem(std::string_view missingParentDescription)
{
    core::URL uri = requestURL();
    auto path = m_delegate ? m_delegate->localPathForURI(uri) : std::nullopt;
    if (path)
        return path;
    if (m_delegate && !m_delegate->isMutableURI(uri))
        endResponseWithStatusCode(statusCodeForImmutableURI());
    else
        endResponseWithStatusCode(409, missingParentDescription);
    return std::nullopt;
}

WebDAVResourceRef WebDAVResponse::requestParent() const
{
    auto parentURI = parentPathURL(requestURL());
    auto parentPath = parentURI && m_delegate ? m_delegate->localPathForURI(*parentURI) : std::nullopt;
    auto parent = parentPath ? WebDAVResource::resourceWithURI(*parentURI, *parentPath) : nullptr;
    return parent && isServedPath(parent->path()) ? parent : nullptr;
}

std::string WebDAVResponse::locationForURI(const core::URL& uri) const
{
    return locationForURI(uri, m_delegate ? m_delegate->localHost() : std::nullopt);
}

std::string WebDAVResponse::locationForURI(const core::URL& uri, const std::optional<core::URL>& host)
{
    return absoluteLocation(escapedPathString(uri), host);
}

void WebDAVResponse::setEntityHeadersForFile(const std::string& path, const core::fs::Attributes& attributes, int fd)
{
    if (!attributes.isDirectory())
        setHeaderValue(WebDAVResource::contentTypeForFile(path, fd), "Content-Type");
    setHeaderValue(RFC1123String(attributes.modificationDate()), "Last-Modified");
    setHeaderValue("\"" + etagForAttributes(attributes) + "\"", "Etag");
}

void WebDAVResponse::setEntityHeadersForResource(const WebDAVResource& resource, int fd)
{
    if (!resource.isCollection()) {
        if (auto type = resource.mimeType(fd))
            setHeaderValue(*type, "Content-Type");
    }
    if (auto modified = resource.fileModificationDate())
        setHeaderValue(RFC1123String(*modified), "Last-Modified");
    if (auto etag = resource.etag())
        setHeaderValue(*etag, "Etag");
}

namespace {

std::optional<std::string> resolvedPath(const std::string& path)
{
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer))
        return std::nullopt;
    return std::string(buffer);
}

} // namespace

bool WebDAVResponse::isServedRealPath(const std::string& realPath) const
{
    return !m_delegate || m_delegate->isServedRealPath(realPath);
}

bool WebDAVResponse::isServedPath(const std::string& path) const
{
    // With no link on the way the path is its own resolved path: one call
    // instead of a look at every component.
    int fd = core::fs::openWithoutLinks(path, O_PATH);
    if (fd >= 0) {
        ::close(fd);
        return isServedRealPath(core::path::standardizingPath(path));
    }
    if (auto real = resolvedPath(path))
        return isServedRealPath(*real);
    // Nothing there (or a link leading nowhere): the folder it would be in
    // decides.
    return isServedFolderOfPath(path);
}

bool WebDAVResponse::isServedFolderOfPath(const std::string& path) const
{
    auto folder = resolvedPath(core::path::deletingLastPathComponent(core::path::standardizingPath(path)));
    return folder && isServedRealPath(*folder);
}

WebDAVResourceList WebDAVResponse::servedSubresourcesForResource(const WebDAVResource& resource, std::string_view depth)
{
    auto members = m_delegate ? m_delegate->webDAVResponse(*this, resource, depth) : std::nullopt;
    if (!members)
        return {};
    // Only a link can lead out of a folder that is served itself.
    std::erase_if(*members, [this](const WebDAVResourceRef& member) {
        return member->isSymbolicLink() && !isServedPath(member->path());
    });
    return std::move(*members);
}
