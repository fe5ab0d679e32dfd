#include "WebDAV/WebDAVPutResponse.h"

#include "FileModel/VKQuotaManager.h"
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

std::string WebDAVPutResponse::temporaryPathForTesting() const
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
    m_streaming = true;
    m_lengthRead = 0;
    readBody();
}

void WebDAVPutResponse::readBody()
{
    auto asked = delegate() ? delegate()->readRequestBody(*this) : core::Result<void>(core::Error::posix(ENOTCONN));
    if (!asked) {
        core::log("Warning, PUT body cannot be read: {}", asked.error().description());
        fail(500);
    }
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

void WebDAVPutResponse::requestBodyDidRead(std::string_view bytes)
{
    if (!m_streaming)
        return;
    m_lengthRead += bytes.size();
    if (m_isChunked) {
        // The room was judged by the length the client announced: a body
        // that outgrows it is refused before its excess reaches the disk.
        if (m_contentLength > 0 && m_lengthRead > m_contentLength)
            return fail(400);
        // Without an announced length the room is judged as the bytes come.
        if (m_allowance && m_lengthRead > *m_allowance)
            return refuseForWantOfRoom();
    }
    if (!writeData(bytes))
        return;
    readBody();
}

void WebDAVPutResponse::requestBodyDidEnd()
{
    if (m_streaming)
        putDidEndSuccessfully();
}

void WebDAVPutResponse::requestBodyDidFail()
{
    if (m_streaming)
        fail(400);
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

void WebDAVPutResponse::refuseForWantOfRoom()
{
    postInsufficientStorageNotification();
    fail(507, "Insufficient Storage");
}
