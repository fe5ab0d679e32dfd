#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace core {
class URL;
}

namespace net {

// The session's user names and passwords for servers that ask for HTTP
// authentication, kept in memory for the life of the process. A load asks
// for the credential of its scheme, host and port and answers the server's
// challenge with it; loads without one see the 401 like any response.
class CredentialStorage {
public:
    // Where a credential applies: scheme ("http", "https"), host, port and
    // the server's realm. Scheme and host compare without case.
    struct ProtectionSpace {
        std::string scheme;
        std::string host;
        int port = 0;
        std::string realm;

        bool operator==(const ProtectionSpace& other) const;
    };
    struct Credential {
        std::string user;
        std::string password;
        bool operator==(const Credential&) const = default;
    };

    static CredentialStorage& shared();

    // Replaces the credential of the space.
    void setCredential(const Credential& credential, const ProtectionSpace& space);
    std::optional<Credential> credential(const ProtectionSpace& space) const;
    void removeAllCredentialsForTesting();

    // The credential a load of `url` offers: of its scheme, host and port
    // (the scheme's default port when the URL names none), the one stored
    // last when several realms have one.
    std::optional<Credential> credentialForURL(const core::URL& url) const;

    // The port a URL of that scheme reaches when it names none (80, 443; 0
    // for other schemes).
    static int defaultPort(const std::string& scheme);

private:
    struct Entry {
        ProtectionSpace space;
        Credential credential;
        uint64_t sequence;
    };
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    uint64_t m_nextSequence = 0;
};

} // namespace net
