#include "HTTP/HTTPConnection.h"

#include "HTTP/HTTPBodyGatherer.h"
#include "HTTP/HTTPDigestCheck.h"
#include "HTTP/HTTPRequestBodyReader.h"
#include "HTTP/HTTPServer.h"
#include "Kit/HTTPDates.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Assert.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/HeaderFields.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/SocketStream.h"
#include "Platform/Net/TlsServerContext.h"
#include "Platform/Security/Pkcs12Identity.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Class-wide state, main thread only.
struct ClassState {
    int sslErrorCount = 0;
    bool sslResetPending = false;
    std::shared_ptr<const int> timerToken = std::make_shared<const int>(0);
    // The TLS settings made from the last identity a secure connection used.
    std::shared_ptr<const sec::Pkcs12Identity> identity;
    std::shared_ptr<net::TlsServerContext> tlsContext;
};

ClassState& state()
{
    static ClassState shared;
    return shared;
}

constexpr const char* SSLResetTag = "HTTPConnection.resetLastSSLError";

bool contains(const std::vector<std::string>& list, std::string_view item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}


} // namespace

std::shared_ptr<HTTPConnection> HTTPConnection::create(const std::shared_ptr<AsyncSocket>& socket,
    const std::shared_ptr<HTTPServer>& server)
{
    return make<HTTPConnection>(socket, server);
}

HTTPConnection::HTTPConnection() = default;

HTTPConnection::~HTTPConnection()
{
    if (m_asyncSocket) {
        m_asyncSocket->setDelegate({});
        m_asyncSocket->disconnect();
    }
    endBackgroundTask();
}

void HTTPConnection::initWithAsyncSocket(const std::shared_ptr<AsyncSocket>& socket,
    const std::shared_ptr<HTTPServer>& server)
{
    auto self = sharedAs<HTTPConnection>();
    std::weak_ptr<HTTPConnection> weak = self;
    m_backgroundTaskIdentifier = core::beginBackgroundTask([weak] {
        if (auto connection = weak.lock())
            connection->disconnect();
    });
    m_asyncSocket = socket;
    m_asyncSocket->setDelegate(std::static_pointer_cast<AsyncSocketDelegate>(self));
    m_server = server;
    m_digest.forget();
    readNextRequest();
}

const std::vector<std::string>& HTTPConnection::supportedHTTPVersions() const
{
    static const std::vector<std::string> versions { "HTTP/1.1" };
    return versions;
}

const std::vector<std::string>& HTTPConnection::supportedMethods() const
{
    static const std::vector<std::string> methods { "GET", "POST", "HEAD", "TRACE" };
    return methods;
}

const std::vector<std::string>& HTTPConnection::unrestrictedMethods() const
{
    static const std::vector<std::string> methods { "TRACE" };
    return methods;
}

bool HTTPConnection::isPasswordProtected(const core::URL&) const
{
    return false;
}

std::optional<std::string> HTTPConnection::passwordForUser(const std::string&) const
{
    return std::nullopt;
}

void HTTPConnection::readNextRequest()
{
    // The request is made when its first bytes arrive: a connection that
    // waits for the next one holds none.
    m_request.reset();
    m_awaitingRequest = true;
    m_framing = HTTPBodyFraming();
    m_headBytes = 0;
    m_requestBodyBytes = 0;
    m_requestBodyFinished = false;
    m_bodyStream.reset();
    m_bodyReader.reset();
    m_bodyReadPending = false;
    m_bodyGatherer.reset();
    m_asyncSocket->setReadDeadline(HeadTimeout);
    readHeadLine();
}

void HTTPConnection::readHeadLine()
{
    if (m_headBytes >= MaxHeadLength) {
        rejectOversizedHead();
        return;
    }
    m_asyncSocket->readDataToData(AsyncSocket::CRLFData(), HeadLineTimeout, MaxHeadLength - m_headBytes, HeadTag);
}

void HTTPConnection::rejectBadRequest()
{
    sendResponseWithStatusCode(400, "Bad Request", FinalResponseCloseTag);
}

