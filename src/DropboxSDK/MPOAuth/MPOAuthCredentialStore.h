#pragma once

#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <string_view>

// Names of the credentials a store keeps; each text equals its name, so
// that they also serve as keys of saved dictionaries and keychain accounts.
inline constexpr const char* kMPOAuthCredentialConsumerKey = "kMPOAuthCredentialConsumerKey";
inline constexpr const char* kMPOAuthCredentialConsumerSecret = "kMPOAuthCredentialConsumerSecret";
inline constexpr const char* kMPOAuthCredentialUsername = "kMPOAuthCredentialUsername";
inline constexpr const char* kMPOAuthCredentialPassword = "kMPOAuthCredentialPassword";
inline constexpr const char* kMPOAuthCredentialRequestToken = "kMPOAuthCredentialRequestToken";
inline constexpr const char* kMPOAuthCredentialRequestTokenSecret = "kMPOAuthCredentialRequestTokenSecret";
inline constexpr const char* kMPOAuthCredentialAccessToken = "kMPOAuthCredentialAccessToken";
inline constexpr const char* kMPOAuthCredentialAccessTokenSecret = "kMPOAuthCredentialAccessTokenSecret";
inline constexpr const char* kMPOAuthCredentialSessionHandle = "kMPOAuthCredentialSessionHandle";
inline constexpr const char* kMPOAuthSignatureMethod = "kMPOAuthSignatureMethod";

// What signing asks of the credentials: the consumer's pair, the user's,
// and the tokens the service handed out.
class MPOAuthCredentialStore {
public:
    virtual ~MPOAuthCredentialStore() = default;

    virtual std::optional<std::string> consumerKey() const = 0;
    virtual std::optional<std::string> consumerSecret() const = 0;
    virtual std::optional<std::string> username() const = 0;
    virtual std::optional<std::string> password() const = 0;
    virtual std::optional<std::string> requestToken() const = 0;
    virtual std::optional<std::string> requestTokenSecret() const = 0;
    virtual std::optional<std::string> accessToken() const = 0;
    virtual std::optional<std::string> accessTokenSecret() const = 0;
    // Forgets every token the service handed out.
    virtual void discardOAuthCredentials() = 0;
    // The credential of that name; null when there is none.
    virtual core::Value credentialNamed(std::string_view name) const = 0;
};
