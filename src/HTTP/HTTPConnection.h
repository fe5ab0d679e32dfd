#pragma once

#include "HTTP/AsyncSocket.h"
#include "HTTP/AsyncSocketDelegate.h"
#include "HTTP/HTTPBodyFraming.h"
#include "HTTP/HTTPBodyStream.h"
#include "HTTP/HTTPDigestCheck.h"
#include "HTTP/HTTPMessageRequest.h"
#include "HTTP/HTTPMessageResponse.h"
#include "Platform/Core/BackgroundTask.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sec {
class Pkcs12Identity;
}

class HTTPBodyGatherer;
class HTTPRequestBodyReader;
class HTTPServer;

// One accepted client of the HTTP server. It reads the request head line by
// line (bounded), checks version, "Host" and method, asks whether the URI is
// password protected and checks Digest authorization against the nonces it
// issued, hands the request to performMethod(), and writes answers with the
// socket tag that decides what follows the write (read the next request, or
// close). On a secure server it sets TLS up before the streams open. It holds
// a background grant from creation to its end, and tells the server of its
// end with "HTTPConnectionDidDie".
//
// Subclasses (the WebDAV connection) replace the vocabulary, the hooks and
// performMethod(); they are made with make<T>(socket, server).
class HTTPConnection : public core::Object, public AsyncSocketDelegate {
public:
    static constexpr const char* DidDieNotification = "HTTPConnectionDidDie";

    // Socket tags: every read and write carries one; the tag decides what
    // follows it.
    enum Tag : long {
        HeadTag = 15,           // read: one head line (30 s)
        BodyTag = 20,           // read: a piece of the request body (60 s)
        PartialResponseTag = 29, // write: a piece that is not the last
        FinalResponseTag = 30,  // write: complete; keep-alive
        FinalResponseCloseTag = 31, // write: complete; then close
        UnauthorizedTag = 32,   // write the 401, then discard the body
        ResponseWroteItselfTag = 33, // the response sent its own last piece
        ContinueTag = 35,       // write: interim 100
        ProcessingTag = 36,     // write: interim 102 "Processing"
        LingerTag = 37,         // read: what the client still sends after an early answer, thrown away
    };

    static constexpr double HeadLineTimeout = 30;
    // The whole head, from the start of the wait for it (the accept or the
    // end of the answer before) to its blank line: also the time a
    // kept-alive connection may idle.
    static constexpr double HeadTimeout = 30;
    // After an early answer (a refused head, a body left unread) the
    // connection reads and throws away what the client still sends, for at
    // most this long and this much, before it closes: a close with unread
    // bytes would reset the connection and lose the answer on its way.
    static constexpr double LingerTimeout = 2;
    static constexpr uint64_t LingerLength = 16 * 1024 * 1024;
    // The most one read of a streamed body asks for, and the time it may
    // take.
    static constexpr uint64_t BodyPieceLength = 524288;
    static constexpr double BodyPieceTimeout = 60;
    static constexpr double WriteTimeout = 15;
    static constexpr double DrainTimeout = 15;
    static constexpr uint64_t DrainChunkLength = 524288;
    // The most a request head may take, all lines together.
    static constexpr uint64_t MaxHeadLength = 65536;
    // Plain-HTTP attempts on a TLS port, each within this time of the last,
    // before one connection is refused.
    static constexpr double SSLErrorResetInterval = 2.0;
    static constexpr int MaxSSLErrors = 7;

    static std::shared_ptr<HTTPConnection> create(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server);
    // Makes a connection of class T (default-constructible by make) and starts
    // it: T's constructor must not read the socket; the start does.
    template<typename T>
    static std::shared_ptr<T> make(const std::shared_ptr<AsyncSocket>& socket, const std::shared_ptr<HTTPServer>& server)
    {
        std::shared_ptr<T> connection(new T());
        connection->initWithAsyncSocket(socket, server);
        return connection;
    }
    ~HTTPConnection() override;

