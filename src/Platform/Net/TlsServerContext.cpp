#include "Platform/Net/TlsServerContext.h"

#include "Platform/Security/Pkcs12Identity.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace net {

std::shared_ptr<TlsServerContext> TlsServerContext::create(std::shared_ptr<const sec::Pkcs12Identity> identity,
    core::Error* error)
{
    const auto refuse = [error](const char* text) -> std::shared_ptr<TlsServerContext> {
        ERR_clear_error();
        core::setError(error, core::Error(Domain, ProtocolError, text));
        return nullptr;
    };
    if (!identity || !identity->privateKey() || !identity->certificate())
        return refuse("The server has no TLS identity.");
    std::shared_ptr<TlsServerContext> context(new TlsServerContext());
    context->m_identity = std::move(identity);
    SSL_CTX* native = SSL_CTX_new(TLS_server_method());
    if (!native)
        return refuse("The TLS context could not be made.");
    context->m_context = native;
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    SSL_CTX_set_options(native, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_mode(native, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_RELEASE_BUFFERS);
    const auto& id = *context->m_identity;
    if (SSL_CTX_use_certificate(native, id.certificate()) != 1 || SSL_CTX_use_PrivateKey(native, id.privateKey()) != 1
        || SSL_CTX_check_private_key(native) != 1)
        return refuse("The TLS identity's key does not match its certificate.");
    for (X509* certificate : id.chain()) {
        if (SSL_CTX_add1_chain_cert(native, certificate) != 1)
            return refuse("The TLS identity's chain could not be used.");
    }
    return context;
}

TlsServerContext::~TlsServerContext()
{
    SSL_CTX_free(m_context);
}

} // namespace net
