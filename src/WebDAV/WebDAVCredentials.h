#pragma once

#include "Shell/VKKeychain.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sec {
class Pkcs12Identity;
}

// Where the WebDAV connection gets its secrets: the password of the remote
// user and the server's TLS identity. The program wires the keychain's
// (WebDAVKeychainCredentials); tests wire fakes.
class WebDAVCredentials {
public:
    // Posted (from any thread) when a stored password changes.
    static constexpr const char* DidChangeNotification = VKKeychainDidChangeNotification;

    virtual ~WebDAVCredentials() = default;

    static std::shared_ptr<WebDAVCredentials> current();
    static void setCurrent(std::shared_ptr<WebDAVCredentials> credentials);

    // The password kept for the user, or nothing.
    virtual std::optional<std::string> passwordForUser(std::string_view user) = 0;
    // The server's identity with its certificates, or nothing when there is
    // none to be had.
    virtual std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() = 0;
};
