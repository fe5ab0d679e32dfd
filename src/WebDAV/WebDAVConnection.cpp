#include "WebDAV/WebDAVConnection.h"

#include "HTTP/HTTPServer.h"
#include "Kit/HTTPDates.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/Clock.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Shell/VKKeychain.h"
#include "WebDAV/WebDAVCopyResponse.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVDeleteResponse.h"
#include "WebDAV/WebDAVGetResponse.h"
#include "WebDAV/WebDAVHTMLResponse.h"
#include "WebDAV/WebDAVPostResponse.h"
#include "WebDAV/WebDAVPutResponse.h"
#include "WebDAV/WebDAVHeadResponse.h"
#include "WebDAV/WebDAVLockResponse.h"
#include "WebDAV/WebDAVMkcolResponse.h"
#include "WebDAV/WebDAVPropFindResponse.h"
#include "WebDAV/WebDAVPropPatchResponse.h"
#include "WebDAV/WebDAVResponse.h"
#include "WebDAV/WebDAVUnlockResponse.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

// Class-wide state, main thread only.
struct ClassState {
    std::shared_ptr<core::Timer> timer;
    std::set<const void*> indicatorTokens;
    int indicatorCount = 0;
    std::optional<double> indicatorHideTime;
    std::map<std::string, std::string> postTokens;
    std::set<std::string> tokensInUse;
    std::shared_ptr<const int> performTarget = std::make_shared<const int>(0);
    std::vector<core::Observation> tokenDrops;
    // The live connections, which the class tells of changed credentials and
    // of its timer (one registration for all of them: an idle connection
    // costs the notification centre nothing).
    std::vector<std::weak_ptr<WebDAVConnection>> live;
    std::vector<core::Observation> liveObservers;
};

ClassState& state()
{
    static ClassState shared;
    return shared;
}

constexpr const char* POSTTokenTag = "WebDAVConnection.handlePOSTTokenTimeout";

double now()
{
    return core::Date::now().timeIntervalSinceReferenceDate();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return std::string(text);
}

// Runs `step` on every live connection, on the main thread.
void forEachLiveConnection(void (*step)(WebDAVConnection&))
{
    if (!core::Thread::isMainThread()) {
        core::performOnMainThread([step] { forEachLiveConnection(step); });
        return;
    }
    auto live = state().live;
    for (const auto& weak : live) {
        if (auto connection = weak.lock())
            step(*connection);
    }
}

void handlePOSTTokenTimeout(const std::string& token)
{
    auto& shared = state();
    if (!shared.tokensInUse.contains(token))
        shared.postTokens.erase(token);
}

// The class timer and the registrations that drop every token, made with the
// first connection.
void setUpClass()
{
    auto& shared = state();
    if (!shared.timer || !shared.timer->isValid()) {
        shared.timer = core::RunLoop::main().schedule(1.0, true, [](core::Timer&) {
            auto& shared = state();
            if (shared.indicatorCount <= 0 && shared.indicatorHideTime && now() >= *shared.indicatorHideTime) {
                shared.indicatorHideTime.reset();
                auto application = ui::Application::shared();
                if (application && application->isNetworkActivityIndicatorVisible())
                    application->setNetworkActivityIndicatorVisible(false);
            }
            core::NotificationCenter::defaultCenter().post(WebDAVConnection::ProcessingTimerNotification);
        }, core::RunLoop::CommonModes);
    }
    if (shared.tokenDrops.empty()) {
        auto drop = [] { core::performOnMainThread([] { WebDAVConnection::removeAllPOSTTokens(); }); };
        shared.tokenDrops.push_back(core::NotificationCenter::defaultCenter().observe(
            WebDAVCredentials::DidChangeNotification, nullptr, [drop](const core::Notification&) { drop(); }));
        shared.tokenDrops.push_back(core::UserDefaults::standard()->observe("VKLoginUsername", [drop](const core::Value&) { drop(); }));
    }
    if (shared.liveObservers.empty()) {
        auto& center = core::NotificationCenter::defaultCenter();
        auto reload = [](const core::Notification&) {
            forEachLiveConnection([](WebDAVConnection& connection) { connection.loadCredentials(); });
        };
        shared.liveObservers.push_back(center.observe(core::UserDefaults::didChangeNotification, nullptr, reload));
        shared.liveObservers.push_back(center.observe(WebDAVCredentials::DidChangeNotification, nullptr, reload));
        shared.liveObservers.push_back(center.observe(WebDAVConnection::ProcessingTimerNotification, nullptr,
            [](const core::Notification&) {
                forEachLiveConnection([](WebDAVConnection& connection) { connection.processingTimerDidFire(); });
            }));
    }
}

} // namespace

