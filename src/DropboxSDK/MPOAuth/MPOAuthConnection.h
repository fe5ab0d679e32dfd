#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URLRequest.h"

#include <memory>
#include <optional>
#include <string>

namespace net {
class URLConnection;
class URLConnectionDelegate;
}
class MPOAuthCredentialConcreteStore;
class MPOAuthURLRequest;

// A URL load of a request signed with a credential store: the store's
// protocol parameters are added to the request, which is signed with the
// store's key and method and sent.
class MPOAuthConnection : public core::Object {
public:
    // Bodies of synchronous loads stop here (NSURLErrorDomain -1103).
    static constexpr size_t MaximumBodyLength = size_t(64) << 20;

    // Starts the load on the calling thread's run loop.
    static std::shared_ptr<MPOAuthConnection> connectionWithRequest(MPOAuthURLRequest& request,
        std::weak_ptr<net::URLConnectionDelegate> delegate, std::shared_ptr<MPOAuthCredentialConcreteStore> credentials);
    // Loads on a worker thread's run loop while the caller waits, at most
    // the request's time-out (then NSURLErrorDomain -1001). The body, or
    // none with the error; the response head when one came.
    static std::optional<std::string> sendSynchronousRequest(MPOAuthURLRequest& request,
        const std::shared_ptr<MPOAuthCredentialConcreteStore>& credentials,
        std::optional<core::HTTPURLResponse>* response, core::Error* error);

    // The request as sent, with the protocol parameters and the signature.
    static core::URLRequest signedRequest(MPOAuthURLRequest& request, const MPOAuthCredentialConcreteStore& credentials);

    const std::shared_ptr<MPOAuthCredentialConcreteStore>& credentials() const { return m_credentials; }
    const std::shared_ptr<net::URLConnection>& connection() const { return m_connection; }
    void cancel();

private:
    MPOAuthConnection() = default;

    std::shared_ptr<MPOAuthCredentialConcreteStore> m_credentials;
    std::shared_ptr<net::URLConnection> m_connection;
};
