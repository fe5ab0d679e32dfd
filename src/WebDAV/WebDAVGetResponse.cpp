#include "WebDAV/WebDAVGetResponse.h"

#include "HTTP/HTTPConnection.h"
#include "Platform/Core/Log.h"
#include "Kit/FileManagerEtag.h"
#include "Kit/HTTPDates.h"
#include "Platform/Core/RegularFile.h"
#include "WebDAV/WebDAVHTMLResponse.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include <fmt/format.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

std::shared_ptr<WebDAVGetResponse> WebDAVGetResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVGetResponse>(new WebDAVGetResponse(std::move(request), delegate));
}

std::shared_ptr<WebDAVResponse> WebDAVGetResponse::responseForRequest(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    auto response = create(request, delegate);
    const core::URL& url = request->standardizedURL();
    auto path = request->requestURL() && delegate ? delegate->localPathForURI(url) : std::nullopt;
    if (!path)
        return response;
    response->m_path = *path;
    response->openWithoutLinks(*path);
    bool isCollection;
    if (response->m_attributes) {
        isCollection = response->m_attributes->isDirectory();
    } else {
        // A link on the way: the item itself decides, as a resource sees it.
        auto resource = WebDAVResource::resourceWithURI(url, *path);
        isCollection = resource && resource->isCollection();
    }
    if (!isCollection)
        return response;
    response->closeFile();
    return WebDAVHTMLResponse::create(std::move(request), delegate);
}

WebDAVGetResponse::~WebDAVGetResponse()
{
    closeFile();
}

void WebDAVGetResponse::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void WebDAVGetResponse::openWithoutLinks(const std::string& path)
{
    closeFile();
    m_attributes.reset();
    m_opened = true;
    m_fd = core::fs::openForReadingWithoutLinks(path);
    if (m_fd < 0)
        return;
    m_attributes = core::fs::attributesOfDescriptor(m_fd);
    if (!m_attributes)
        closeFile();
}