std::shared_ptr<HTTPConnection> WebDAVConnection::create(const std::shared_ptr<AsyncSocket>& socket,
    const std::shared_ptr<HTTPServer>& server)
{
    return make<WebDAVConnection>(socket, server);
}

WebDAVConnection::~WebDAVConnection()
{
    // Its entry goes now (it is expired already): a list entry would keep
    // the connection's bookkeeping on the heap after it is gone.
    std::erase_if(state().live, [](const std::weak_ptr<WebDAVConnection>& weak) { return weak.expired(); });
    detachResponse();
    releasePOSTToken();
    setNetworkActivityIndicatorVisible(false, this);
}

void WebDAVConnection::initWithAsyncSocket(const std::shared_ptr<AsyncSocket>& socket, const std::shared_ptr<HTTPServer>& server)
{
    setUpClass();
    state().live.push_back(sharedAs<WebDAVConnection>());
    loadCredentials();
    HTTPConnection::initWithAsyncSocket(socket, server);
}

void WebDAVConnection::loadCredentials()
{
    auto defaults = core::UserDefaults::standard();
    m_isSSL = defaults->boolForKey("VKSSLEnabled");
    m_guestAccessEnabled = defaults->boolForKey("VKRemoteGuestAccess");
    m_username = defaults->stringForKey("VKLoginUsername");
    auto credentials = WebDAVCredentials::current();
    m_password = credentials ? credentials->passwordForUser(PasswordService).value_or("") : std::string();
    m_passwordSet = VKKeychain::wasLoginPasswordSet();
}

const std::vector<std::string>& WebDAVConnection::supportedHTTPVersions() const
{
    static const std::vector<std::string> versions { "HTTP/1.1", "HTTP/1.0" };
    return versions;
}

const std::vector<std::string>& WebDAVConnection::supportedMethods() const
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> names;
        for (const auto& method : methods())
            names.emplace_back(method.name);
        return names;
    }();
    return names;
}

const std::vector<std::string>& WebDAVConnection::unrestrictedMethods() const
{
    static const std::vector<std::string> methods { "OPTIONS", "TRACE" };
    return methods;
}

std::shared_ptr<const sec::Pkcs12Identity> WebDAVConnection::sslIdentityAndCertificates() const
{
    auto credentials = WebDAVCredentials::current();
    return credentials ? credentials->sslIdentityAndCertificates() : nullptr;
}

bool WebDAVConnection::isPasswordProtected(const core::URL& uri) const
{
    if (m_username.empty() || (m_password.empty() && !m_passwordSet))
        return false;
    // Judged on the decoded path the mapping uses, so that no spelling of a
    // path reaches the private folders through the guest area's test.
    std::string path = uri.standardized().path();
    if (m_guestAccessEnabled && (path == "/Public" || path.starts_with("/Public/")))
        return false;
    if (isHTMLIndexResourceRequest(uri))
        return false;
    return true;
}

std::optional<std::string> WebDAVConnection::passwordForUser(const std::string& user) const
{
    if (user != m_username)
        return std::nullopt;
    return m_password;
}

bool WebDAVConnection::isHTMLIndexResourceRequest(const core::URL& uri) const
{
    return WebDAVHTMLResponse::isHTMLIndexResourceRequest(uri);
}

bool WebDAVConnection::isFlashPOSTRequest() const
{
    if (!request() || request()->requestMethod() != "POST" || !request()->requestURL())
        return false;
    const auto& url = *request()->requestURL();
    if (!url.query().starts_with("vksessionid="))
        return false;
    auto flash = request()->headerForKey("X-Flash-Version");
    auto agent = request()->headerForKey("User-Agent");
    if (!(flash && !flash->empty()) && !(agent && agent->find("Flash") != std::string::npos))
        return false;
    auto server = this->server();
    auto path = server ? server->localPathForURI(url.standardized()) : std::nullopt;
    return path && core::fs::isDirectory(*path);
}