void HTTPConnection::rejectOversizedHead()
{
    sendResponseWithStatusCode(431, "Request Header Fields Too Large", FinalResponseCloseTag);
}

void HTTPConnection::onSocketDidReadData(AsyncSocket&, const core::Data& data, long tag)
{
    if (tag == UnauthorizedTag) {
        drain(data);
        return;
    }
    if (tag == LingerTag) {
        linger(data);
        return;
    }
    if (!m_request) {
        if (!m_awaitingRequest || tag != HeadTag)
            return;
        m_request = HTTPMessageRequest::create();
    }
    m_awaitingRequest = false;
    if (tag == BodyTag) {
        // Body bytes go to the reader that asked for them alone, and are
        // dropped when it went away.
        m_requestBodyBytes += data.size();
        m_bodyReadPending = false;
        auto reader = std::exchange(m_bodyReader, {}).lock();
        if (reader && m_bodyStream)
            followBodyStep(reader, m_bodyStream->didRead(data.view()));
        return;
    }
    didReadHeadBytes(data, tag);
}

void HTTPConnection::didReadHeadBytes(const core::Data& data, long tag)
{
    m_headBytes += data.size();
    if (!m_request->appendBytes(data)) {
        rejectBadRequest();
        return;
    }
    if (!m_request->isHeaderComplete()) {
        readHeadLine();
        return;
    }
    m_asyncSocket->setReadDeadline(0);
    // Where the body ends is settled before anything else: a request whose
    // head leaves it in doubt is refused, and nothing after it is read.
    m_framing = HTTPBodyFraming::forRequest(m_request->message());
    if (m_framing.refusal) {
        sendResponseWithStatusCode(m_framing.refusal, std::nullopt, FinalResponseCloseTag);
        return;
    }
    if (m_framing.closeAfterAnswer)
        m_request->message().removeHeader("Content-Length");
    keepBodyOfThisRequest();
    handleHTTPRequestWithTag(tag);
}

// A line read takes everything up to the last line end received, so the
// bytes after this request's head may hold its body and the next requests:
// the body (as announced) stays, the rest goes back to the socket.
void HTTPConnection::keepBodyOfThisRequest()
{
    auto& message = m_request->message();
    if (m_framing.kind != HTTPBodyFraming::Kind::Chunked) {
        const auto length = m_framing.length;
        if (message.bodyLength() > length) {
            const auto& body = message.body();
            m_asyncSocket->unreadData(core::Data(std::string_view(body).substr(length)));
            message.setBody(body.substr(0, length));
        }
    }
    m_requestBodyBytes = message.bodyLength();
}

void HTTPConnection::readRequestBody(const std::shared_ptr<HTTPRequestBodyReader>& reader)
{
    TANDRY_ASSERT(reader && m_request && m_request->isHeaderComplete());
    TANDRY_ASSERT(!m_bodyReadPending);
    if (!m_bodyStream)
        m_bodyStream.emplace(m_framing, m_request->body().view(), BodyPieceLength);
    followBodyStep(reader, m_bodyStream->next());
}

void HTTPConnection::readWholeRequestBodyThen(uint64_t limit, std::function<void()> then)
{
    TANDRY_ASSERT(m_framing.kind != HTTPBodyFraming::Kind::Length || m_framing.length <= limit);
    if (m_framing.kind == HTTPBodyFraming::Kind::None
        || (m_framing.kind == HTTPBodyFraming::Kind::Length && m_requestBodyBytes >= m_framing.length))
        return then();
    m_bodyGatherer = std::make_shared<HTTPBodyGatherer>(*this, limit, std::move(then));
    readRequestBody(m_bodyGatherer);
}

void HTTPConnection::followBodyStep(const std::shared_ptr<HTTPRequestBodyReader>& reader, HTTPBodyStream::Step step)
{
    switch (step.kind) {
    case HTTPBodyStream::Step::Kind::Read:
        m_bodyReader = reader;
        m_bodyReadPending = true;
        if (step.readLength > 0)
            m_asyncSocket->readDataToLength(step.readLength, BodyPieceTimeout, BodyTag);
        else
            m_asyncSocket->readDataWithCustomChunkSize(BodyPieceLength, BodyPieceTimeout, BodyTag);
        return;
    case HTTPBodyStream::Step::Kind::Deliver:
        reader->requestBodyDidRead(step.bytes);
        return;
    case HTTPBodyStream::Step::Kind::End:
        reader->requestBodyDidEnd();
        return;
    case HTTPBodyStream::Step::Kind::Fail:
        reader->requestBodyDidFail();
        return;
    }
}

