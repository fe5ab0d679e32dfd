#pragma once

#include "Shell/VKKeychain.h"
#include "HTTP/HTTPConnection.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include "Platform/Core/Observation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class WebDAVResponse;

// The connection class of the server: HTTP plus WebDAV. It fixes versions
// and methods, decides which URIs need the password (user name from the
// settings, password from the credentials, both kept current), makes one
// response object per method and is its delegate, answers OPTIONS itself,
// reads XML request bodies before a response starts, keeps long requests
// alive with interim 102 answers, drives the network-activity indicator, and
// issues the upload tokens that let the browser page's uploader post
// without Digest.
class WebDAVConnection : public HTTPConnection, public WebDAVResponseDelegate {
public:
    // Every second, object nothing: the connections' interim-answer clock.
    static constexpr const char* ProcessingTimerNotification = "WebDAVConnectionProcessingTimer";
    static constexpr const char* PasswordService = VKLoginPasswordService;
    static constexpr double ProcessingInterval = 60;
    static constexpr double POSTTokenLifetime = 120;
    static constexpr double IndicatorHideDelay = 1.0;
    // XML bodies (PROPFIND, PROPPATCH, LOCK) are held whole in memory: larger
    // ones are refused before they are read.
    static constexpr uint64_t MaxXMLBodyLength = 1 << 20;

    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server);
    ~WebDAVConnection() override;

    const std::vector<std::string>& supportedHTTPVersions() const override;
    const std::vector<std::string>& supportedMethods() const override;
    const std::vector<std::string>& unrestrictedMethods() const override;
    std::string realm() const override { return "Kestrova WebDAVServer"; }
    bool isSecureServer() const override { return m_isSSL; }
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() const override;
    bool isPasswordProtected(const core::URL& uri) const override;
    std::optional<std::string> passwordForUser(const std::string& user) const override;
    bool isAuthenticated(long tag) override;
    void handleUnauthorizedRequestWithTag(long tag) override;
    // Finds the method in the table and runs its handler; 405 for none.
    void performMethod(const std::string& method, const core::URL& uri, long tag) override;

    // The method handlers: each starts its response, or answers itself.
    void performOPTIONS(const core::URL& uri, long tag);
    void performGET(const core::URL& uri, long tag) override;
    void performHEAD(const core::URL& uri, long tag) override;
    void performPOST(const core::URL& uri, long tag) override;
    // Starts the response of a method with an XML body once the body is in
    // the request whole: at once when it came with the head; else after
    // reading it (de-chunked, within MaxXMLBodyLength, after the interim 100 when asked
    // for). A larger body is refused with 413, an unknown "Expect" with 417
    // and a body that is not XML with 400, before it is read.
    void readXMLBodyThen(std::function<void()> start);
    // 0 without "Expect", 100 after sending the interim 100, else 417.
    int processExpectHeader() override;
    // A request of the browser page for its own style sheets, scripts and
    // images (always open).
    bool isHTMLIndexResourceRequest(const core::URL& uri) const;
    // An upload of the browser page that carries its session token.
    bool isFlashPOSTRequest() const;

    // Starts the interim answers: 102 every 60 s until the response ends.
    void setupProcessingTimer();
    void stopProcessingTimer() { m_processingTimerTimeoutTime = 0; }
    const std::shared_ptr<WebDAVResponse>& currentResponse() const { return m_currentResponse; }
    // Makes the response current and starts it.
    void startResponse(std::shared_ptr<WebDAVResponse> response);

    // WebDAVResponseDelegate
    std::optional<core::URL> localHost() override;
    std::optional<std::string> localPathForURI(const core::URL& uri) override;
    std::optional<core::URL> URIForLocalPath(const std::string& path) override;
    void webDAVResponse(WebDAVResponse& response, const core::URL& setSessionIdCookieForURI) override;
    std::optional<WebDAVResourceList> webDAVResponse(WebDAVResponse& response, const WebDAVResource& subresourcesForResource,
        std::string_view toDepth) override;
    bool isMutableURI(const core::URL& uri) override { return HTTPConnection::isMutableURI(uri); }
    void webDAVResponseDidEnd(WebDAVResponse& response, WebDAVResponseEnd end) override;
    bool isServedRealPath(const std::string& realPath) override;
    std::vector<core::URL> virtualRootURIs() override;
    std::optional<std::string> serverScheme() override { return isSecureServer() ? "https" : "http"; }
    bool challengedForDestination(const core::URL& destination, const core::URL& source) override;
    bool canSendPrepared() override;
    void appendStandardHeaders(std::string& head) override { appendStandardResponseHeaders(head); }
    void sendPrepared(WebDAVResponse& response, WebDAVPreparedAnswer answer) override;
    core::Result<void> readRequestBody(WebDAVResponse& response) override;

    // The indicator, shown while any token holds it and hidden a second after
    // the last one let go (so that gaps between requests do not flicker).
    static void setNetworkActivityIndicatorVisible(bool visible, const void* token);
    static int networkActivityCountForTesting();

    // Upload tokens, class-wide: 32 lower-case hex digits mapped to a URI
    // path, gone 120 s after issue or last use but never while in use.
    static std::string generatePOSTTokenForURI(const core::URL& uri);
    static std::optional<std::string> postTokenForPath(const std::string& path);
    static std::optional<std::string> pathForPOSTToken(const std::string& token);
    static void resetTimeoutForPOSTToken(const std::string& token);
    static void lockPOSTTokenForURI(const core::URL& uri);
    static void unlockPOSTTokenForURI(const core::URL& uri);
    // "TOKEN&timeout=<RFC 1123 date 120 s ahead>", escaped for a URL.
    static std::string cookieValueForPOSTToken(const std::string& token);
    static void removeAllPOSTTokens();

    // The class-wide state (timer, indicator, tokens), for tests.
    static void resetForTesting();

    // Reads the credentials again (the class calls it on every live
    // connection when the settings or the credentials change).
    void loadCredentials();
    // The class timer's second: sends the interim 102 when it is due.
    void processingTimerDidFire();

    void onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag) override;
    bool onSocketShouldTimeout(AsyncSocket& socket) override;
    void onSocketWillDisconnectWithError(AsyncSocket& socket, const core::Error* error) override;
    void onSocketDidDisconnect(AsyncSocket& socket) override;
    // Ends the running answer with the connection: a GET's file is closed,
    // a PUT's unfinished upload removed (the old file stays whole), a COPY's
    // result dropped when its worker is done.
    void disconnect() override;

