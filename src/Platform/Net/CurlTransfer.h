#pragma once

#include "Platform/Core/URLRequest.h"
#include "Platform/Net/ResponseHead.h"
#include "Platform/Net/URLLoad.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace net {

class CurlMulti;
class URLConnection;

// One connection's load on a curl easy handle. curl's callbacks only collect
// the response head and queue events on the connection; a head is queued
// when its first body byte arrives or the transfer ends, so the heads curl
// follows (redirects, authentication retries) and interim 1xx heads are
// never reported.
class CurlTransfer final : public URLLoad {
public:
    // The transfer for the request, or nothing with the URL error code that
    // refuses it (a bad header, an unreadable body file).
    static std::shared_ptr<CurlTransfer> create(URLConnection& connection, const core::URLRequest& request,
        int& errorCode);

    struct Private;
    CurlTransfer(const Private&, URLConnection& connection);
    ~CurlTransfer() override;

    void start(const std::shared_ptr<URLConnection>& connection) override;
    void stop() override;

    // curl's easy handle (CURL*).
    void* easyHandle() const { return m_easy; }
    // The multi took the handle in or let it go.
    void attached(CurlMulti* multi) { m_multi = multi; }
    void detached() { m_multi = nullptr; }
    // Lets curl go on after the write callback paused the transfer.
    void resume();
    // How long the transfer may go without sending or receiving a byte
    // before it fails (none: no limit), and when it last did.
    std::optional<std::chrono::steady_clock::duration> idleTimeout() const { return m_idleTimeout; }
    std::chrono::steady_clock::time_point lastActivity() const { return m_lastActivity; }
    // curl ended the transfer with `result` (a CURLcode): queues the last
    // head still unreported, then the end or the failure.
    void didEnd(int result);

    struct Callbacks;

private:
    bool configure(const core::URLRequest& request, int& errorCode);
    void reportHead();
    void reportUpload(int64_t uploaded);

    URLConnection& m_connection;
    void* m_easy = nullptr;
    CurlMulti* m_multi = nullptr;
    std::shared_ptr<void> m_share;
    void* m_headerList = nullptr;
    void* m_connectTo = nullptr;

    // The body: bytes, or a file read as it is sent.
    core::Data m_body;
    int m_bodyFd = -1;
    int64_t m_bodySize = 0;
    int64_t m_bodyOffset = 0;
    bool m_hasBody = false;
    int64_t m_uploaded = 0;

    ResponseHead m_head;
    // Where the complete head came from (the last hop's URL).
    std::string m_headURL;
    bool m_offersCredential = false;
    // Requests curl began to send, whether the last one had any answer,
    // and whether curl's own resend was stopped for the connection's.
    int m_requestsSent = 0;
    bool m_answered = false;
    bool m_resendWanted = false;

    std::optional<std::chrono::steady_clock::duration> m_idleTimeout;
    std::chrono::steady_clock::time_point m_lastActivity;
    int64_t m_transferred = 0;
};

} // namespace net