bool HTTPConnection::isRequestBodyUnread() const
{
    if (!m_request || !m_request->isHeaderComplete())
        return false;
    if (m_framing.kind == HTTPBodyFraming::Kind::Chunked)
        return !m_requestBodyFinished;
    return m_framing.length > m_requestBodyBytes;
}

bool HTTPConnection::shouldCloseAfterAnswer() const
{
    return !m_request || m_framing.closeAfterAnswer || m_request->connectionShouldClose();
}

void HTTPConnection::handleHTTPRequestWithTag(long tag)
{
    // An answer sent at once may let go of the request before this returns.
    auto request = m_request;
    const auto& version = m_request->version();
    if (!contains(supportedHTTPVersions(), version)) {
        sendResponseWithStatusCode(505, fmt::format("HTTP Version Not Supported ({})", version));
        return;
    }
    if (version == "HTTP/1.1" && !m_request->headerForKey("Host")) {
        sendResponseWithStatusCode(400, "Bad Request - No Host header");
        return;
    }
    const auto& method = m_request->requestMethod();
    if (method.empty() || !m_request->requestURL()) {
        sendResponseWithStatusCode(400, "Bad Request");
        return;
    }
    if (!contains(supportedMethods(), method)) {
        sendResponseWithStatusCode(405, "Method Not Allowed");
        return;
    }
    // Encoded dot segments ("%2e%2e", "..%2f") survive standardisation and
    // would climb out of a root once decoded.
    if (m_request->hasUnsafePath()) {
        rejectBadRequest();
        return;
    }
    const auto& uri = m_request->standardizedURL();
    if (isPasswordProtected(uri) && !contains(unrestrictedMethods(), method) && !isAuthenticated(tag)) {
        handleUnauthorizedRequestWithTag(tag);
        return;
    }
    performMethod(method, uri, tag);
}

bool HTTPConnection::isAuthenticated(long)
{
    return m_digest.accepts(*m_request, [this](const std::string& user) { return passwordForUser(user); });
}

void HTTPConnection::handleUnauthorizedRequestWithTag(long)
{
    auto response = HTTPMessageResponse::responseWithStatusCode(401);
    response->setHeaderValues(standardResponseHeaders());
    response->setHeaderValue("0", "Content-Length");
    response->setHeaderValue(m_digest.challenge(realm()), "WWW-Authenticate");
    response->setHeaderValue("close", "Connection");
    m_asyncSocket->writeData(response->serializedMessage(), WriteTimeout, UnauthorizedTag);
}

namespace {

// The "Date" text changes once a second; every answer within it shares one.
const std::string& currentDateText()
{
    static thread_local int64_t second = INT64_MIN;
    static thread_local std::string text;
    const core::Date now = core::Date::now();
    const auto whole = static_cast<int64_t>(std::floor(now.timeIntervalSince1970()));
    if (whole != second) {
        second = whole;
        text = RFC1123String(now);
    }
    return text;
}

} // namespace

core::Value::Dictionary HTTPConnection::standardResponseHeaders() const
{
    core::Value::Dictionary headers;
    headers["Date"] = core::Value(currentDateText());
    auto server = m_server.lock();
    headers["Server"] = core::Value(server ? server->serverName() : std::string());
    headers["Accept-Ranges"] = core::Value("none");
    if (m_request && shouldCloseAfterAnswer())
        headers["Connection"] = core::Value("close");
    return headers;
}

void HTTPConnection::addStandardResponseHeaders(HTTPMessage& message) const
{
    message.setHeaderValue("none", "Accept-Ranges");
    if (m_request && shouldCloseAfterAnswer())
        message.setHeaderValue("close", "Connection");
    message.setHeaderValue(currentDateText(), "Date");
    auto server = m_server.lock();
    message.setHeaderValue(server ? std::string_view(server->serverName()) : std::string_view(), "Server");
}