bool WebDAVConnection::isAuthenticated(long tag)
{
    if (isFlashPOSTRequest()) {
        std::string query = request()->requestURL()->query();
        std::string token = query.substr(std::string_view("vksessionid=").size());
        token = token.substr(0, token.find('&'));
        auto path = pathForPOSTToken(token);
        if (path && *path == request()->requestURL()->standardized().path())
            return true;
    }
    return HTTPConnection::isAuthenticated(tag);
}

void WebDAVConnection::handleUnauthorizedRequestWithTag(long tag)
{
    if (isFlashPOSTRequest()) {
        sendResponseWithStatusCode(404);
        return;
    }
    HTTPConnection::handleUnauthorizedRequestWithTag(tag);
}

void WebDAVConnection::startResponse(std::shared_ptr<WebDAVResponse> response)
{
    m_currentResponse = std::move(response);
    auto keep = m_currentResponse;
    keep->start();
}

const std::vector<WebDAVConnection::Method>& WebDAVConnection::methods()
{
    // In the order "Allow" lists them.
    static const std::vector<Method> table {
        { "OPTIONS", &WebDAVConnection::performOPTIONS },
        { "PROPFIND", &WebDAVConnection::performPROPFIND },
        { "GET", &WebDAVConnection::performGET },
        { "HEAD", &WebDAVConnection::performHEAD },
        { "PROPPATCH", &WebDAVConnection::performPROPPATCH },
        { "PUT", &WebDAVConnection::performPUT },
        { "DELETE", &WebDAVConnection::performDELETE },
        { "COPY", &WebDAVConnection::performCOPY },
        { "MOVE", &WebDAVConnection::performMOVE },
        { "MKCOL", &WebDAVConnection::performMKCOL },
        { "LOCK", &WebDAVConnection::performLOCK },
        { "UNLOCK", &WebDAVConnection::performUNLOCK },
        { "POST", &WebDAVConnection::performPOST },
        { "TRACE", &WebDAVConnection::performTRACE },
    };
    return table;
}

void WebDAVConnection::performMethod(const std::string& method, const core::URL& uri, long tag)
{
    const auto& table = methods();
    auto found = std::find_if(table.begin(), table.end(), [&](const Method& entry) { return entry.name == method; });
    if (found == table.end()) {
        sendResponseWithStatusCode(405, "Method Not Allowed");
        return;
    }
    (this->*found->perform)(uri, tag);
}

void WebDAVConnection::performPROPFIND(const core::URL&, long)
{
    readXMLBodyThen([this] {
        setNetworkActivityIndicatorVisible(true, this);
        startResponse(WebDAVPropFindResponse::create(request(), this));
    });
}

void WebDAVConnection::performPROPPATCH(const core::URL&, long)
{
    readXMLBodyThen([this] { startResponse(WebDAVPropPatchResponse::create(request(), this)); });
}

void WebDAVConnection::performGET(const core::URL&, long)
{
    setNetworkActivityIndicatorVisible(true, this);
    // A folder gets the browser page, anything else the file.
    startResponse(WebDAVGetResponse::responseForRequest(request(), this));
}

void WebDAVConnection::performHEAD(const core::URL&, long)
{
    startResponse(WebDAVHeadResponse::create(request(), this));
}

void WebDAVConnection::performDELETE(const core::URL&, long)
{
    setNetworkActivityIndicatorVisible(true, this);
    startResponse(WebDAVDeleteResponse::create(request(), this));
}

void WebDAVConnection::performMKCOL(const core::URL&, long)
{
    startResponse(WebDAVMkcolResponse::create(request(), this));
}

void WebDAVConnection::performLOCK(const core::URL&, long)
{
    readXMLBodyThen([this] { startResponse(WebDAVLockResponse::create(request(), this)); });
}

void WebDAVConnection::performUNLOCK(const core::URL&, long)
{
    startResponse(WebDAVUnlockResponse::create(request(), this));
}