protected:
    WebDAVConnection() = default;
    void initWithAsyncSocket(const std::shared_ptr<AsyncSocket>& socket, const std::shared_ptr<HTTPServer>& server) override;

private:
    friend class HTTPConnection;

    // A method name and its handler.
    struct Method {
        std::string_view name;
        void (WebDAVConnection::*perform)(const core::URL& uri, long tag);
    };
    // Every method the connection answers, in the order "Allow" lists them.
    static const std::vector<Method>& methods();
    void performPROPFIND(const core::URL& uri, long tag);
    void performPROPPATCH(const core::URL& uri, long tag);
    void performPUT(const core::URL& uri, long tag);
    void performDELETE(const core::URL& uri, long tag);
    void performCOPY(const core::URL& uri, long tag);
    void performMOVE(const core::URL& uri, long tag);
    void performCopyOrMove(bool deleteOriginal);
    void performMKCOL(const core::URL& uri, long tag);
    void performLOCK(const core::URL& uri, long tag);
    void performUNLOCK(const core::URL& uri, long tag);

    // A prepared answer that streams a file after its head.
    void sendPreparedFile(WebDAVResponse& response, WebDAVPreparedAnswer answer);
    void detachResponse();
    // Lets go of the upload token the running POST holds, if any.
    void releasePOSTToken();

    double m_processingTimerTimeoutTime = 0;
    // The URI whose upload token the running POST keeps valid.
    std::optional<core::URL> m_heldPOSTTokenURI;
    std::shared_ptr<WebDAVResponse> m_currentResponse;
    bool m_isSSL = false;
    bool m_guestAccessEnabled = false;
    std::string m_username;
    std::string m_password;
    // A password was set: without one to check, every guarded request is
    // refused rather than served.
    bool m_passwordSet = false;
};
