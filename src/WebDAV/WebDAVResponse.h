#pragma once

#include "HTTP/HTTPMessageRequest.h"
#include "HTTP/HTTPMessageResponse.h"
#include "WebDAV/WebDAVResource.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CXMLDocument;
class WebDAVResponseDelegate;

// Posted on the main thread for each folder whose listing a WebDAV method
// changed; object the response, user info "Path" (local path) and "URI".
inline constexpr const char* WebDAVCollectionDidUpdateNotification = "WebDAVCollectionDidUpdateNotification";
// Posted when an upload was refused for want of space (no object, no info).
inline constexpr const char* WebDAVInsufficientStorageNotification = "WebDAVInsufficientStorageNotification";

// The base of every WebDAV method response: itself the HTTP response that
// goes back, made for one request by the connection (its delegate), started,
// and ended exactly once by handing the connection a socket tag.
class WebDAVResponse : public HTTPMessageResponse {
public:
    // Tags handed to the delegate at the end.
    static constexpr int KeepOpenTag = 30;
    static constexpr int CloseTag = 31;
    static constexpr int WroteItselfTag = 33;

    // Raises "VKNotImplemented" unless a method response supplies it.
    virtual void start();

    const std::shared_ptr<HTTPMessageRequest>& request() const { return m_request; }
    WebDAVResponseDelegate* delegate() const { return m_delegate; }
    void setDelegate(WebDAVResponseDelegate* delegate) { m_delegate = delegate; }

    // The message with the status and reason phrase (nothing: the standard
    // one) and "Content-Length: 0".
    void createHTTPMessageResponseWithStatusCode(int code, std::optional<std::string_view> description = std::nullopt);
    // Ends with 30 below 400, else 31.
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

    // Socket events the connection passes on while the response runs. Only
    // responses that stream the request body take its reads (tag 20).
    virtual bool readsRequestBody() const { return false; }
    virtual void onSocketDidReadData(const core::Data&, long) { }
    virtual void onSocketDidWriteDataWithTag(long) { }
    // Nothing: the connection's own answer (time out).
    virtual std::optional<bool> onSocketShouldTimeout() { return std::nullopt; }
    virtual void onSocketWillDisconnectWithError(const core::Error*) { }
    virtual void onSocketDidDisconnect() { }

    // The resource at the request's URL as the delegate maps it.
    WebDAVResourceRef requestResource(bool allowNull) const;
    // The local path of the request's URL for a method that makes an item
    // there. Outside the mapping (beside the server's roots, or below a
    // parent that is not there) it ends the response, with the immutable
    // status or 409 and the text given, and answers nothing.
    std::optional<std::string> localPathForNewItem(std::string_view missingParentDescription);
    // The folder the request's URL names its item in; nothing when absent.
    WebDAVResourceRef requestParent() const;
    // The URI's escaped path as an absolute URL on the delegate's host (the
    // path alone without one), for "Location".
    std::string locationForURI(const core::URL& uri) const;
    // The same on a host captured earlier.
    static std::string locationForURI(const core::URL& uri, const std::optional<core::URL>& host);

    // "Last-Modified", "Etag" and, for a file, "Content-Type": what GET and
    // HEAD say of an item.
    void setEntityHeadersForResource(const WebDAVResource& resource);
    // Whether a resolved path (links followed) lies in one of the server's
    // roots, so that a link in the store cannot hand out files beyond it.
    // Without a connection (nothing to ask) everything is.
    bool isServedRealPath(const std::string& realPath) const;
    // Whether the folder an item is named in, links followed, lies in one of
    // the server's roots: a link on the way must not let a method create or
    // remove items beyond them. The item itself is not followed.
    bool isServedFolderOfPath(const std::string& path) const;
    // Whether an existing item, links followed, lies in one of the roots;
    // true for an item that does not resolve (nothing to hand out).
    bool isServedItemAtPath(const std::string& path) const;

protected:
    WebDAVResponse(std::shared_ptr<HTTPMessageRequest> request, WebDAVResponseDelegate* delegate)
        : m_request(std::move(request)), m_delegate(delegate) { }

    // The request's URL standardised, or "/" when it has none.
    core::URL requestURL() const;

private:
    std::shared_ptr<HTTPMessageRequest> m_request;
    WebDAVResponseDelegate* m_delegate = nullptr;
};