    const std::shared_ptr<HTTPMessageRequest>& request() const { return m_request; }
    std::shared_ptr<HTTPServer> server() const { return m_server.lock(); }
    const std::shared_ptr<AsyncSocket>& asyncSocket() const { return m_asyncSocket; }

    // Vocabulary, replaced by subclasses.
    virtual const std::vector<std::string>& supportedHTTPVersions() const;
    virtual const std::vector<std::string>& supportedMethods() const;
    // Methods that never need authentication.
    virtual const std::vector<std::string>& unrestrictedMethods() const;

    // Hooks, replaced by subclasses.
    virtual bool isSecureServer() const { return false; }
    // The TLS identity of a secure server (key, certificate and chain).
    virtual std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() const { return nullptr; }
    virtual bool isPasswordProtected(const core::URL& uri) const;
    virtual std::optional<std::string> passwordForUser(const std::string& user) const;
    virtual std::string realm() const { return {}; }
    // Answers the request; the standardized URI. Ends with a final write
    // (FinalResponseTag, FinalResponseCloseTag), a response that wrote
    // itself, or a read of the body (readRequestBody).
    virtual void performMethod(const std::string& method, const core::URL& uri, long tag);

    virtual void handleHTTPRequestWithTag(long tag);
    virtual bool isAuthenticated(long tag);
    virtual void handleUnauthorizedRequestWithTag(long tag);
    // "/" is not; virtual roots themselves are not; anything deeper is.
    bool isMutableURI(const core::URL& uri) const;

    // "Date", "Server", "Accept-Ranges" and, when the request asks to close,
    // "Connection: close".
    virtual core::Value::Dictionary standardResponseHeaders() const;
    // The same headers set on the message directly (every answer takes
    // them, so without a table in between).
    void addStandardResponseHeaders(HTTPMessage& message) const;
    // The same headers, in the same order, written as text onto a head
    // being formatted (values that cannot be sent are left out, as the
    // message does).
    void appendStandardResponseHeaders(std::string& head) const;
    // "Name: value" and its line end onto a head; nothing when the value
    // holds a line break or NUL.
    static void appendHeaderLine(std::string& head, std::string_view name, std::string_view value);

    void sendResponseWithStatusCode(int code);
    void sendResponseWithStatusCode(int code, std::optional<std::string_view> description);
    void sendResponseWithStatusCode(int code, std::optional<std::string_view> description, long tag);
    // Writes the message. Tag 31 adds "Connection: close"; tag 30 becomes 31
    // while body bytes of the request are unread, so that they are never taken
    // for the next request.
    void sendResponseMessage(HTTPMessageResponse& message, long tag);

    virtual void performGET(const core::URL& uri, long tag);
    virtual void performHEAD(const core::URL& uri, long tag);
    // The 200 head for a file the base connection serves, with its bytes in
    // `contents`; answers 404 itself and gives nothing when there is none.
    std::shared_ptr<HTTPMessageResponse> fileResponseForURI(const core::URL& uri, core::Data& contents);
    virtual void performPOST(const core::URL& uri, long tag);
    virtual void performTRACE(const core::URL& uri, long tag);

    // Hands `reader` the request body's next piece: the bytes that came with
    // the head first, then one socket read at a time, cut to the announced
    // length or de-chunked; at the end (or a broken chunked framing) it
    // tells the reader so. The socket is read only while a reader waits for
    // a piece, so a slow reader slows the client. One piece at a time: the
    // reader asks again once it stored the last.
    void readRequestBody(const std::shared_ptr<HTTPRequestBodyReader>& reader);
    // Reads the whole body into the request, de-chunked, then runs `then`;
    // at once when it came with the head. The caller bounds a known length
    // by `limit` before; a chunked body past it is refused (413).
    void readWholeRequestBodyThen(uint64_t limit, std::function<void()> then);
    // Bytes of the body that arrived (with the head, or by the connection's
    // body reads), and the end of a chunked body.
    uint64_t requestBodyBytesReceived() const { return m_requestBodyBytes; }
    void setRequestBodyFinished(bool finished) { m_requestBodyFinished = finished; }
    // Whether the request announced body bytes that have not all arrived.
    bool isRequestBodyUnread() const;
    // How the current request's body is delimited (settled with its head).
    const HTTPBodyFraming& requestBodyFraming() const { return m_framing; }
    // Whether the connection closes once the current request is answered:
    // the client asked so, or its framing left doubt about what follows.
    bool shouldCloseAfterAnswer() const;

