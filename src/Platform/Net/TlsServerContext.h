#pragma once

#include "Platform/Core/Error.h"

#include <cstdint>
#include <memory>

struct ssl_ctx_st;

namespace sec {
class Pkcs12Identity;
}

namespace net {

// The TLS settings of a secure server: its identity (key, certificate and
// chain), TLS 1.2 at least, writes that may complete in part and may be
// retried from a moved buffer, and a peer that closes without a TLS
// close_notify treated as a plain end of stream. One context serves every
// connection of the server.
class TlsServerContext {
public:
    // The error domain of TLS streams, and its codes that the server's
    // streams report: the peer broke the protocol (a plain-text request on
    // the TLS port) or the handshake failed otherwise; the connection ended
    // in the middle of the handshake.
    static constexpr const char* Domain = "kCFStreamErrorDomainSSL";
    static constexpr int64_t ProtocolError = -9800;
    static constexpr int64_t ClosedAbortError = -9806;

    // Null, with an error in the TLS domain, when the identity's key and
    // certificate do not go together.
    static std::shared_ptr<TlsServerContext> create(std::shared_ptr<const sec::Pkcs12Identity> identity,
        core::Error* error = nullptr);

    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    ssl_ctx_st* native() const { return m_context; }
    const std::shared_ptr<const sec::Pkcs12Identity>& identity() const { return m_identity; }

private:
    TlsServerContext() = default;

    ssl_ctx_st* m_context = nullptr;
    std::shared_ptr<const sec::Pkcs12Identity> m_identity;
};

} // namespace net
