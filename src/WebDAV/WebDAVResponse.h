#pragma once

#include "HTTP/HTTPMessageRequest.h"
#include "HTTP/HTTPMessageResponse.h"
#include "HTTP/HTTPRequestBodyReader.h"
#include "Platform/Core/Notification.h"
#include "WebDAV/WebDAVResource.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CXMLDocument;

// An item a WebDAV method touches: its local path and its URI.
struct WebDAVItemNews {
    std::string path;
    std::string uri;
};
// Posted on the main thread for each folder whose listing a WebDAV method
// changed; object the response.
inline constexpr core::NoticeName<WebDAVItemNews> WebDAVCollectionDidUpdateNotification { "WebDAVCollectionDidUpdateNotification" };
// Posted when an upload was refused for want of space (no object, no info).
inline constexpr const char* WebDAVInsufficientStorageNotification = "WebDAVInsufficientStorageNotification";

// The base of every WebDAV method response: itself the HTTP response that
// goes back, made for one request by the connection (its delegate), started,
// and ended exactly once by telling the connection how it ended.
class WebDAVResponse : public HTTPMessageResponse, public HTTPRequestBodyReader {
public:
    using End = WebDAVResponseEnd;

    // Begins the answer; each method's response supplies it.
    virtual void start() = 0;

    const std::shared_ptr<HTTPMessageRequest>& request() const { return m_request; }
    WebDAVResponseDelegate* delegate() const { return m_delegate; }
    void setDelegate(WebDAVResponseDelegate* delegate) { m_delegate = delegate; }

    // The message with the status and reason phrase (nothing: the standard
    // one) and "Content-Length: 0".
    void createHTTPMessageResponseWithStatusCode(int code, std::optional<std::string_view> description = std::nullopt);
    // Ends to be sent with the connection kept open below 400, else closed.
    virtual void endResponseWithStatusCode(int code, std::optional<std::string_view> description = std::nullopt);
    // Ends with the error's code and its status text (or description).
    void endResponseWithError(const core::Error& error);
    // The "WebDAVStatus" text of an engine error, else its description.
    static std::string statusTextForError(const core::Error& error);

    // "infinity" when the request has no (or an empty) Depth header.
    static std::string depthHeaderForRequest(const HTTPMessageRequest& request);
    // The 207 message with the document as body, and "Location" when the
    // request named a folder without its trailing "/".
    void createMultiStatusHTTPMessageResponseForRequest(const HTTPMessageRequest& request, const WebDAVResource& resource,
        const CXMLDocument& document, const std::optional<core::URL>& hostURL);
    // The same with a body already written.
    void createMultiStatusHTTPMessageResponseForRequest(const HTTPMessageRequest& request, const WebDAVResource& resource,
        const core::Data& body, const std::optional<core::URL>& hostURL);

    void postCollectionUpdateNotificationForResource(const WebDAVResource* resource);
    static void postInsufficientStorageNotification();
    WebDAVResourceRef parentForResource(const WebDAVResource& resource) const;
    // 401 for clients whose user agent holds "WebDAVFS" (they then give up
    // quietly), 403 for the others.
    int statusCodeForImmutableURI() const;

    // The request body's pieces, for a response that asked the delegate for
    // them (readRequestBody): nothing by default.
    void requestBodyDidRead(std::string_view) override { }
    void requestBodyDidEnd() override { }
    void requestBodyDidFail() override { }

    // Socket events the connection passes on while the response runs.
    virtual void onSocketDidWriteDataWithTag(long) { }
    // Nothing: the connection's own answer (time out).
    virtual std::optional<bool> onSocketShouldTimeout() { return std::nullopt; }
    virtual void onSocketWillDisconnectWithError(const core::Error*) { }
    virtual void onSocketDidDisconnect() { }

    // The resource at the request's URL as the delegate maps it; nothing
    // when a link on the way (or the item itself) leads out of the server's
    // roots, unless `judgeLinks` is off (a caller that judges the item it
    // opened instead).
    WebDAVResourceRef requestResource(bool allowNull, bool judgeLinks = true) const;
    // The local path of the request's URL for a method that makes an item
    // there. Outside the mapping (beside the server's roots, or below a
    // parent that is not there) it ends the response, with the immutable
    // status or 409 and the text given, and answers nothing.
    std::optional<std::string> localPathForNewItem(std::string_view missingParentDescription);
    // The folder the request's URL names its item in; nothing when absent
    // or reached through a link that leads out of the roots.
    WebDAVResourceRef requestParent() const;
    // The URI's escaped path as an absolute URL on the delegate's host (the
    // path alone without one), for "Location".
    std::string locationForURI(const core::URL& uri) const;
    // The same on a host captured earlier.
    static std::string locationForURI(const core::URL& uri, const std::optional<core::URL>& host);

    // "Last-Modified", "Etag" and, for a file, "Content-Type": what GET and
    // HEAD say of an item.
    // With `fd`, the file held open at the resource's path.
    void setEntityHeadersForResource(const WebDAVResource& resource, int fd = -1);
    // The same from attributes already read, of the file `fd` holds open.
    void setEntityHeadersForFile(const std::string& path, const core::fs::Attributes& attributes, int fd);
    // Whether an item may be handed out or changed: its path, with every
    // link on it followed (the item's own included), lies in one of the
    // server's roots. An item that does not exist is judged by its folder.
    // One rule for every method, so that a link in the store never reaches
    // files beyond it; without a connection to ask, everything is served.
    bool isServedPath(const std::string& path) const;
    // The same for a path already resolved (no link left in it).
    bool isServedRealPath(const std::string& realPath) const;
    // Whether the folder an item is named in is served, links followed; the
    // item itself is not followed (a link is removed or replaced as itself).
    bool isServedFolderOfPath(const std::string& path) const;
    // The delegate's members of a collection to the depth, without the links
    // among them that lead out of the roots.
    WebDAVResourceList servedSubresourcesForResource(const WebDAVResource& resource, std::string_view depth);

protected:
    WebDAVResponse(std::shared_ptr<HTTPMessageRequest> request, WebDAVResponseDelegate* delegate)
        : m_request(std::move(request)), m_delegate(delegate) { }

    // The request's URL standardised, or "/" when it has none.
    const core::URL& requestURL() const;

private:
    std::shared_ptr<HTTPMessageRequest> m_request;
    WebDAVResponseDelegate* m_delegate = nullptr;
};