void WebDAVConnection::performPUT(const core::URL&, long)
{
    startResponse(WebDAVPutResponse::create(request(), this));
}

void WebDAVConnection::performPOST(const core::URL& uri, long)
{
    // The folder's upload token stays valid while the upload runs.
    setNetworkActivityIndicatorVisible(true, this);
    lockPOSTTokenForURI(uri);
    m_heldPOSTTokenURI = uri;
    startResponse(WebDAVPostResponse::create(request(), this));
}

void WebDAVConnection::performCOPY(const core::URL&, long)
{
    performCopyOrMove(false);
}

void WebDAVConnection::performMOVE(const core::URL&, long)
{
    performCopyOrMove(true);
}

void WebDAVConnection::performCopyOrMove(bool deleteOriginal)
{
    setNetworkActivityIndicatorVisible(true, this);
    setupProcessingTimer();
    auto response = WebDAVCopyResponse::create(request(), this);
    response->setDeleteOriginal(deleteOriginal);
    startResponse(response);
}

void WebDAVConnection::performOPTIONS(const core::URL&, long)
{
    auto response = HTTPMessageResponse::responseWithStatusCode(200);
    auto server = this->server();
    std::string allow;
    for (const auto& method : supportedMethods())
        allow += (allow.empty() ? "" : ", ") + method;
    response->setHeaderValue(server ? server->serverName() : std::string(), "Server");
    response->setHeaderValue("1,2", "DAV");
    response->setHeaderValue(allow, "Allow");
    response->setHeaderValue("text/plain", "Content-Type");
    response->setHeaderValue("0", "Content-Length");
    response->setHeaderValue("none", "Accept-Ranges");
    response->setHeaderValue("DAV", "MS-Author-Via");
    response->setHeaderValues(standardResponseHeaders());
    sendResponseMessage(*response, FinalResponseTag);
}

int WebDAVConnection::processExpectHeader()
{
    auto expect = request()->headerForKey("Expect");
    if (!expect || trimmed(*expect).empty())
        return 0;
    if (!equalsIgnoringCase(trimmed(*expect), "100-continue"))
        return 417;
    auto response = HTTPMessageResponse::responseWithStatusCode(100);
    response->setHeaderValues(standardResponseHeaders());
    response->setHeaderValue("0", "Content-Length");
    asyncSocket()->writeData(response->serializedMessage(), WriteTimeout, ContinueTag);
    return 100;
}

void WebDAVConnection::readXMLBodyThen(std::function<void()> start)
{
    // A chunked body is gathered de-chunked, held to the same bound as it
    // comes in.
    const auto& framing = requestBodyFraming();
    const bool chunked = framing.kind == HTTPBodyFraming::Kind::Chunked;
    const uint64_t length = framing.kind == HTTPBodyFraming::Kind::Length ? framing.length : 0;
    if (!chunked && requestBodyBytesReceived() >= length)
        return start();
    if (length > MaxXMLBodyLength) {
        sendResponseWithStatusCode(413, std::nullopt, FinalResponseCloseTag);
        return;
    }
    if (processExpectHeader() == 417) {
        sendResponseWithStatusCode(417, "Expectation Failed");
        return;
    }
    auto type = request()->contentType();
    std::string media = type ? trimmed(*type) : std::string();
    if (type && !equalsIgnoringCase(media, "text/xml") && !equalsIgnoringCase(media, "application/xml")) {
        sendResponseWithStatusCode(400, "Bad Request - invalid content-type");
        return;
    }
    readWholeRequestBodyThen(MaxXMLBodyLength, std::move(start));
}

std::optional<core::URL> WebDAVConnection::localHost()
{
    auto server = this->server();
    return server ? server->hostURL() : std::nullopt;
}

std::optional<std::string> WebDAVConnection::localPathForURI(const core::URL& uri)
{
    auto server = this->server();
    return server ? server->localPathForURI(uri) : std::nullopt;
}

std::optional<core::URL> WebDAVConnection::URIForLocalPath(const std::string& path)
{
    auto server = this->server();
    return server ? server->URIForLocalPath(path) : std::nullopt;
}