    // Whether the connection waits for a request's head (idle or partly
    // received), or only throws input away before it closes: what the
    // server may close first when its connections run out.
    bool isWaitingForRequest() const;

    // Detaches from the socket and closes it, drops the request and the nonce,
    // ends the background grant, and tells the server (once).
    virtual void disconnect();
    void endBackgroundTask();

    // The class-wide state (recent nonces, the TLS failure count and their
    // timers), for tests.
    static void resetForTesting();

    bool onSocketWillConnect(AsyncSocket& socket) override;
    void onSocketDidReadData(AsyncSocket& socket, const core::Data& data, long tag) override;
    void onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag) override;
    void onSocketWillDisconnectWithError(AsyncSocket& socket, const core::Error* error) override;
    void onSocketDidDisconnect(AsyncSocket& socket) override;
    // While a request is being answered: its client may have shut only its
    // sending side.
    bool onSocketShouldKeepWritingAfterReadEnd(AsyncSocket& socket) override;

    std::string description() const override;

protected:
    HTTPConnection();
    // Keeps the socket and becomes its delegate, takes the background grant
    // and reads the first head line.
    virtual void initWithAsyncSocket(const std::shared_ptr<AsyncSocket>& socket,
        const std::shared_ptr<HTTPServer>& server);

    // A new empty request, and the next head line read.
    void readNextRequest();
    void readHeadLine();
    // Answers 400 "Bad Request" and closes.
    void rejectBadRequest();
    // Answers 431 (the head passed MaxHeadLength) and closes.
    void rejectOversizedHead();

    std::shared_ptr<AsyncSocket> m_asyncSocket;
    std::weak_ptr<HTTPServer> m_server;
    std::shared_ptr<HTTPMessageRequest> m_request;
    core::BackgroundTaskId m_backgroundTaskIdentifier = core::InvalidBackgroundTask;

private:
    void didReadHeadBytes(const core::Data& data, long tag);
    // Does what the body stream says: reads for the waiting reader, or
    // hands it bytes, the end or the failure.
    void followBodyStep(const std::shared_ptr<HTTPRequestBodyReader>& reader, HTTPBodyStream::Step step);
    void keepBodyOfThisRequest();
    void drain(const core::Data& data);
    // Closes after an answer: at once when the request was read whole,
    // else lingering (LingerTimeout, LingerLength).
    void closeAfterAnswer(bool inputMayRemain);
    void linger(const core::Data& data);
    static void resetLastSSLError();

    HTTPBodyFraming m_framing;
    // A head line was asked for and no request made for it yet.
    bool m_awaitingRequest = false;
    uint64_t m_headBytes = 0;
    uint64_t m_requestBodyBytes = 0;
    // Made when a reader first asks for the body.
    std::optional<HTTPBodyStream> m_bodyStream;
    // The reader a body read is outstanding for.
    std::weak_ptr<HTTPRequestBodyReader> m_bodyReader;
    bool m_bodyReadPending = false;
    std::shared_ptr<HTTPBodyGatherer> m_bodyGatherer;
    bool m_requestBodyFinished = false;
    // The Digest check: this client's nonce and count.
    HTTPDigestCheck m_digest;
    bool m_draining = false;
    bool m_lingering = false;
    uint64_t m_lingerBytes = 0;
    bool m_didDie = false;
};
