#pragma once

// The Digest check of one connection (MD5, qop "auth"): the nonce its client
// uses and the last count it took, and whether the last refusal was only
// for a nonce this server does not know (the 401 then says "stale"). Nonces
// are handed out in 401 challenges and known to every connection for
// NonceLifetime seconds. Main thread only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class HTTPMessageRequest;

class HTTPDigestCheck {
public:
    // How long a nonce is known after its 401.
    static constexpr double NonceLifetime = 600;

    using PasswordForUser = std::function<std::optional<std::string>(const std::string& user)>;

    // Whether the request's "Authorization" proves the password
    // `passwordForUser` gives its user, with a nonce this server issued and
    // a count this connection has not seen.
    bool accepts(const HTTPMessageRequest& request, const PasswordForUser& passwordForUser);
    // The "WWW-Authenticate" value of a 401, with a fresh nonce.
    std::string challenge(std::string_view realm);
    // A new client on the connection: no nonce, no count.
    void forget();

    // The nonces every connection knows, and their expiry, for tests.
    static size_t recentNonceCountForTesting();
    static void resetForTesting();

private:
    static std::string issueNonce();

    std::string m_nonce;
    // The count is 32 bits unsigned on the wire: kept whole.
    int64_t m_lastNC = 0;
    bool m_staleNonce = false;
};
