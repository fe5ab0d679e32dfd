#pragma once

#include "DropboxSDK/MPOAuth/MPOAuthCredentialStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthParameterFactory.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Security/KeychainItem.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sec {
class KeychainStore;
}

// The credentials of one OAuth consumer: a dictionary keyed by the
// kMPOAuthCredential… names (the consumer's key and secret, the signature
// method, the tokens), and the parameters and key each signed request needs.
//
// Tokens live in the dictionary; a credential set by name also goes to the
// keychain as an internet password (security domain = the authentication
// URL's host, server = the base URL's host, account = the name, type
// 'oaut'), and removing a token or credential deletes its item. Keychain
// statuses that mean misuse or an unusable keychain raise (see
// MPOAuthCredentialConcreteStoreKeychain.cpp). Neither secret ever reaches
// a log line or a description. Use a store on one thread at a time.
class MPOAuthCredentialConcreteStore : public core::Object,
                                       public MPOAuthCredentialStore,
                                       public MPOAuthParameterFactory {
public:
    // The key under which the text sent as "oauth_version" may be kept.
    static constexpr const char* VersionParameterKey = "versionParameter";
    // The item type of the keychain items, 'oaut'.
    static constexpr int64_t KeychainItemType = 0x6F617574;

    static std::shared_ptr<MPOAuthCredentialConcreteStore> initWithCredentials(core::Value::Dictionary credentials);
    static std::shared_ptr<MPOAuthCredentialConcreteStore> initWithCredentials(core::Value::Dictionary credentials,
        std::optional<core::URL> baseURL);
    static std::shared_ptr<MPOAuthCredentialConcreteStore> initWithCredentials(core::Value::Dictionary credentials,
        std::optional<core::URL> baseURL, std::optional<core::URL> authenticationURL);

    const std::optional<core::URL>& baseURL() const { return m_baseURL; }
    const std::optional<core::URL>& authenticationURL() const { return m_authenticationURL; }

    std::optional<std::string> consumerKey() const override;
    std::optional<std::string> consumerSecret() const override;
    std::optional<std::string> username() const override;
    std::optional<std::string> password() const override;
    std::optional<std::string> requestToken() const override;
    std::optional<std::string> requestTokenSecret() const override;
    std::optional<std::string> accessToken() const override;
    std::optional<std::string> accessTokenSecret() const override;
    std::optional<std::string> sessionHandle() const;

    // A value goes into the dictionary only; none removes the entry and
    // deletes the keychain item of that name.
    void setRequestToken(std::optional<std::string> token);
    void setRequestTokenSecret(std::optional<std::string> secret);
    void setAccessToken(std::optional<std::string> token);
    void setAccessTokenSecret(std::optional<std::string> secret);
    void setSessionHandle(std::optional<std::string> handle);

    // Request token, its secret, access token, its secret and session
    // handle set to none, in that order.
    void discardOAuthCredentials() override;
    core::Value credentialNamed(std::string_view name) const override;
    // Into the dictionary, then added to (or updated in) the keychain.
    void setCredential(std::string value, const std::string& name);
    // Out of the dictionary, then deleted from the keychain.
    void removeCredentialNamed(const std::string& name);

    // The access token's secret when there is an access token, else the
    // request token's when there is a request token, else "".
    std::string tokenSecret() const;

    void setSignatureMethod(std::optional<std::string> method) override;
    std::optional<std::string> signatureMethod() const override;
    std::string signingKey() const override;
    std::string timestamp() const override;
    MPURLRequestParameter oauthVersionParameter() const override;
    MPURLRequestParameter oauthNonceParameter() const override;
    MPURLRequestParameter oauthTimestampParameter() const override;
    MPURLRequestParameter oauthSignatureMethodParameter() const override;
    std::optional<MPURLRequestParameter> oauthTokenParameter() const override;
    MPURLRequestParameter oauthConsumerKeyParameter() const override;
    // "oauth_consumer_key", "oauth_token" (with a token), "oauth_signature_method",
    // "oauth_timestamp", "oauth_nonce" (a new UUID each call), "oauth_version".
    MPURLRequestParameter::List oauthParameters() const override;

    // Keychain additions. Lookups answer nothing on any failure.
    void addToKeychainUsingName(const std::string& name, std::string_view value);
    std::optional<std::string> findValueFromKeychainUsingName(const std::string& name);
    std::optional<std::string> findValueFromKeychainUsingName(const std::string& name, sec::KeychainItem* item);
    void removeValueFromKeychainUsingName(const std::string& name);

    // The keychain the items go to; unset, the application's
    // (VKKeychain::sharedKeychain()->store()), asked on each use.
    void setKeychainStore(std::shared_ptr<sec::KeychainStore> store) { m_keychain = std::move(store); }

private:
    MPOAuthCredentialConcreteStore(core::Value::Dictionary credentials, std::optional<core::URL> baseURL,
        std::optional<core::URL> authenticationURL);

    std::optional<std::string> stringNamed(std::string_view name) const;
    void setToken(const char* name, std::optional<std::string> value);
    std::shared_ptr<sec::KeychainStore> keychain() const;
    // The item's attributes: every one that is known, so that a query
    // never reaches further than this store's own items.
    core::Value keychainAttributes(const std::string& name) const;

    core::Value::Dictionary m_store;
    std::optional<core::URL> m_baseURL;
    std::optional<core::URL> m_authenticationURL;
    std::shared_ptr<sec::KeychainStore> m_keychain;
};
