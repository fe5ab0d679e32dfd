#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"

#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/UUID.h"

#include <cmath>
#include <fmt/format.h>

MPOAuthCredentialConcreteStore::MPOAuthCredentialConcreteStore(core::Value::Dictionary credentials,
    std::optional<core::URL> baseURL, std::optional<core::URL> authenticationURL)
    : m_store(std::move(credentials))
    , m_baseURL(std::move(baseURL))
    , m_authenticationURL(std::move(authenticationURL))
{
}

std::shared_ptr<MPOAuthCredentialConcreteStore> MPOAuthCredentialConcreteStore::initWithCredentials(
    core::Value::Dictionary credentials)
{
    return initWithCredentials(std::move(credentials), std::nullopt);
}

std::shared_ptr<MPOAuthCredentialConcreteStore> MPOAuthCredentialConcreteStore::initWithCredentials(
    core::Value::Dictionary credentials, std::optional<core::URL> baseURL)
{
    auto authenticationURL = baseURL;
    return initWithCredentials(std::move(credentials), std::move(baseURL), std::move(authenticationURL));
}

std::shared_ptr<MPOAuthCredentialConcreteStore> MPOAuthCredentialConcreteStore::initWithCredentials(
    core::Value::Dictionary credentials, std::optional<core::URL> baseURL, std::optional<core::URL> authenticationURL)
{
    return std::shared_ptr<MPOAuthCredentialConcreteStore>(new MPOAuthCredentialConcreteStore(
        std::move(credentials), std::move(baseURL), std::move(authenticationURL)));
}

std::optional<std::string> MPOAuthCredentialConcreteStore::stringNamed(std::string_view name) const
{
    auto found = m_store.find(name);
    if (found == m_store.end() || found->second.isNull())
        return std::nullopt;
    return found->second.isString() ? found->second.string() : found->second.toString();
}

std::optional<std::string> MPOAuthCredentialConcreteStore::consumerKey() const { return stringNamed(kMPOAuthCredentialConsumerKey); }
std::optional<std::string> MPOAuthCredentialConcreteStore::consumerSecret() const { return stringNamed(kMPOAuthCredentialConsumerSecret); }
std::optional<std::string> MPOAuthCredentialConcreteStore::username() const { return stringNamed(kMPOAuthCredentialUsername); }
std::optional<std::string> MPOAuthCredentialConcreteStore::password() const { return stringNamed(kMPOAuthCredentialPassword); }
std::optional<std::string> MPOAuthCredentialConcreteStore::requestToken() const { return stringNamed(kMPOAuthCredentialRequestToken); }
std::optional<std::string> MPOAuthCredentialConcreteStore::requestTokenSecret() const { return stringNamed(kMPOAuthCredentialRequestTokenSecret); }
std::optional<std::string> MPOAuthCredentialConcreteStore::accessToken() const { return stringNamed(kMPOAuthCredentialAccessToken); }
std::optional<std::string> MPOAuthCredentialConcreteStore::accessTokenSecret() const { return stringNamed(kMPOAuthCredentialAccessTokenSecret); }
std::optional<std::string> MPOAuthCredentialConcreteStore::sessionHandle() const { return stringNamed(kMPOAuthCredentialSessionHandle); }
std::optional<std::string> MPOAuthCredentialConcreteStore::signatureMethod() const { return stringNamed(kMPOAuthSignatureMethod); }

void MPOAuthCredentialConcreteStore::setToken(const char* name, std::optional<std::string> value)
{
    if (value) {
        m_store.insert_or_assign(name, core::Value(std::move(*value)));
        return;
    }
    m_store.erase(std::string(name));
    removeValueFromKeychainUsingName(name);
}

void MPOAuthCredentialConcreteStore::setRequestToken(std::optional<std::string> token) { setToken(kMPOAuthCredentialRequestToken, std::move(token)); }
void MPOAuthCredentialConcreteStore::setRequestTokenSecret(std::optional<std::string> secret) { setToken(kMPOAuthCredentialRequestTokenSecret, std::move(secret)); }
void MPOAuthCredentialConcreteStore::setAccessToken(std::optional<std::string> token) { setToken(kMPOAuthCredentialAccessToken, std::move(token)); }
void MPOAuthCredentialConcreteStore::setAccessTokenSecret(std::optional<std::string> secret) { setToken(kMPOAuthCredentialAccessTokenSecret, std::move(secret)); }
void MPOAuthCredentialConcreteStore::setSessionHandle(std::optional<std::string> handle) { setToken(kMPOAuthCredentialSessionHandle, std::move(handle)); }

