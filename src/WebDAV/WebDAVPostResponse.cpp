#include "WebDAV/WebDAVPostResponse.h"

#include "FileModel/VKQuotaManager.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVResponseDelegate.h"
#include "WebDAV/WebDAVUploadFile.h"

#include <fmt/format.h>

#include <climits>
#include <cstring>
#include <utility>

namespace {

constexpr std::string_view CRLFCRLF = "\r\n\r\n";

// The offset of `needle` in `bytes`, or npos; linear in both (two-way search).
size_t search(std::string_view bytes, std::string_view needle)
{
    const void* found = memmem(bytes.data(), bytes.size(), needle.data(), needle.size());
    return found ? static_cast<size_t>(static_cast<const char*>(found) - bytes.data()) : std::string_view::npos;
}

std::string_view trimmedOf(std::string_view text, std::string_view characters)
{
    size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// Header and parameter names are compared without regard to case.
std::optional<std::string> fieldValue(const core::Value::Dictionary& fields, std::string_view name)
{
    for (const auto& [key, value] : fields) {
        if (core::ascii::equalIgnoringCase(key, name))
            return value.toString();
    }
    return std::nullopt;
}

// The parameters after a header line's value: "; name=value" pairs, quoted
// values read to their closing quote.
void readParameters(std::string_view rest, core::Value::Dictionary& fields)
{
    while (!rest.empty()) {
        size_t start = rest.find_first_not_of(" \t;");
        if (start == std::string_view::npos)
            return;
        rest.remove_prefix(start);
        size_t end = std::min(rest.find_first_of("=;"), rest.size());
        std::string_view key = trimmedOf(rest.substr(0, end), " \t\"");
        rest.remove_prefix(end);
        if (rest.empty() || rest.front() != '=')
            continue;
        rest.remove_prefix(1);
        rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
        std::string value;
        if (!rest.empty() && rest.front() == '"') {
            size_t at = 1;
            for (; at < rest.size(); ++at) {
                if (rest[at] == '\\' && at + 1 < rest.size() && rest[at + 1] == '"') {
                    value += '"';
                    ++at;
                } else if (rest[at] == '"') {
                    ++at;
                    break;
                } else {
                    value += rest[at];
                }
            }
            rest.remove_prefix(at);
            // Anything between the closing quote and the next ";" is dropped.
            rest.remove_prefix(std::min(rest.find(';'), rest.size()));
        } else {
            size_t valueEnd = std::min(rest.find(';'), rest.size());
            value = trimmedOf(rest.substr(0, valueEnd), " \t\"");
            rest.remove_prefix(valueEnd);
        }
        if (!key.empty() && !value.empty())
            fields.emplace(std::string(key), core::Value(std::move(value)));
    }
}

} // namespace

std::shared_ptr<WebDAVPostResponse> WebDAVPostResponse::create(std::shared_ptr<HTTPMessageRequest> request,
    WebDAVResponseDelegate* delegate)
{
    return std::shared_ptr<WebDAVPostResponse>(new WebDAVPostResponse(std::move(request), delegate));
}

WebDAVPostResponse::~WebDAVPostResponse() = default;

std::string WebDAVPostResponse::temporaryPathForTesting() const
{
    return m_upload ? m_upload->path() : std::string();
}

void WebDAVPostResponse::start()
{
    m_folder = requestResource(false);
    if (!m_folder || !m_folder->isCollection()) {
        endResponseWithStatusCode(409, "Conflict - parent collection does not exist");
        return;
    }
    core::Error error;
    if (!WebDAVLockManager::sharedManager()->isURIAuthorised(m_folder->URI(), *request(), false, &error)) {
        endResponseWithError(error);
        return;
    }
    m_contentLength = request()->contentLength();
    if (m_contentLength == 0) {
        endResponseWithStatusCode(400, "Bad Request - no form data");
        return;
    }
    // The old file stays until the new one is whole, so its size is no room.
    auto available = VKQuotaManager::defaultManager()->quotaAvailableBytes();
    if (available && m_contentLength > *available) {
        postInsufficientStorageNotification();
        endResponseWithStatusCode(507, "Insufficient Storage");
        return;
    }
    // Refused before the client is asked to send the body.
    if (!readBoundary())
        return;
    if (delegate() && delegate()->processExpectHeader() == 417) {
        endResponseWithStatusCode(417);
        return;
    }
    m_reading = true;
    readMoreData();
}

bool WebDAVPostResponse::readBoundary()
{
    auto type = request()->fieldsForRFCHeaderWithKey("Content-Type");
    auto mediaType = type ? fieldValue(*type, "Content-Type") : std::nullopt;
    if (!mediaType || core::ascii::trimmed(*mediaType) != "multipart/form-data") {
        endResponseWithStatusCode(400, "Bad Request - Invalid content type");
        return false;
    }
    auto boundary = fieldValue(*type, "boundary");
    if (!boundary || boundary->empty()) {
        endResponseWithStatusCode(400, "Bad Request - No MIME boundary found");
        return false;
    }
    m_boundary = "--" + *boundary;
    m_boundaryData = "\r\n" + m_boundary;
    return true;
}

void WebDAVPostResponse::readMoreData()
{
    // Without a connection the bytes come from whoever drives the response.
    if (auto* delegate = this->delegate())
        static_cast<void>(delegate->readRequestBody(*this));
}

void WebDAVPostResponse::requestBodyDidRead(std::string_view bytes)
{
    if (!m_reading)
        return;
    // Bytes beyond the announced body belong to no part.
    if (bytes.size() > m_contentLength - m_lengthRead)
        bytes = bytes.substr(0, m_contentLength - m_lengthRead);
    m_lengthRead += bytes.size();
    processPostData(bytes);
}

void WebDAVPostResponse::processPostData(std::string_view bytes)
{
    if (!m_reading)
        return;
    if (!m_upload || bytes.size() < m_boundaryData.size()) {
        std::string input = std::exchange(m_partialData, std::string());
        input.append(bytes);
        if (m_upload)
            processFileData(input);
        else
            processMIMEHeaders(input);
        return;
    }
    if (!m_partialData.empty()) {
        // A delimiter that begins in the held-over tail ends within the
        // first bytes of this read: the seam is searched in a small copy,
        // the read itself is never copied.
        std::string tail = std::exchange(m_partialData, std::string());
        std::string seam = tail;
        seam.append(bytes.substr(0, m_boundaryData.size() - 1));
        size_t delimiter = search(seam, m_boundaryData);
        if (delimiter != std::string_view::npos && delimiter < tail.size()) {
            if (delimiter > 0 && !writeFileData(std::string_view(seam).substr(0, delimiter)))
                return;
            postDidEndSuccessfully();
            return;
        }
        if (!writeFileData(tail))
            return;
    }
    processFileData(bytes);
}

void WebDAVPostResponse::processMIMEHeaders(std::string_view bytes)
{
    for (;;) {
        std::string_view remaining;
        auto fields = getNextMIMEPartHeader(bytes, remaining);
        if (!fields)
            return;
        // A plain field that some uploaders send ahead of the file.
        if (fieldValue(*fields, "name") == "Filename") {
            bytes = remaining;
            continue;
        }
        if (beginFilePart(*fields))
            processFileData(remaining);
        return;
    }
}

std::optional<core::Value::Dictionary> WebDAVPostResponse::getNextMIMEPartHeader(std::string_view bytes,
    std::string_view& remainingData)
{
    size_t end = search(bytes.substr(0, MaxMIMEHeaderLength), CRLFCRLF);
    if (end == std::string_view::npos) {
        if (bytes.size() >= MaxMIMEHeaderLength)
            endResponseWithStatusCode(400, "Bad Request - Invalid MIME header");
        else if (m_lengthRead >= m_contentLength)
            endResponseWithStatusCode(400, "Bad Request - No MIME header found");
        else {
            m_partialData = bytes;
            readMoreData();
        }
        return std::nullopt;
    }
    std::string_view header = bytes.substr(0, end + CRLFCRLF.size());
    remainingData = bytes.substr(header.size());
    size_t at = core::isValidUTF8(header) ? header.find(m_boundary) : std::string_view::npos;
    if (at == std::string_view::npos) {
        endResponseWithStatusCode(400, "Bad Request - Bad MIME boundary");
        return std::nullopt;
    }
    auto fields = fieldsForMIMEHeader(header.substr(at + m_boundary.size()));
    if (!fields) {
        endResponseWithStatusCode(400, "Bad Request - Invalid MIME header");
        return std::nullopt;
    }
    return fields;
}

std::optional<core::Value::Dictionary> WebDAVPostResponse::fieldsForMIMEHeader(std::string_view header)
{
    core::Value::Dictionary fields;
    bool first = true;
    while (!header.empty()) {
        size_t lineEnd = std::min(header.find_first_of("\r\n"), header.size());
        std::string_view line = header.substr(0, lineEnd);
        header.remove_prefix(std::min(lineEnd + 1, header.size()));
        line = trimmedOf(line, " \t");
        if (line.empty())
            continue;
        size_t colon = line.find(':');
        std::string_view name = colon == std::string_view::npos ? std::string_view() : trimmedOf(line.substr(0, colon), " \t");
        std::string_view rest = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        size_t valueEnd = std::min(rest.find(';'), rest.size());
        std::string_view value = trimmedOf(rest.substr(0, valueEnd), " \t");
        if (first && (name.empty() || value.empty()))
            return std::nullopt;
        first = false;
        if (name.empty())
            continue;
        if (!value.empty())
            fields.emplace(std::string(name), core::Value(std::string(value)));
        readParameters(rest.substr(valueEnd), fields);
    }
    if (first)
        return std::nullopt;
    return fields;
}

std::optional<std::string> WebDAVPostResponse::storedFileName(std::string_view filename, bool windowsAgent)
{
    if (windowsAgent && filename.find('\\') != std::string_view::npos)
        filename = filename.substr(filename.rfind('\\') + 1);
    // The name is a name, never a path: nothing may land outside the folder.
    if (filename.find('/') != std::string_view::npos)
        filename = filename.substr(filename.rfind('/') + 1);
    if (filename.empty() || filename == "." || filename == ".." || filename.find('\0') != std::string_view::npos)
        return std::nullopt;
    return std::string(filename);
}

bool WebDAVPostResponse::beginFilePart(const core::Value::Dictionary& fields)
{
    auto agent = request()->headerForKey("User-Agent");
    bool windows = agent && agent->find("Windows") != std::string::npos;
    auto sent = fieldValue(fields, "filename");
    auto name = sent ? storedFileName(*sent, windows) : std::nullopt;
    if (!name || fieldValue(fields, "Content-Disposition") != "form-data"
        || fieldValue(fields, "name") != "vk_upload_filename") {
        endResponseWithStatusCode(400, "Bad Request - Invalid MIME header");
        return false;
    }
    auto encoding = fieldValue(fields, "Content-Transfer-Encoding");
    if (encoding && !encoding->empty() && !core::ascii::equalIgnoringCase(*encoding, "binary")) {
        endResponseWithStatusCode(406, "Not Acceptable - Unhandled Content-Transfer-Encoding");
        return false;
    }
    // Inside the folder even when the request named it without its "/".
    m_itemURI = URLWithPath(pathEnsuringTrailingSeparator(m_folder->URI()) + *name);
    auto path = delegate() ? delegate()->localPathForURI(m_itemURI) : std::nullopt;
    if (!path) {
        // Outside the mapping: an item directly under "/" beside the roots.
        if (!delegate() || !delegate()->isMutableURI(m_itemURI))
            endResponseWithStatusCode(statusCodeForImmutableURI());
        else
            endResponseWithStatusCode(403, "Forbidden - Failed to create file");
        return false;
    }
    auto resource = WebDAVResource::resourceWithURI(m_itemURI, *path);
    // A link that leads out of the roots is no file here: the upload takes
    // its place.
    if (resource && resource->isSymbolicLink() && !isServedPath(*path))
        resource = nullptr;
    if (resource && resource->isCollection()) {
        endResponseWithStatusCode(403, "Forbidden - Resource cannot be a collection");
        return false;
    }
    core::Error error;
    if (!WebDAVLockManager::sharedManager()->isURIAuthorised(m_itemURI, *request(), !resource, &error)) {
        endResponseWithError(error);
        return false;
    }
    if (!delegate()->isMutableURI(m_itemURI)) {
        endResponseWithStatusCode(statusCodeForImmutableURI());
        return false;
    }
    // A name the folder cannot hold is refused now, not after the body.
    if (name->size() > NAME_MAX || !(m_upload = WebDAVUploadFile::create(*path))) {
        core::log("Warning, POST file create failed: {}", *path);
        endResponseWithStatusCode(403, "Forbidden - Failed to create file");
        return false;
    }
    if (!m_upload->open()) {
        core::log("Warning, Failed to create tmp item at path: {}", m_upload->path());
        endResponseWithStatusCode(403, "Forbidden - Failed to create file handle");
        return false;
    }
    return true;
}

void WebDAVPostResponse::processFileData(std::string_view bytes)
{
    size_t delimiter = search(bytes, m_boundaryData);
    if (delimiter != std::string_view::npos) {
        if (delimiter > 0 && !writeFileData(bytes.substr(0, delimiter)))
            return;
        // What follows the delimiter (the epilogue, further parts) is left.
        postDidEndSuccessfully();
        return;
    }
    if (m_lengthRead >= m_contentLength) {
        endResponseWithStatusCode(400, "Bad Request - Terminating MIME boundary not found");
        return;
    }
    // A tail shorter than the delimiter may be its beginning (a CR at the
    // end of a read included): it waits for the next read.
    size_t held = std::min(bytes.size(), m_boundaryData.size() - 1);
    if (bytes.size() > held && !writeFileData(bytes.substr(0, bytes.size() - held)))
        return;
    m_partialData = bytes.substr(bytes.size() - held);
    readMoreData();
}

bool WebDAVPostResponse::writeFileData(std::string_view bytes)
{
    core::Error error;
    if (!m_upload || !m_upload->writeData(bytes, &error)) {
        core::log("NSFileHandle writeData error: {}", error.description());
        core::log("Warning, failed to write POST data");
        endResponseWithStatusCode(507, "Insufficient Storage");
        return false;
    }
    return true;
}

void WebDAVPostResponse::postDidEndSuccessfully()
{
    m_reading = false;
    m_partialData.clear();
    std::string path = m_upload ? m_upload->targetPath() : std::string();
    if (!m_upload || !m_upload->commit()) {
        core::log("Warning, POST file create failed: {}", path);
        endResponseWithStatusCode(403, "Forbidden - Failed to create file");
        return;
    }
    m_upload.reset();
    VKQuotaManager::defaultManager()->updateQuotaForPath(path);
    postCollectionUpdateNotificationForResource(m_folder.get());
    createHTTPMessageResponseWithStatusCode(200, "Success");
    setBody(core::Data(std::string_view("200 Success\r\n")));
    setHeaderValue(locationForURI(m_itemURI), "Location");
    // The connection closes after an upload: what may follow the closing
    // delimiter (an epilogue) is never taken for the next request.
    finish(End::Close);
}

void WebDAVPostResponse::endResponseWithStatusCode(int code, std::optional<std::string_view> description)
{
    createHTTPMessageResponseWithStatusCode(code, description);
    setBody(core::Data(fmt::format("{} {}\r\n", code, description ? *description : std::string_view("(null)"))));
    finish(code > 399 ? End::Close : End::KeepOpen);
}

void WebDAVPostResponse::finish(End end)
{
    m_reading = false;
    m_partialData.clear();
    m_upload.reset();
    if (m_ended)
        return;
    m_ended = true;
    if (auto* delegate = this->delegate())
        delegate->webDAVResponseDidEnd(*this, end);
}

void WebDAVPostResponse::requestBodyDidEnd()
{
    // The parser ends the response when its count of the body runs out; a
    // body that ends first is cut off as well.
    if (m_reading)
        endResponseWithStatusCode(400, "Bad Request - Terminating MIME boundary not found");
}

void WebDAVPostResponse::requestBodyDidFail()
{
    if (m_reading)
        endResponseWithStatusCode(400, "Bad Request");
}

void WebDAVPostResponse::onSocketDidDisconnect()
{
    if (m_ended)
        return;
    if (m_upload) {
        core::log("Warning, POST - removing partial file: {}", m_upload->targetPath());
        m_upload.reset();
        postCollectionUpdateNotificationForResource(m_folder.get());
    }
    finish(End::Close);
}
