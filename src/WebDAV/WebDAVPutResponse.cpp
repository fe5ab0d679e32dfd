#include "WebDAV/WebDAVPutResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "HTTP/AsyncSocket.h"
#include "HTTP/HTTPConnection.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Log.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVPreconditions.h"
#include "WebDAV/WebDAVResponseDelegate.h"
#include "WebDAV/WebDAVUploadFile.h"

#include <sys/stat.h>

#include <algorithm>

std::shared_ptr<WebDAVPutResponse> WebDAVPutResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVPutResponse>(new WebDAVPutResponse(std::move(request), delegate));
}

WebDAVPutResponse::~WebDAVPutResponse()
{
    discardTemporaryFile();
}

void WebDAVPutResponse::discardTemporaryFile()
{
    m_upload.reset();
}

std::string WebDAVPutResponse::temporaryPath() const
{
    return m_upload ? m_upload->path() : std::string();
}

void WebDAVPutResponse::fail(int code, std::optional<std::string_view> description)
{
    m_streaming = false;
    discardTemporaryFile();
    endResponseWithStatusCode(code, description);
}

void WebDAVPutResponse::start()
{
    auto* delegate = this->delegate();
    core::URL uri = requestURL();
    auto path = localPathForNewItem("Conflict - parent collection does not exist");
    if (!path)
        return;
    m_path = *path;
    m_resource = WebDAVResource::resourceWithURI(uri, m_path);
    // A link that leads out of the roots is no file here: the upload takes
    // its place, its target untouched.
    if (m_resource && m_resource->isSymbolicLink() && !isServedPath(m_path))
        m_resource = nullptr;
    if ((m_resource && m_resource->isCollection()) || uri.absoluteString().ends_with("/")) {
        endResponseWithStatusCode(405, "Method Not Allowed - Use MKCOL to create collections");
        return;
    }
    auto parent = requestParent();
    if (!parent || !parent->isCollection()) {
        endResponseWithStatusCode(409, "Conflict - parent collection does not exist");
        return;
    }
    core::Error error;
    if (!WebDAVLockManager::sharedManager()->isURIAuthorised(uri, *request(), !m_resource, &error)) {
        endResponseWithError(error);
        return;
    }
    if (!m_resource && !delegate->isMutableURI(uri)) {
        endResponseWithStatusCode(statusCodeForImmutableURI());
        return;
    }
    auto encoding = request()->headerForKey("Transfer-Encoding");
    m_isChunked = encoding && core::ascii::equalIgnoringCase(core::ascii::trimmed(*encoding), "chunked");
    m_contentLength = request()->contentLength();
    if (m_isChunked && m_contentLength == 0)
        m_contentLength = request()->XExpectedEntityLength();

    if (auto available = VKQuotaManager::defaultManager()->quotaAvailableBytes()) {
        uint64_t allowance = *available;
        struct stat existing {};
        if (m_resource && lstat(m_path.c_str(), &existing) == 0)
            allowance += static_cast<uint64_t>(existing.st_size);
        if (m_contentLength > allowance)
            return refuseForWantOfRoom();
        // Judged now, since the body's own bytes will take from the free
        // space the quota manager reports.
        m_allowance = allowance;
    }
    if (WebDAVPreconditions::areGiven(*request())
        && !WebDAVPreconditions::hold(*request(), m_resource ? targetAttributes() : std::nullopt)) {
        endResponseWithStatusCode(412);
        return;
    }

    m_upload = WebDAVUploadFile::create(m_path);
    if (!m_upload) {
        core::log("Warning, PUT file create failed: {}", m_path);
        endResponseWithStatusCode(403);
        return;
    }
    if (m_resource) {
        // Dead properties live in extended attributes, which belong to the
        // file: the replacement carries them over.
        auto kept = m_resource->deadProperties();
        auto temporary = WebDAVResource::resourceWithURI(uri, m_upload->path());
        if (kept && temporary) {
            for (const auto& [propertyName, value] : *kept)
                temporary->setProperty(value, *propertyName);
        }
    }

    if (m_contentLength == 0 && !m_isChunked) {
        putDidEndSuccessfully();
        return;
    }
    if (!m_upload->open()) {
        core::log("Warning, Failed to create tmp item at path: {}", m_upload->path());
        fail(403);
        return;
    }
    if (delegate->processExpectHeader() == 417) {
        fail(417);
        return;
    }
    if (m_isChunked) {
        m_streaming = true;
        m_chunks = HTTPChunkedDecoder();
        m_lengthRead = 0;
        if (request()->bodyLength() > 0)
            handleChunkedDataRead(request()->body().view());
        else
            readNextChunkedPiece();
        return;
    }
    uint64_t received = request()->bodyLength();
    if (received > 0) {
        auto body = request()->body();
        std::string_view bytes = body.view();
        if (bytes.size() > m_contentLength)
            bytes = bytes.substr(0, m_contentLength);
        if (!writeData(bytes))
            return;
        m_lengthRead = bytes.size();
    }
    if (m_lengthRead >= m_contentLength) {
        putDidEndSuccessfully();
        return;
    }
    m_streaming = true;
    readNextPiece();
}