void HTTPConnection::appendHeaderLine(std::string& head, std::string_view name, std::string_view value)
{
    if (!core::HeaderFields::isValidValue(value))
        return;
    head.append(name).append(": ").append(value).append("\r\n");
}

void HTTPConnection::appendStandardResponseHeaders(std::string& head) const
{
    head += "Accept-Ranges: none\r\n";
    if (m_request && shouldCloseAfterAnswer())
        head += "Connection: close\r\n";
    appendHeaderLine(head, "Date", currentDateText());
    auto server = m_server.lock();
    appendHeaderLine(head, "Server", server ? std::string_view(server->serverName()) : std::string_view());
}

void HTTPConnection::sendResponseWithStatusCode(int code)
{
    sendResponseWithStatusCode(code, std::nullopt, FinalResponseTag);
}

void HTTPConnection::sendResponseWithStatusCode(int code, std::optional<std::string_view> description)
{
    sendResponseWithStatusCode(code, description, FinalResponseTag);
}

void HTTPConnection::sendResponseWithStatusCode(int code, std::optional<std::string_view> description, long tag)
{
    auto response = HTTPMessageResponse::responseWithStatusCode(code, description);
    if (!response)
        response = HTTPMessageResponse::responseWithStatusCode(code);
    if (!response)
        response = HTTPMessageResponse::responseWithStatusCode(500);
    addStandardResponseHeaders(*response);
    response->setHeaderValue("0", "Content-Length");
    sendResponseMessage(*response, tag);
}

void HTTPConnection::sendResponseMessage(HTTPMessageResponse& message, long tag)
{
    if (tag == FinalResponseTag && isRequestBodyUnread())
        tag = FinalResponseCloseTag;
    if (tag == FinalResponseCloseTag)
        message.setHeaderValue("close", "Connection");
    m_asyncSocket->writeData(message.serializedMessage(), WriteTimeout, tag);
}

void HTTPConnection::onSocketDidWriteDataWithTag(AsyncSocket&, long tag)
{
    if (tag == FinalResponseTag || tag == FinalResponseCloseTag) {
        const bool shouldClose = shouldCloseAfterAnswer();
        const bool inputMayRemain = m_request
            && (!m_request->isHeaderComplete() || isRequestBodyUnread() || m_framing.refusal);
        m_request.reset();
        if (!shouldClose && tag == FinalResponseTag)
            readNextRequest();
        else
            closeAfterAnswer(inputMayRemain);
    } else if (tag == UnauthorizedTag) {
        // The client is to come back on a new connection: the body it may
        // still send is read and thrown away.
        bool unbounded = false;
        uint64_t missing = 0;
        if (m_request) {
            if (m_framing.kind == HTTPBodyFraming::Kind::Chunked)
                unbounded = !m_requestBodyFinished;
            else if (m_framing.length > m_requestBodyBytes)
                missing = m_framing.length - m_requestBodyBytes;
        }
        m_request.reset();
        if (!unbounded && missing == 0) {
            m_asyncSocket->disconnect();
            return;
        }
        m_draining = true;
        m_asyncSocket->readDataToLength(unbounded ? DrainChunkLength : std::min(missing, DrainChunkLength), DrainTimeout,
            UnauthorizedTag);
    }
}

void HTTPConnection::closeAfterAnswer(bool inputMayRemain)
{
    if (!inputMayRemain) {
        m_asyncSocket->disconnect();
        return;
    }
    // The answer is out: the client reads it and the end of the stream,
    // while what it still sends is taken and dropped.
    m_lingering = true;
    m_asyncSocket->shutdownWriting();
    m_asyncSocket->setReadDeadline(LingerTimeout);
    m_asyncSocket->readDataWithCustomChunkSize(DrainChunkLength, LingerTimeout, LingerTag);
}

