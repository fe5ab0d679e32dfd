#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethodOAuth.h"

#include "DropboxSDK/MPOAuth/MPOAuthAPI.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPURLParameterAdditions.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"

namespace {

std::optional<core::URL> urlSetting(const core::Value& settings, const char* key)
{
    const core::Value& value = settings[key];
    return value.isString() ? core::URL::parse(value.string()) : std::nullopt;
}

std::optional<std::string> textParameter(const core::Value& parameters, const char* name)
{
    const core::Value& value = parameters[name];
    return value.isString() ? std::optional<std::string>(value.string()) : std::nullopt;
}

} // namespace

MPOAuthAuthenticationMethodOAuth::MPOAuthAuthenticationMethodOAuth(const std::shared_ptr<MPOAuthAPI>& api)
    : MPOAuthAuthenticationMethod(api)
{
}

std::shared_ptr<MPOAuthAuthenticationMethodOAuth> MPOAuthAuthenticationMethodOAuth::initWithAPI(
    const std::shared_ptr<MPOAuthAPI>& api, const core::Value& settings)
{
    auto method = std::shared_ptr<MPOAuthAuthenticationMethodOAuth>(new MPOAuthAuthenticationMethodOAuth(api));
    method->m_oauthRequestTokenURL = urlSetting(settings, MPOAuthRequestTokenURLKey);
    method->m_oauthAuthorizeTokenURL = urlSetting(settings, MPOAuthUserAuthorizationURLKey);
    method->setOAuthGetAccessTokenURL(urlSetting(settings, MPOAuthAccessTokenURLKey));
    method->observeTokens();
    return method;
}

void MPOAuthAuthenticationMethodOAuth::observeTokens()
{
    auto api = oauthAPI();
    if (!api)
        return;
    std::weak_ptr<MPOAuthAuthenticationMethodOAuth> weakSelf
        = std::static_pointer_cast<MPOAuthAuthenticationMethodOAuth>(shared_from_this());
    auto& center = core::NotificationCenter::defaultCenter();
    auto observe = [&](const char* name, std::function<void(MPOAuthAuthenticationMethodOAuth&, const core::Value&)> handle) {
        m_observations.push_back(center.observe(name, api->credentials(), [weakSelf, handle](const core::Notification& notification) {
            if (auto self = weakSelf.lock())
                handle(*self, notification.userInfo());
        }));
    };
    observe(MPOAuthNotificationRequestTokenReceived, [](auto& self, const core::Value& info) { self.requestTokenReceived(info); });
    observe(MPOAuthNotificationAccessTokenReceived, [](auto& self, const core::Value& info) { self.accessTokenReceived(info, false); });
    observe(MPOAuthNotificationAccessTokenRefreshed, [](auto& self, const core::Value& info) { self.accessTokenReceived(info, true); });
}

void MPOAuthAuthenticationMethodOAuth::authenticate()
{
    auto api = oauthAPI();
    if (!api)
        return;
    auto credentials = api->credentials();
    if (credentials->accessToken()) {
        core::Value expiry = core::UserDefaults::standard()->object(MPOAuthAutomaticTokenRefreshLastExpiryDate);
        if (expiry.isDate() && expiry.date() < core::Date::now())
            refreshAccessToken();
        else
            api->setAuthenticationState(MPOAuthAuthenticationState::Authenticated);
    } else if (credentials->requestToken()) {
        requestAccessToken();
    } else {
        requestToken();
    }
}

void MPOAuthAuthenticationMethodOAuth::perform(const std::optional<core::URL>& url,
    const MPURLRequestParameter::List& parameters)
{
    auto api = oauthAPI();
    if (!api)
        return;
    if (!url) {
        core::log("MPOAuthAuthenticationMethodOAuth: no URL is configured for this step of the authentication");
        return;
    }
    api->performMethod(std::nullopt, *url, parameters, weak_from_this(), MPOAuthAction {});
}

void MPOAuthAuthenticationMethodOAuth::requestToken()
{
    auto callback = delegate() ? delegate()->callbackURLForCompletedUserAuthorization() : std::nullopt;
    perform(m_oauthRequestTokenURL,
        { MPURLRequestParameter("oauth_callback", callback ? callback->absoluteString() : "oob") });
}

void MPOAuthAuthenticationMethodOAuth::requestAccessToken()
{
    MPURLRequestParameter::List parameters;
    if (auto verifier = delegate() ? delegate()->oauthVerifierForCompletedUserAuthorization() : std::nullopt)
        parameters.emplace_back("oauth_verifier", std::move(*verifier));
    perform(oauthGetAccessTokenURL(), parameters);
}

void MPOAuthAuthenticationMethodOAuth::refreshAccessToken()
{
    auto api = oauthAPI();
    if (!api)
        return;
    MPURLRequestParameter::List parameters;
    if (auto handle = api->credentials()->sessionHandle())
        parameters.emplace_back("oauth_session_handle", std::move(*handle));
    perform(oauthGetAccessTokenURL(), parameters);
}

void MPOAuthAuthenticationMethodOAuth::requestTokenReceived(const core::Value& parameters)
{
    auto api = oauthAPI();
    if (!api)
        return;
    m_oauth10aModeActive = !parameters["oauth_callback_confirmed"].isNull();
    std::optional<core::URL> authorize = m_oauthAuthorizeTokenURL;
    if (auto given = textParameter(parameters, "xoauth_request_auth_url")) {
        if (auto url = core::URL::parse(*given))
            authorize = url;
    }
    if (!authorize) {
        core::log("MPOAuthAuthenticationMethodOAuth: no user authorisation URL is configured");
        return;
    }
    auto owner = delegate();
    auto callback = owner ? owner->callbackURLForCompletedUserAuthorization() : std::nullopt;
    core::URL page = urlByAddingParameters(*authorize, {
        MPURLRequestParameter("oauth_token", api->credentials()->requestToken()),
        MPURLRequestParameter("oauth_callback", callback ? callback->absoluteString() : "oob"),
    });
    if (owner && owner->automaticallyRequestAuthenticationFromURL(page, callback))
        return;
    if (auto application = ui::Application::shared())
        application->openURL(page);
}

void MPOAuthAuthenticationMethodOAuth::accessTokenReceived(const core::Value& parameters, bool refreshed)
{
    auto api = oauthAPI();
    if (!api)
        return;
    auto credentials = api->credentials();
    if (!refreshed) {
        credentials->removeCredentialNamed("oauth_token_request");
        credentials->removeCredentialNamed("oauth_token_request_secret");
    }
    if (auto handle = textParameter(parameters, "oauth_session_handle"))
        credentials->setSessionHandle(std::move(*handle));
    api->setAuthenticationState(MPOAuthAuthenticationState::Authenticated);

    auto defaults = core::UserDefaults::standard();
    auto expiresIn = textParameter(parameters, "oauth_expires_in");
    double seconds = expiresIn ? core::realFromString(*expiresIn) : 0;
    if (seconds > 0) {
        defaults->set(MPOAuthAutomaticTokenRefreshLastExpiryDate, core::Value(core::Date::now().addingTimeInterval(seconds)));
        setRefreshInterval(seconds);
    } else if (!refreshed) {
        defaults->remove(MPOAuthAutomaticTokenRefreshLastExpiryDate);
        setRefreshInterval(std::nullopt);
    }
}

void MPOAuthAuthenticationMethodOAuth::loaderDidFailWithError(MPOAuthAPIRequestLoader&, const core::Error& error)
{
    if (auto owner = delegate())
        owner->authenticationDidFailWithError(error);
}
