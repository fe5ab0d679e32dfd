#pragma once

#include "WebDAV/WebDAVCredentials.h"

class VKKeychain;

// The program's credentials: the remote user's password and the server's
// identity from the keychain. A password given at launch (--password-file)
// takes the stored one's place for this run only and is never stored.
class WebDAVKeychainCredentials : public WebDAVCredentials {
public:
    explicit WebDAVKeychainCredentials(std::shared_ptr<VKKeychain> keychain,
        std::optional<std::string> launchPassword = std::nullopt);

    std::optional<std::string> passwordForUser(std::string_view user) override;
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() override;

private:
    std::shared_ptr<VKKeychain> m_keychain;
    std::optional<std::string> m_launchPassword;
};
