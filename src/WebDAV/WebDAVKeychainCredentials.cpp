#include "WebDAV/WebDAVKeychainCredentials.h"

#include "Shell/VKKeychain.h"

WebDAVKeychainCredentials::WebDAVKeychainCredentials(std::shared_ptr<VKKeychain> keychain,
    std::optional<std::string> launchPassword)
    : m_keychain(std::move(keychain))
    , m_launchPassword(std::move(launchPassword))
{
}

std::optional<std::string> WebDAVKeychainCredentials::passwordForUser(std::string_view user)
{
    if (m_launchPassword && user == VKLoginPasswordService)
        return m_launchPassword;
    return m_keychain->passwordForUser(user, user);
}

std::shared_ptr<const sec::Pkcs12Identity> WebDAVKeychainCredentials::sslIdentityAndCertificates()
{
    return m_keychain->sslIdentityAndCertificates();
}