void WebDAVConnection::webDAVResponse(WebDAVResponse& response, const core::URL& uri)
{
    if (isPasswordProtected(uri)) {
        std::string path = uri.standardized().path();
        auto token = postTokenForPath(path);
        if (token)
            resetTimeoutForPOSTToken(*token);
        else
            token = generatePOSTTokenForURI(uri);
        response.setHeaderValue("vksessionid=" + cookieValueForPOSTToken(*token), "Set-Cookie");
        return;
    }
    auto cookie = response.headerForKey("Set-Cookie");
    if (cookie && cookie->find("vksessionid=") != std::string::npos)
        response.setHeaderValue("vksessionid=", "Set-Cookie");
}

std::optional<WebDAVResourceList> WebDAVConnection::webDAVResponse(WebDAVResponse&, const WebDAVResource& resource,
    std::string_view depth)
{
    if (depth == "0")
        return std::nullopt;
    auto server = this->server();
    if (!server || !server->hasVirtualRoots() || resource.URI().path() != "/")
        return resource.subresourcesToDepth(depth);
    bool recurse = equalsIgnoringCase(depth, "infinity");
    WebDAVResourceList members;
    for (const auto& uri : server->virtualRootURIs()) {
        auto path = server->localPathForURI(uri);
        auto root = path ? WebDAVResource::resourceWithURI(uri, *path) : nullptr;
        if (!root)
            continue;
        members.push_back(root);
        if (recurse) {
            if (auto below = root->subresourcesToDepth(depth))
                members.insert(members.end(), below->begin(), below->end());
        }
    }
    return members;
}

void WebDAVConnection::detachResponse()
{
    if (!m_currentResponse)
        return;
    m_currentResponse->setDelegate(nullptr);
    // The response may still be on the stack: when nobody else holds it
    // (its start and the socket's reports do), it is released a pass later.
    if (m_currentResponse.use_count() > 1) {
        m_currentResponse.reset();
        return;
    }
    core::RunLoop::main().performAfter(0, [response = std::move(m_currentResponse)] { });
    m_currentResponse.reset();
}

void WebDAVConnection::disconnect()
{
    auto keep = shared_from_this();
    // The socket leaves without telling its delegate, so the response hears
    // of the end here, detached first so that it answers nobody.
    if (auto response = m_currentResponse) {
        detachResponse();
        response->onSocketDidDisconnect();
    }
    // A POST cut off keeps its folder's token no longer than one that ended.
    releasePOSTToken();
    stopProcessingTimer();
    setNetworkActivityIndicatorVisible(false, this);
    HTTPConnection::disconnect();
}

void WebDAVConnection::releasePOSTToken()
{
    if (auto uri = std::exchange(m_heldPOSTTokenURI, std::nullopt))
        unlockPOSTTokenForURI(*uri);
}

void WebDAVConnection::webDAVResponseDidEnd(WebDAVResponse& response, WebDAVResponseEnd end)
{
    auto keep = std::static_pointer_cast<WebDAVResponse>(response.shared_from_this());
    if (m_currentResponse.get() == &response)
        detachResponse();
    else
        response.setDelegate(nullptr);
    stopProcessingTimer();
    releasePOSTToken();
    if (end == WebDAVResponseEnd::WroteItself)
        return;
    if (!asyncSocket() || !asyncSocket()->isConnected()) {
        core::log("Warning, unable to send response - socket has disconnected");
        return;
    }
    addStandardResponseHeaders(response);
    sendResponseMessage(response, end == WebDAVResponseEnd::KeepOpen ? FinalResponseTag : FinalResponseCloseTag);
}

bool WebDAVConnection::isServedRealPath(const std::string& realPath)
{
    auto server = this->server();
    return !server || server->servedRootURIForRealPath(realPath).has_value();
}

std::vector<core::URL> WebDAVConnection::virtualRootURIs()
{
    auto server = this->server();
    return server ? server->virtualRootURIs() : std::vector<core::URL>();
}

bool WebDAVConnection::challengedForDestination(const core::URL& destination, const core::URL& source)
{
    if (!isPasswordProtected(destination) || isPasswordProtected(source) || isAuthenticated(HeadTag))
        return false;
    handleUnauthorizedRequestWithTag(HeadTag);
    return true;
}