AsyncSocket* WebDAVPutResponse::bodySocket()
{
    auto* connection = delegate() ? delegate()->connectionForWebDAVResponse(*this) : nullptr;
    return connection ? connection->asyncSocket().get() : nullptr;
}

void WebDAVPutResponse::readNextPiece()
{
    if (auto* socket = bodySocket())
        socket->readDataToLength(std::min(m_contentLength - m_lengthRead, ReadLength), ReadTimeout, HTTPConnection::BodyTag);
    else
        fail(500);
}

bool WebDAVPutResponse::writeData(std::string_view bytes)
{
    core::Error error;
    if (!m_upload || !m_upload->writeData(bytes, &error)) {
        core::log("NSFileHandle writeData error: {}", error.description());
        fail(507, "Insufficient Storage");
        return false;
    }
    return true;
}

void WebDAVPutResponse::onSocketDidReadData(const core::Data& data, long)
{
    if (!m_streaming)
        return;
    if (m_isChunked) {
        handleChunkedDataRead(data.view());
        return;
    }
    std::string_view bytes = data.view();
    if (bytes.size() > m_contentLength - m_lengthRead)
        bytes = bytes.substr(0, m_contentLength - m_lengthRead);
    if (!writeData(bytes))
        return;
    m_lengthRead += bytes.size();
    // The connection counts the body read here, so that a body read whole
    // leaves the connection open for the client's next request.
    if (auto* connection = delegate() ? delegate()->connectionForWebDAVResponse(*this) : nullptr)
        connection->noteRequestBodyBytes(bytes.size());
    if (m_lengthRead < m_contentLength) {
        readNextPiece();
        return;
    }
    m_streaming = false;
    putDidEndSuccessfully();
}

std::optional<core::fs::Attributes> WebDAVPutResponse::targetAttributes() const
{
    auto attributes = core::fs::attributes(m_path);
    if (attributes && attributes->type == core::fs::FileType::SymbolicLink
        && (!core::fs::exists(m_path) || !isServedPath(m_path)))
        return std::nullopt;
    return attributes;
}

void WebDAVPutResponse::putDidEndSuccessfully()
{
    m_streaming = false;
    // The file may have changed while the body came in: the conditions are
    // judged again before it is replaced.
    if (WebDAVPreconditions::areGiven(*request()) && !WebDAVPreconditions::hold(*request(), targetAttributes())) {
        fail(412);
        return;
    }
    if (!m_upload || !m_upload->commit()) {
        core::log("Warning, PUT file create failed: {}", m_path);
        fail(403);
        return;
    }
    m_upload.reset();
    core::URL uri = requestURL();
    m_resource = WebDAVResource::resourceWithURI(uri, m_path);
    VKQuotaManager::defaultManager()->updateQuotaForPath(m_path);
    postCollectionUpdateNotificationForResource(requestParent().get());
    createHTTPMessageResponseWithStatusCode(201);
    setHeaderValue(locationForURI(uri), "Location");
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, End::KeepOpen);
}

void WebDAVPutResponse::onSocketWillDisconnectWithError(const core::Error*)
{
    // Bytes that arrived before the close still reach the file.
    auto* socket = m_streaming ? bodySocket() : nullptr;
    if (socket)
        socket->readDataWithTimeout(ReadTimeout, HTTPConnection::BodyTag);
}

void WebDAVPutResponse::onSocketDidDisconnect()
{
    if (!m_streaming)
        return;
    m_streaming = false;
    core::log("Warning, PUT - removing partial file: {}", m_path);
    discardTemporaryFile();
    postCollectionUpdateNotificationForResource(requestParent().get());
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, End::Close);
}

void WebDAVPutResponse::readNextChunkedPiece()
{
    if (auto* socket = bodySocket())
        socket->readDataWithCustomChunkSize(ReadLength, ReadTimeout, HTTPConnection::BodyTag);
    else
        fail(500);
}

void WebDAVPutResponse::handleChunkedDataRead(std::string_view data)
{
    if (m_chunks.isDone())
        return;
    std::string output;
    output.reserve(data.size());
    m_chunks.decode(data, output);
    // The room was judged by the length the client announced: a body that
    // outgrows it is refused before its excess reaches the disk.
    if (m_chunks.hasFailed() || (m_contentLength > 0 && m_chunks.decodedLength() > m_contentLength)) {
        handleChunkedTransferError(400);
        return;
    }
    // Without an announced length the room is judged as the bytes come.
    if (m_allowance && m_chunks.decodedLength() > *m_allowance)
        return refuseForWantOfRoom();
    if (!output.empty() && !writeData(output))
        return;
    if (m_chunks.isDone()) {
        // The trailer is left unread: the connection closes after the
        // answer rather than take it for the next request.
        putDidEndSuccessfully();
        return;
    }
    readNextChunkedPiece();
}

void WebDAVPutResponse::refuseForWantOfRoom()
{
    postInsufficientStorageNotification();
    fail(507, "Insufficient Storage");
}

void WebDAVPutResponse::handleChunkedTransferError(int code)
{
    fail(code);
}
