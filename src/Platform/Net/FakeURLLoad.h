#pragma once

#include "Platform/Core/HeaderFields.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Net/URLLoad.h"

#include <memory>
#include <string>
#include <string_view>

namespace net {

class URLConnection;

// One load taken by a FakeURLServer: the request as the connection would
// have sent it, and the answers the test gives, in the order a server would
// (respond, send, then finish or fail). Use it on the connection's thread;
// answers after the end or a cancel are ignored.
class FakeURLLoad final : public URLLoad {
public:
    static std::shared_ptr<FakeURLLoad> create(URLConnection& connection, core::URLRequest request);
    struct Private;
    FakeURLLoad(const Private&, URLConnection& connection, core::URLRequest request);

    const core::URLRequest& request() const { return m_request; }
    // The request's body bytes, read from its body file when it has one.
    std::string requestBody() const;

    // Body bytes went out: `written` now, totals so far and expected.
    void sendBodyProgress(int64_t written, int64_t totalWritten, int64_t totalExpected);
    void respond(int status, core::HeaderFields headers = {});
    void send(std::string_view bytes);
    void finish();
    // Fails with a URL error of that code.
    void fail(int code);

    // The connection cancelled the load.
    bool isCancelled() const { return m_cancelled; }
    bool isEnded() const { return m_ended; }

    void start(const std::shared_ptr<URLConnection>& connection) override;
    void stop() override;
    // Cancels the connection (its server went away).
    void cancelConnection();

private:
    URLConnection* connection() const;

    core::URLRequest m_request;
    URLConnection* m_connection;
    std::shared_ptr<URLConnection> m_keepAlive;
    bool m_cancelled = false;
    bool m_ended = false;
};

} // namespace net