void HTTPConnection::linger(const core::Data& data)
{
    m_lingerBytes += data.size();
    if (m_lingerBytes >= LingerLength) {
        m_asyncSocket->disconnect();
        return;
    }
    m_asyncSocket->readDataWithCustomChunkSize(DrainChunkLength, LingerTimeout, LingerTag);
}

bool HTTPConnection::isWaitingForRequest() const
{
    return m_lingering || m_draining || m_awaitingRequest || (m_request && !m_request->isHeaderComplete());
}

void HTTPConnection::drain(const core::Data&)
{
    m_asyncSocket->readDataToLength(DrainChunkLength, DrainTimeout, UnauthorizedTag);
}

bool HTTPConnection::onSocketWillConnect(AsyncSocket& socket)
{
    if (!isSecureServer())
        return true;
    auto& shared = state();
    if (shared.sslErrorCount >= MaxSSLErrors) {
        core::log("Rejecting non-SSL connection");
        shared.sslErrorCount = 0;
        return false;
    }
    auto identity = sslIdentityAndCertificates();
    if (!identity) {
        core::log("Warning: no SSL certificates found for secure server");
        return false;
    }
    if (identity != shared.identity || !shared.tlsContext) {
        core::Error error;
        auto context = net::TlsServerContext::create(identity, &error);
        if (!context) {
            core::log("Warning: no SSL certificates found for secure server");
            return false;
        }
        shared.identity = identity;
        shared.tlsContext = std::move(context);
    }
    return socket.getCFReadStream()->setTLSServer(shared.tlsContext);
}

void HTTPConnection::onSocketWillDisconnectWithError(AsyncSocket&, const core::Error* error)
{
    // Body bytes that arrived before the close still reach their reader.
    if (m_bodyReadPending)
        m_asyncSocket->readDataWithTimeout(BodyPieceTimeout, BodyTag);
    if (!error || error->isEmpty())
        return;
    auto& shared = state();
    if (shared.sslResetPending) {
        core::RunLoop::main().cancelPerforms(core::PerformKey { shared.timerToken, SSLResetTag, {} });
        shared.sslResetPending = false;
    }
    if (error->domain() == net::TlsServerContext::Domain && error->code() == net::TlsServerContext::ProtocolError) {
        ++shared.sslErrorCount;
        shared.sslResetPending = true;
        core::RunLoop::main().performAfter(SSLErrorResetInterval, [] { resetLastSSLError(); },
            core::PerformKey { shared.timerToken, SSLResetTag, {} });
    }
}

void HTTPConnection::resetLastSSLError()
{
    state().sslErrorCount = 0;
    state().sslResetPending = false;
}

void HTTPConnection::onSocketDidDisconnect(AsyncSocket&)
{
    auto keep = shared_from_this();
    if (!m_didDie) {
        m_didDie = true;
        core::NotificationCenter::defaultCenter().post(DidDieNotification, keep);
    }
    endBackgroundTask();
}

bool HTTPConnection::onSocketShouldKeepWritingAfterReadEnd(AsyncSocket&)
{
    return m_request != nullptr;
}

void HTTPConnection::disconnect()
{
    auto keep = shared_from_this();
    if (m_asyncSocket) {
        m_asyncSocket->setDelegate({});
        m_asyncSocket->disconnect();
    }
    m_request.reset();
    m_digest.forget();
    endBackgroundTask();
    if (!m_didDie) {
        m_didDie = true;
        core::NotificationCenter::defaultCenter().post(DidDieNotification, keep);
    }
}

void HTTPConnection::endBackgroundTask()
{
    if (m_backgroundTaskIdentifier == core::InvalidBackgroundTask)
        return;
    core::endBackgroundTask(m_backgroundTaskIdentifier);
    m_backgroundTaskIdentifier = core::InvalidBackgroundTask;
}

void HTTPConnection::resetForTesting()
{
    auto& shared = state();
    core::RunLoop::main().cancelPerforms(shared.timerToken.get());
    HTTPDigestCheck::resetForTesting();
    shared.sslErrorCount = 0;
    shared.sslResetPending = false;
    shared.identity.reset();
    shared.tlsContext.reset();
}