void WebDAVGetResponse::start()
{
    if (WebDAVHTMLResponse::handleGetForHTMLIndexResource(*this, true)) {
        closeFile();
        return;
    }
    // Mapped and opened already when the connection made this response.
    if (!m_path && delegate())
        m_path = delegate()->localPathForURI(requestURL());
    const auto& path = m_path;
    if (!path) {
        endResponseWithStatusCode(404);
        return;
    }
    if (!m_opened)
        openWithoutLinks(*path);
    if (m_fd >= 0) {
        // No link on the way: the path is where the file is.
        if (!isServedRealPath(*path)) {
            endResponseWithStatusCode(404);
            return;
        }
        if (m_attributes->isDirectory()) {
            endResponseWithStatusCode(400);
            return;
        }
        sendOpenedFile(*path);
        return;
    }

    // A link on the way (or nothing there): the item as a resource sees it,
    // then the file it leads to, judged by where it really is.
    m_resource = requestResource(false, false);
    if (!m_resource) {
        // A link whose target is gone is there but cannot be read.
        auto link = core::fs::attributes(*path);
        if (link && link->type == core::fs::FileType::SymbolicLink) {
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
    m_fd = ::open(m_resource->path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    // An item reached through a link that leads out of the roots is not
    // there as far as a client can tell.
    auto realPath = m_fd >= 0 ? core::fs::pathOfDescriptor(m_fd) : std::nullopt;
    if (m_fd >= 0 && (!realPath || !isServedRealPath(*realPath))) {
        endResponseWithStatusCode(404);
        return;
    }
    m_attributes = m_fd >= 0 ? core::fs::attributesOfDescriptor(m_fd) : std::nullopt;
    sendOpenedFile(m_resource->path());
}

void WebDAVGetResponse::sendOpenedFile(const std::string& path)
{
    // A socket cannot even be opened: it is refused as the other special
    // files are, not taken for a failure of the server.
    const bool special =
        m_attributes ? m_attributes->type != core::fs::FileType::Regular : core::fs::isSpecialFile(path);
    if (!m_attributes && !special) {
        core::log("Warning, fileHandleForReadingAtPath failed: {}", path);
        endResponseWithStatusCode(500);
        return;
    }
    if (special) {
        // A FIFO, socket or device is there but is no document: never read.
        core::log("Warning, refused to send {}: not a regular file", path);
        m_streaming = false;
        closeFile();
        static constexpr std::string_view Refusal = "403 Forbidden: not a regular file\r\n";
        createHTTPMessageResponseWithStatusCode(403);
        setHeaderValue("text/plain; charset=utf-8", "Content-Type");
        setHeaderValue(fmt::format("{}", Refusal.size()), "Content-Length");
        setBody(core::Data(Refusal));
        finish(End::Close);
        return;
    }
    m_lengthWritten = 0;
    m_contentLength = m_attributes->size;
    if (m_contentLength <= SmallFileLength && !m_resource && sendSmallFile(path))
        return;
    createHTTPMessageResponseWithStatusCode(200);
    setHeaderValue(fmt::format("{}", m_contentLength), "Content-Length");
    // Through a link the link's own entity headers stand, as a resource
    // gives them; otherwise the open file's.
    if (m_resource)
        setEntityHeadersForResource(*m_resource, m_fd);
    else
        setEntityHeadersForFile(path, *m_attributes, m_fd);
    const auto& url = request()->requestURL();
    if (url && url->query().starts_with("download=1"))
        setHeaderValue("attachment", "Content-Disposition");
    sendBody();
}

// The plain answer most GETs get: the head formatted straight into the
// buffer the file's bytes are read into, written once by the connection.
// Its headers are those the message path gives, in the same order.
bool WebDAVGetResponse::sendSmallFile(const std::string& path)
{
    auto* delegate = this->delegate();
    if (!delegate || !delegate->canSendPrepared())
        return false;
    WebDAVPreparedAnswer answer;
    std::string& out = answer.head;
    out.reserve(512 + static_cast<size_t>(m_contentLength));
    out += "HTTP/1.1 200 OK\r\n";
    HTTPConnection::appendHeaderLine(out, "Content-Length", fmt::format_int(m_contentLength).str());
    HTTPConnection::appendHeaderLine(out, "Content-Type", WebDAVResource::contentTypeForFile(path, m_fd));
    HTTPConnection::appendHeaderLine(out, "Last-Modified", RFC1123String(m_attributes->modificationDate()));
    out += "Etag: \"";
    out += etagForAttributes(*m_attributes);
    out += "\"\r\n";
    const auto& url = request()->requestURL();
    if (url && url->query().starts_with("download=1"))
        out += "Content-Disposition: attachment\r\n";
    delegate->appendStandardHeaders(out);
    out += "\r\n";
    const size_t headLength = out.size();
    if (m_contentLength > 0 && !readSmallFile(out, headLength)) {
        endResponseWithStatusCode(500);
        return true;
    }
    closeFile();
    m_lengthWritten = m_contentLength;
    delegate->sendPrepared(*this, std::move(answer));
    return true;
}

bool WebDAVGetResponse::readSmallFile(std::string& body, size_t offset)
{
    body.resize(offset + static_cast<size_t>(m_contentLength));
    size_t done = 0;
    while (offset + done < body.size()) {
        ssize_t count = ::pread(m_fd, body.data() + offset + done, body.size() - offset - done, static_cast<off_t>(done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            core::log("NSFileHandle readDataOfLength error: {}", core::Error::posix(errno).description());
            return false;
        }
        if (count == 0) {
            core::log("NSFileHandle readDataOfLength return 0 unexpectedly");
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

void WebDAVGetResponse::sendBody()
{
    auto* delegate = this->delegate();
    if (m_contentLength <= SmallFileLength) {
        // Head and body in one write, through the connection's normal send.
        std::string body;
        if (m_contentLength > 0 && !readSmallFile(body)) {
            endResponseWithStatusCode(500);
            return;
        }
        closeFile();
        if (m_contentLength > 0)
            message().setBody(std::move(body));
        m_lengthWritten = m_contentLength;
        if (delegate)
            delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
        return;
    }
    if (!delegate) {
        closeFile();
        return;
    }
    // The connection streams the file after the head; the response runs
    // until the file's last write is reported.
    m_streaming = true;
    WebDAVPreparedAnswer answer;
    answer.fd = std::exchange(m_fd, -1);
    answer.fileLength = m_contentLength;
    answer.pieceTimeout = PieceTimeout;
    delegate->sendPrepared(*this, std::move(answer));
}

void WebDAVGetResponse::endResponseWithStatusCode(int code, std::optional<std::string_view> description)
{
    m_streaming = false;
    closeFile();
    createHTTPMessageResponseWithStatusCode(code, description);
    finish(code > 399 ? End::Close : End::WroteItself);
}

void WebDAVGetResponse::finish(End end)
{
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, end);
}

void WebDAVGetResponse::onSocketDidWriteDataWithTag(long tag)
{
    // The head's report comes first; the body's last write ends the answer.
    if (!m_streaming || (tag != HTTPConnection::FinalResponseTag && tag != HTTPConnection::FinalResponseCloseTag))
        return;
    m_streaming = false;
    m_lengthWritten = m_contentLength;
    finish(End::WroteItself);
}

void WebDAVGetResponse::onSocketDidDisconnect()
{
    if (!m_streaming)
        return;
    m_streaming = false;
    closeFile();
    finish(End::Close);
}
