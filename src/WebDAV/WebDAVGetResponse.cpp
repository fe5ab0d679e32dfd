#include "WebDAV/WebDAVGetResponse.h"

#include "HTTP/AsyncSocket.h"
#include "HTTP/HTTPConnection.h"
#include "Platform/Core/FileHandle.h"
#include "Platform/Core/Log.h"
#include "WebDAV/WebDAVHTMLResponse.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <fmt/format.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace {

// Where the open descriptor really leads, links resolved when it was opened.
std::optional<std::string> pathOfDescriptor(int fd)
{
    char buffer[PATH_MAX];
    ssize_t length = readlink(fmt::format("/proc/self/fd/{}", fd).c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, static_cast<size_t>(length));
}

} // namespace

std::shared_ptr<WebDAVGetResponse> WebDAVGetResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVGetResponse>(new WebDAVGetResponse(std::move(request), delegate));
}

WebDAVGetResponse::~WebDAVGetResponse()
{
    closeFile();
}

void WebDAVGetResponse::closeFile()
{
    if (m_fileHandle)
        m_fileHandle->closeFile();
    m_fileHandle.reset();
}

void WebDAVGetResponse::start()
{
    if (WebDAVHTMLResponse::handleGetForHTMLIndexResource(*this, true))
        return;
    // Judged below by where the opened file really is: one look for both.
    m_resource = requestResource(false, false);
    if (!m_resource) {
        // A link whose target is gone is there but cannot be read.
        auto path = delegate() ? delegate()->localPathForURI(requestURL()) : std::nullopt;
        struct stat link {};
        if (path && lstat(path->c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            core::log("Warning, fileHandleForReadingAtPath failed: {}", *path);
            endResponseWithStatusCode(500);
            return;
        }
        endResponseWithStatusCode(404);
        return;
    }
    if (m_resource->isCollection()) {
        endResponseWithStatusCode(400);
        return;
    }
    m_lengthWritten = 0;
    m_fileHandle = core::FileHandle::fileHandleForReadingAtPath(m_resource->path());
    // An item reached through a link that leads out of the roots is not
    // there as far as a client can tell.
    auto realPath = m_fileHandle ? pathOfDescriptor(m_fileHandle->fileDescriptor()) : std::nullopt;
    if (m_fileHandle && (!realPath || !isServedRealPath(*realPath))) {
        closeFile();
        endResponseWithStatusCode(404);
        return;
    }
    struct stat status {};
    if (!m_fileHandle || fstat(m_fileHandle->fileDescriptor(), &status) != 0 || !S_ISREG(status.st_mode)) {
        core::log("Warning, fileHandleForReadingAtPath failed: {}", m_resource->path());
        closeFile();
        endResponseWithStatusCode(500);
        return;
    }
    m_contentLength = static_cast<uint64_t>(status.st_size);

    createHTTPMessageResponseWithStatusCode(200);
    setGetResponseHeaders(*m_resource);
    if (m_contentLength == 0) {
        closeFile();
        if (auto* delegate = this->delegate())
            delegate->webDAVResponseDidEnd(*this, KeepOpenTag);
        return;
    }
    auto* connection = delegate() ? delegate()->connectionForWebDAVResponse(*this) : nullptr;
    if (!connection || !connection->asyncSocket() || !connection->asyncSocket()->isConnected()) {
        closeFile();
        if (auto* delegate = this->delegate())
            delegate->webDAVResponseDidEnd(*this, CloseTag);
        return;
    }
    setHeaderValues(connection->standardResponseHeaders());
    if (connection->isRequestBodyUnread()) {
        m_lastPieceTag = CloseTag;
        setHeaderValue("close", "Connection");
    }
    m_streaming = true;
    m_writesInFlight = 1;
    auto& socket = *connection->asyncSocket();
    socket.writeData(serializedMessage(), HeadTimeout, HTTPConnection::PartialResponseTag);
    // The head may have gone out at once, its report queueing the first piece.
    if (m_streaming && m_writesInFlight == 1 && m_lengthWritten < m_contentLength)
        writeDataToSocket(socket);
}

void WebDAVGetResponse::setGetResponseHeaders(const WebDAVResource& resource)
{
    setHeaderValue(fmt::format("{}", m_contentLength), "Content-Length");
    setEntityHeadersForResource(resource);
    const auto& url = request()->requestURL();
    if (url && url->query().starts_with("download=1"))
        setHeaderValue("attachment", "Content-Disposition");
}

void WebDAVGetResponse::endResponseWithStatusCode(int code, std::optional<std::string_view> description)
{
    m_streaming = false;
    closeFile();
    createHTTPMessageResponseWithStatusCode(code, description);
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, code > 399 ? CloseTag : WroteItselfTag);
}

void WebDAVGetResponse::onSocketDidWriteDataWithTag(long tag)
{
    if (!m_streaming || (tag != HTTPConnection::PartialResponseTag && tag != m_lastPieceTag))
        return;
    --m_writesInFlight;
    if (m_lengthWritten >= m_contentLength) {
        if (m_writesInFlight > 0)
            return;
        m_streaming = false;
        closeFile();
        if (auto* delegate = this->delegate())
            delegate->webDAVResponseDidEnd(*this, WroteItselfTag);
        return;
    }
    auto* connection = delegate() ? delegate()->connectionForWebDAVResponse(*this) : nullptr;
    if (connection && connection->asyncSocket())
        writeDataToSocket(*connection->asyncSocket());
}

void WebDAVGetResponse::writeDataToSocket(AsyncSocket& socket)
{
    // The socket reads the file itself and closes the connection when it
    // fails or ends early; that ends this response as a departed client.
    uint64_t length = std::min(PieceLength, m_contentLength - m_lengthWritten);
    uint64_t offset = m_lengthWritten;
    m_lengthWritten += length;
    ++m_writesInFlight;
    socket.writeFile(m_fileHandle->fileDescriptor(), offset, length, PieceTimeout,
        m_lengthWritten >= m_contentLength ? m_lastPieceTag : HTTPConnection::PartialResponseTag);
}

void WebDAVGetResponse::onSocketDidDisconnect()
{
    if (!m_streaming)
        return;
    m_streaming = false;
    closeFile();
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, CloseTag);
}