bool WebDAVConnection::canSendPrepared()
{
    return asyncSocket() && asyncSocket()->isConnected() && !isRequestBodyUnread();
}

void WebDAVConnection::sendPrepared(WebDAVResponse& response, WebDAVPreparedAnswer answer)
{
    if (answer.fd >= 0) {
        sendPreparedFile(response, std::move(answer));
        return;
    }
    std::string head = std::move(answer.head);
    if (head.empty()) {
        addStandardResponseHeaders(response);
        head = response.serializedMessage().toString();
        head += answer.first;
    }
    // Ended before the writes: the last one's report may already start the
    // next request.
    webDAVResponseDidEnd(response, WebDAVResponseEnd::WroteItself);
    if (!asyncSocket())
        return;
    if (answer.rest.empty()) {
        asyncSocket()->writeData(core::Data(std::move(head)), WriteTimeout, FinalResponseTag);
        return;
    }
    asyncSocket()->writeHead(core::Data(std::move(head)), WriteTimeout, PartialResponseTag);
    asyncSocket()->writeData(core::Data(std::move(answer.rest)), WriteTimeout, FinalResponseTag);
}

void WebDAVConnection::sendPreparedFile(WebDAVResponse& response, WebDAVPreparedAnswer answer)
{
    if (!asyncSocket() || !asyncSocket()->isConnected()) {
        ::close(answer.fd);
        webDAVResponseDidEnd(response, WebDAVResponseEnd::Close);
        return;
    }
    addStandardResponseHeaders(response);
    long lastTag = FinalResponseTag;
    if (isRequestBodyUnread()) {
        lastTag = FinalResponseCloseTag;
        response.setHeaderValue("close", "Connection");
    }
    // The head waits for the file's first bytes to leave with them; the
    // socket then sends as much of the file as it takes at each turn, and
    // closes the connection should the file fail or end early.
    auto keep = shared_from_this();
    auto socket = asyncSocket();
    socket->writeHead(response.serializedMessage(), WriteTimeout, PartialResponseTag);
    // A write that failed at once has closed the connection, and ended the
    // response with it.
    if (!socket->isConnected() || m_currentResponse.get() != &response) {
        ::close(answer.fd);
        return;
    }
    socket->writeFile(answer.fd, 0, answer.fileLength, answer.pieceTimeout, lastTag, AsyncSocket::TakeDescriptor);
}

core::Result<void> WebDAVConnection::readRequestBody(WebDAVResponse& response)
{
    if (!asyncSocket() || !request())
        return core::Error::posix(ENOTCONN);
    HTTPConnection::readRequestBody(std::static_pointer_cast<WebDAVResponse>(response.shared_from_this()));
    return {};
}

void WebDAVConnection::setupProcessingTimer()
{
    m_processingTimerTimeoutTime = now() + ProcessingInterval;
}

void WebDAVConnection::processingTimerDidFire()
{
    if (m_processingTimerTimeoutTime <= 0 || now() < m_processingTimerTimeoutTime)
        return;
    if (!asyncSocket() || !asyncSocket()->isConnected()) {
        m_processingTimerTimeoutTime = 0;
        return;
    }
    auto response = HTTPMessageResponse::responseWithStatusCode(102, "Processing");
    response->setHeaderValues(standardResponseHeaders());
    response->setHeaderValue("0", "Content-Length");
    asyncSocket()->writeData(response->serializedMessage(), WriteTimeout, ProcessingTag);
    m_processingTimerTimeoutTime += ProcessingInterval;
}

void WebDAVConnection::setNetworkActivityIndicatorVisible(bool visible, const void* token)
{
    auto& shared = state();
    if (visible) {
        setUpClass();
        // A holder counts once however often it asks, so that its one
        // release always balances it.
        if (!shared.indicatorTokens.insert(token).second)
            return;
        ++shared.indicatorCount;
    } else {
        if (!shared.indicatorTokens.erase(token))
            return;
        --shared.indicatorCount;
    }
    if (shared.indicatorCount < 0) {
        core::log("Warning, setNetworkActivityIndicatorVisible unbalanced call");
        shared.indicatorCount = 0;
    }
    if (shared.indicatorCount > 0) {
        shared.indicatorHideTime.reset();
        if (auto application = ui::Application::shared())
            application->setNetworkActivityIndicatorVisible(true);
    } else {
        shared.indicatorHideTime = now() + IndicatorHideDelay;
    }
}

