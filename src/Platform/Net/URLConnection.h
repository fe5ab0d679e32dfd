#pragma once

#include "Platform/Core/Object.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Net/URLConnectionDelegate.h"
#include "Platform/Net/URLLoad.h"

#include <deque>
#include <memory>
#include <string>

namespace core {
class RunLoop;
}

namespace net {

// Loads an http or https URL asynchronously on the run loop of the thread
// that creates it, telling its delegate what arrives (URLConnectionDelegate).
// Redirects (up to 16, to http and https only), cookies (CookieStorage) and
// answers to authentication with session credentials (CredentialStorage)
// are handled below the delegate: it sees one response, the final one.
//
// A running connection keeps itself alive until it ends or is cancelled. The
// delegate is held weakly: a connection made without one loads and lets the
// result go; one whose delegate goes away is cancelled at its next event.
// A connection belongs to its thread; use it there only.
class URLConnection : public core::Object {
public:
    struct Private;
    URLConnection(const Private&, const core::URLRequest& request, std::weak_ptr<URLConnectionDelegate> delegate);
    ~URLConnection() override;

    // Starts loading at once. A request that cannot be loaded (not http or
    // https, no host, a header that cannot be sent) still makes a
    // connection, which fails on a later pass of the run loop.
    static std::shared_ptr<URLConnection> create(const core::URLRequest& request,
        std::weak_ptr<URLConnectionDelegate> delegate = {});
    // Whether the request is one this loader handles: http and https.
    static bool canHandleRequest(const core::URLRequest& request);

    const core::URLRequest& originalRequest() const { return m_request; }
    // Stops the load; the delegate hears nothing more. Any number of times.
    void cancel();
    bool isCancelled() const { return m_cancelled; }
    // Whether the end or a failure was handed on.
    bool isFinished() const { return m_finished; }
    // Holds back what arrives until resumeDelivery(), for a delegate that
    // cannot keep up (a disk slower than the network): the body piles up to
    // the loader's bound, then the transfer waits.
    void suspendDelivery() { m_deliverySuspended = true; }
    void resumeDelivery();

    std::string description() const override;

    // Trust for https: the certificates in this file instead of the
    // system's (empty: the system's). For servers with their own CA.
    static void setCAFile(std::string path);
    // Sends loads for "host:port" to another address ("127.0.0.1:8443")
    // while the URL, Host header and TLS server name stay those of the host.
    static void addRoute(const std::string& hostAndPort, const std::string& address);
    static void removeAllRoutes();
    // Cancels the calling thread's loads, drops its loader state and the
    // fake servers, the CA file and the routes (the test environment).
    static void resetForTesting();

private:
    friend class CurlTransfer;
    friend class CurlMulti;
    friend class FakeURLLoad;
    friend class FakeURLServer;

    void enqueue(URLLoadEvent event);
    void appendData(const char* bytes, size_t length);
    // Body bytes queued and not yet handed on.
    size_t queuedDataBytes() const { return m_queuedDataBytes; }
    // Hands the queued events to the delegate, in order, until the queue is
    // empty, the connection is cancelled or suspended, or one pass's share
    // of body bytes went (the rest follows in a later pass).
    void deliverEvents();
    void scheduleDelivery();
    void fail(int code);
    void resend(URLConnectionDelegate* delegate);

    core::URLRequest m_request;
    std::weak_ptr<URLConnectionDelegate> m_delegate;
    bool m_hasDelegate;
    std::weak_ptr<core::RunLoop> m_loop;
    std::shared_ptr<URLLoad> m_load;
    std::deque<URLLoadEvent> m_events;
    size_t m_queuedDataBytes = 0;
    int m_resends = 0;
    bool m_deliveryScheduled = false;
    bool m_deliverySuspended = false;
    bool m_cancelled = false;
    bool m_finished = false;
};

} // namespace net