bool HTTPConnection::isMutableURI(const core::URL& uri) const
{
    const auto path = uri.standardized().path();
    if (path == "/" || path.empty())
        return false;
    auto server = m_server.lock();
    if (!server || !server->hasVirtualRoots())
        return true;
    return core::path::pathComponents(path).size() > 2;
}

void HTTPConnection::performMethod(const std::string& method, const core::URL& uri, long tag)
{
    if (method == "GET")
        performGET(uri, tag);
    else if (method == "HEAD")
        performHEAD(uri, tag);
    else if (method == "POST")
        performPOST(uri, tag);
    else if (method == "TRACE")
        performTRACE(uri, tag);
    else
        sendResponseWithStatusCode(405, "Method Not Allowed");
}

namespace {

// The file a base-class GET or HEAD serves, whole; nothing when missing.
std::optional<core::Data> fileForURI(const HTTPServer* server, const core::URL& uri)
{
    if (!server)
        return std::nullopt;
    auto path = server->localPathForURI(uri);
    if (!path)
        return std::nullopt;
    if (uri.hasDirectoryPath())
        *path = core::path::appendingPathComponent(*path, "index.html");
    core::Data contents;
    if (core::fs::isDirectory(*path) || !core::fs::readFile(*path, contents))
        return std::nullopt;
    return contents;
}

} // namespace

std::shared_ptr<HTTPMessageResponse> HTTPConnection::fileResponseForURI(const core::URL& uri, core::Data& contents)
{
    auto server = m_server.lock();
    auto file = fileForURI(server.get(), uri);
    if (!file) {
        sendResponseWithStatusCode(404);
        return nullptr;
    }
    contents = *file;
    auto response = HTTPMessageResponse::responseWithStatusCode(200);
    response->setHeaderValues(standardResponseHeaders());
    response->setHeaderValue(fmt::format("{}", contents.size()), "Content-Length");
    return response;
}

void HTTPConnection::performGET(const core::URL& uri, long)
{
    core::Data contents;
    auto response = fileResponseForURI(uri, contents);
    if (!response)
        return;
    long tag = FinalResponseTag;
    if (isRequestBodyUnread())
        tag = FinalResponseCloseTag;
    if (tag == FinalResponseCloseTag)
        response->setHeaderValue("close", "Connection");
    if (contents.size() == 0) {
        m_asyncSocket->writeData(response->serializedMessage(), WriteTimeout, tag);
        return;
    }
    m_asyncSocket->writeData(response->serializedMessage(), WriteTimeout, PartialResponseTag);
    m_asyncSocket->writeData(contents, WriteTimeout, tag);
}

void HTTPConnection::performHEAD(const core::URL& uri, long)
{
    core::Data contents;
    if (auto response = fileResponseForURI(uri, contents))
        sendResponseMessage(*response, FinalResponseTag);
}

void HTTPConnection::performPOST(const core::URL&, long)
{
    sendResponseWithStatusCode(404);
}

void HTTPConnection::performTRACE(const core::URL& uri, long tag)
{
    const bool chunked = m_framing.kind == HTTPBodyFraming::Kind::Chunked;
    const auto length = m_framing.length;
    if (length == 0 && !chunked) {
        sendResponseWithStatusCode(400);
        return;
    }
    // The echo is held in memory: a body above the head limit is refused.
    if (chunked || length > MaxHeadLength) {
        sendResponseWithStatusCode(413, std::nullopt, FinalResponseCloseTag);
        return;
    }
    if (length > m_requestBodyBytes) {
        readWholeRequestBodyThen(MaxHeadLength, [this, uri, tag] { performTRACE(uri, tag); });
        return;
    }
    auto response = HTTPMessageResponse::responseWithStatusCode(200);
    response->setHeaderValues(standardResponseHeaders());
    response->setHeaderValue("message/http", "Content-Type");
    response->setBody(m_request->body());
    sendResponseMessage(*response, FinalResponseTag);
}

std::string HTTPConnection::description() const
{
    return fmt::format("<{}: {} {}>", className(), fmt::ptr(this), m_asyncSocket ? m_asyncSocket->description() : "");
}