int WebDAVConnection::networkActivityCountForTesting()
{
    return state().indicatorCount;
}

std::string WebDAVConnection::generatePOSTTokenForURI(const core::URL& uri)
{
    std::string token = vkMD5String(vkGenerateUUID());
    state().postTokens[token] = uri.standardized().path();
    resetTimeoutForPOSTToken(token);
    return token;
}

std::optional<std::string> WebDAVConnection::postTokenForPath(const std::string& path)
{
    for (const auto& [token, tokenPath] : state().postTokens) {
        if (tokenPath == path)
            return token;
    }
    return std::nullopt;
}

std::optional<std::string> WebDAVConnection::pathForPOSTToken(const std::string& token)
{
    auto& tokens = state().postTokens;
    auto found = tokens.find(token);
    return found == tokens.end() ? std::nullopt : std::optional(found->second);
}

void WebDAVConnection::resetTimeoutForPOSTToken(const std::string& token)
{
    auto& shared = state();
    core::PerformKey key { shared.performTarget, POSTTokenTag, core::Value(token) };
    core::RunLoop::main().cancelPerforms(key);
    core::RunLoop::main().performAfter(POSTTokenLifetime, [token] { handlePOSTTokenTimeout(token); }, key,
        core::RunLoop::CommonModes);
}

void WebDAVConnection::lockPOSTTokenForURI(const core::URL& uri)
{
    auto& shared = state();
    if (auto token = postTokenForPath(uri.standardized().path())) {
        shared.tokensInUse.insert(*token);
        core::RunLoop::main().cancelPerforms(core::PerformKey { shared.performTarget, POSTTokenTag, core::Value(*token) });
    }
}

void WebDAVConnection::unlockPOSTTokenForURI(const core::URL& uri)
{
    auto token = postTokenForPath(uri.standardized().path());
    if (!token || !state().tokensInUse.erase(*token))
        return;
    resetTimeoutForPOSTToken(*token);
}

std::string WebDAVConnection::cookieValueForPOSTToken(const std::string& token)
{
    auto expiry = core::Date::now().addingTimeInterval(POSTTokenLifetime);
    return vkStringByEscapingURL(fmt::format("{}&timeout={}", token, RFC1123String(expiry)));
}

void WebDAVConnection::removeAllPOSTTokens()
{
    auto& shared = state();
    shared.postTokens.clear();
    shared.tokensInUse.clear();
    core::RunLoop::main().cancelPerforms(shared.performTarget.get());
}

void WebDAVConnection::resetForTesting()
{
    auto& shared = state();
    if (shared.timer)
        shared.timer->invalidate();
    core::RunLoop::main().cancelPerforms(shared.performTarget.get());
    shared = ClassState();
}

void WebDAVConnection::onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag)
{
    auto self = shared_from_this();
    if (auto response = m_currentResponse)
        response->onSocketDidWriteDataWithTag(tag);
    if (tag == FinalResponseTag || tag == FinalResponseCloseTag)
        setNetworkActivityIndicatorVisible(false, this);
    HTTPConnection::onSocketDidWriteDataWithTag(socket, tag);
}

bool WebDAVConnection::onSocketShouldTimeout(AsyncSocket&)
{
    if (auto response = m_currentResponse) {
        if (auto answer = response->onSocketShouldTimeout())
            return *answer;
    }
    return true;
}

void WebDAVConnection::onSocketWillDisconnectWithError(AsyncSocket& socket, const core::Error* error)
{
    if (auto response = m_currentResponse)
        response->onSocketWillDisconnectWithError(error);
    HTTPConnection::onSocketWillDisconnectWithError(socket, error);
}

void WebDAVConnection::onSocketDidDisconnect(AsyncSocket& socket)
{
    auto self = shared_from_this();
    setNetworkActivityIndicatorVisible(false, this);
    if (auto response = m_currentResponse)
        response->onSocketDidDisconnect();
    HTTPConnection::onSocketDidDisconnect(socket);
}
