#include "DropboxSDK/MPOAuth/MPOAuthAPI.h"

#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethod.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "Platform/Core/Exception.h"

#include <algorithm>
#include <fmt/format.h>

MPOAuthAPI::MPOAuthAPI(const core::URL& authenticationURL, const core::URL& baseURL)
    : m_baseURL(baseURL)
    , m_authenticationURL(authenticationURL)
{
}

MPOAuthAPI::~MPOAuthAPI() = default;

std::shared_ptr<MPOAuthAPI> MPOAuthAPI::initWithCredentials(const core::Value::Dictionary& credentials,
    const core::URL& baseURL)
{
    return initWithCredentials(credentials, baseURL, baseURL, true);
}

std::shared_ptr<MPOAuthAPI> MPOAuthAPI::initWithCredentials(const core::Value::Dictionary& credentials,
    const core::URL& authenticationURL, const core::URL& baseURL)
{
    return initWithCredentials(credentials, authenticationURL, baseURL, true);
}

std::shared_ptr<MPOAuthAPI> MPOAuthAPI::initWithCredentials(const core::Value::Dictionary& credentials,
    const core::URL& authenticationURL, const core::URL& baseURL, bool autoStart)
{
    auto api = std::shared_ptr<MPOAuthAPI>(new MPOAuthAPI(authenticationURL, baseURL));
    api->m_credentials = MPOAuthCredentialConcreteStore::initWithCredentials(credentials, baseURL, authenticationURL);
    api->m_authenticationMethod = MPOAuthAuthenticationMethod::initWithAPI(api, authenticationURL);
    api->setSignatureScheme(MPOAuthSignatureScheme::HMACSHA1);
    if (autoStart)
        api->authenticate();
    return api;
}

void MPOAuthAPI::setSignatureScheme(MPOAuthSignatureScheme scheme)
{
    m_signatureScheme = scheme;
    switch (scheme) {
    case MPOAuthSignatureScheme::PlainText:
        m_credentials->setSignatureMethod(MPOAuthSignatureParameter::PLAINTEXT);
        break;
    case MPOAuthSignatureScheme::HMACSHA1:
        m_credentials->setSignatureMethod(MPOAuthSignatureParameter::HMACSHA1);
        break;
    case MPOAuthSignatureScheme::RSASHA1:
        // Named so that signing refuses it rather than sign another way.
        m_credentials->setSignatureMethod("RSA-SHA1");
        break;
    }
}

void MPOAuthAPI::authenticate()
{
    if (m_authenticationMethod)
        m_authenticationMethod->authenticate();
}

core::URL MPOAuthAPI::resolvedURL(const std::optional<std::string>& method, const core::URL& url)
{
    if (!method) {
        if (url.escapedPath().empty() && !url.hasQuery()) {
            throw core::Exception("MPOAuthNilMethodRequestException",
                fmt::format("Nil was passed as the method to be performed on {}", url.absoluteString()));
        }
        return url;
    }
    auto resolved = core::URL::parse(*method, url);
    if (!resolved) {
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("The method {} does not make a URL against {}", *method, url.absoluteString()));
    }
    return resolved->absoluteURL();
}

std::shared_ptr<MPOAuthAPIRequestLoader> MPOAuthAPI::loaderFor(MPOAuthURLRequest request,
    std::weak_ptr<core::Object> target, MPOAuthAction action)
{
    auto loader = MPOAuthAPIRequestLoader::initWithRequest(std::move(request));
    loader->setCredentials(m_credentials);
    loader->setTarget(std::move(target));
    loader->setAction(std::move(action));
    return loader;
}

void MPOAuthAPI::performMethod(const std::optional<std::string>& method, std::weak_ptr<core::Object> target,
    MPOAuthAction action)
{
    performMethod(method, m_baseURL, {}, std::move(target), std::move(action), "GET");
}

void MPOAuthAPI::performMethod(const std::optional<std::string>& method, const core::URL& url,
    const MPURLRequestParameter::List& parameters, std::weak_ptr<core::Object> target, MPOAuthAction action)
{
    performMethod(method, url, parameters, std::move(target), std::move(action), "GET");
}

void MPOAuthAPI::performPOSTMethod(const std::optional<std::string>& method, const core::URL& url,
    const MPURLRequestParameter::List& parameters, std::weak_ptr<core::Object> target, MPOAuthAction action)
{
    performMethod(method, url, parameters, std::move(target), std::move(action), "POST");
}

void MPOAuthAPI::performMethod(const std::optional<std::string>& method, const core::URL& url,
    const MPURLRequestParameter::List& parameters, std::weak_ptr<core::Object> target, MPOAuthAction action,
    const std::string& httpMethod)
{
    auto request = MPOAuthURLRequest::initWithURL(resolvedURL(method, url), parameters);
    request.setHTTPMethod(httpMethod);
    performURLRequest(std::move(request), std::move(target), std::move(action));
}

void MPOAuthAPI::performURLRequest(MPOAuthURLRequest request, std::weak_ptr<core::Object> target,
    MPOAuthAction action)
{
    auto loader = loaderFor(std::move(request), std::move(target), std::move(action));
    std::weak_ptr<MPOAuthAPI> weakSelf = std::static_pointer_cast<MPOAuthAPI>(shared_from_this());
    loader->setCompletionHandler([weakSelf](MPOAuthAPIRequestLoader& done) {
        if (auto self = weakSelf.lock()) {
            std::erase_if(self->m_activeLoaders, [&done](const auto& loader) { return loader.get() == &done; });
        }
    });
    // Signing may raise; only a started load is kept. Its answer comes in a
    // later pass, after it was listed.
    loader->loadSynchronously(false);
    m_activeLoaders.push_back(std::move(loader));
}

std::optional<std::string> MPOAuthAPI::dataForMethod(const std::string& method)
{
    return dataForURL(m_baseURL, method, {});
}

std::optional<std::string> MPOAuthAPI::dataForMethod(const std::string& method,
    const MPURLRequestParameter::List& parameters)
{
    return dataForURL(m_baseURL, method, parameters);
}

std::optional<std::string> MPOAuthAPI::dataForURL(const core::URL& url, const std::optional<std::string>& method,
    const MPURLRequestParameter::List& parameters)
{
    auto loader = loaderFor(MPOAuthURLRequest::initWithURL(resolvedURL(method, url), parameters), {}, {});
    loader->loadSynchronously(true);
    if (loader->error())
        return std::nullopt;
    return loader->data();
}

core::Value MPOAuthAPI::credentialNamed(std::string_view name) const
{
    return m_credentials->credentialNamed(name);
}

void MPOAuthAPI::setCredential(std::string value, const std::string& name)
{
    m_credentials->setCredential(std::move(value), name);
}

void MPOAuthAPI::removeCredentialNamed(const std::string& name)
{
    m_credentials->removeCredentialNamed(name);
}