void MPOAuthCredentialConcreteStore::setSignatureMethod(std::optional<std::string> method)
{
    if (method)
        m_store.insert_or_assign(kMPOAuthSignatureMethod, core::Value(std::move(*method)));
    else
        m_store.erase(std::string(kMPOAuthSignatureMethod));
}

void MPOAuthCredentialConcreteStore::discardOAuthCredentials()
{
    setRequestToken(std::nullopt);
    setRequestTokenSecret(std::nullopt);
    setAccessToken(std::nullopt);
    setAccessTokenSecret(std::nullopt);
    setSessionHandle(std::nullopt);
}

core::Value MPOAuthCredentialConcreteStore::credentialNamed(std::string_view name) const
{
    auto found = m_store.find(name);
    return found == m_store.end() ? core::Value() : found->second;
}

void MPOAuthCredentialConcreteStore::setCredential(std::string value, const std::string& name)
{
    m_store.insert_or_assign(name, core::Value(value));
    addToKeychainUsingName(name, value);
}

void MPOAuthCredentialConcreteStore::removeCredentialNamed(const std::string& name)
{
    m_store.erase(name);
    removeValueFromKeychainUsingName(name);
}

std::string MPOAuthCredentialConcreteStore::tokenSecret() const
{
    if (accessToken())
        return accessTokenSecret().value_or(std::string());
    if (requestToken())
        return requestTokenSecret().value_or(std::string());
    return {};
}

std::string MPOAuthCredentialConcreteStore::signingKey() const
{
    return fmt::format("{}&{}", stringByAddingURIPercentEscapesUsingEncoding(consumerSecret().value_or(std::string())),
        stringByAddingURIPercentEscapesUsingEncoding(tokenSecret()));
}

std::string MPOAuthCredentialConcreteStore::timestamp() const
{
    double seconds = core::Date::now().timeIntervalSince1970();
    return fmt::format("{}", static_cast<int64_t>(std::isfinite(seconds) ? std::trunc(seconds) : 0));
}

MPURLRequestParameter MPOAuthCredentialConcreteStore::oauthVersionParameter() const
{
    return MPURLRequestParameter("oauth_version", stringNamed(VersionParameterKey).value_or("1.0"));
}

MPURLRequestParameter MPOAuthCredentialConcreteStore::oauthNonceParameter() const
{
    return MPURLRequestParameter("oauth_nonce", core::uuidString());
}

MPURLRequestParameter MPOAuthCredentialConcreteStore::oauthTimestampParameter() const
{
    return MPURLRequestParameter("oauth_timestamp", timestamp());
}

MPURLRequestParameter MPOAuthCredentialConcreteStore::oauthSignatureMethodParameter() const
{
    return MPURLRequestParameter("oauth_signature_method", signatureMethod());
}

std::optional<MPURLRequestParameter> MPOAuthCredentialConcreteStore::oauthTokenParameter() const
{
    auto token = accessToken();
    if (!token)
        token = requestToken();
    if (!token)
        return std::nullopt;
    return MPURLRequestParameter("oauth_token", std::move(token));
}

MPURLRequestParameter MPOAuthCredentialConcreteStore::oauthConsumerKeyParameter() const
{
    return MPURLRequestParameter("oauth_consumer_key", consumerKey());
}

MPURLRequestParameter::List MPOAuthCredentialConcreteStore::oauthParameters() const
{
    MPURLRequestParameter::List parameters;
    parameters.reserve(6);
    parameters.push_back(oauthConsumerKeyParameter());
    if (auto token = oauthTokenParameter())
        parameters.push_back(std::move(*token));
    parameters.push_back(oauthSignatureMethodParameter());
    parameters.push_back(oauthTimestampParameter());
    parameters.push_back(oauthNonceParameter());
    parameters.push_back(oauthVersionParameter());
    return parameters;
}
