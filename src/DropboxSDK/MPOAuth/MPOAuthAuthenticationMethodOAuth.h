#pragma once

#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethod.h"
#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"
#include "Platform/Core/Observation.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Settings keys of the OAuth method (in "oauthAutoConfig").
inline constexpr const char* MPOAuthRequestTokenURLKey = "MPOAuthRequestTokenURL";
inline constexpr const char* MPOAuthUserAuthorizationURLKey = "MPOAuthUserAuthorizationURL";
inline constexpr const char* MPOAuthAccessTokenURLKey = "MPOAuthAccessTokenURL";
// The settings key of the access token's expiry date.
inline constexpr const char* MPOAuthAutomaticTokenRefreshLastExpiryDate = "MPOAuthAutomaticTokenRefreshLastExpiryDate";

// What the OAuth method asks of the application while the user authorises.
// Each answer has a default that stands for "not answered".
class MPOAuthAuthenticationMethodOAuthDelegate {
public:
    virtual ~MPOAuthAuthenticationMethodOAuthDelegate() = default;
    // Where the service sends the user back; none sends "oob".
    virtual std::optional<core::URL> callbackURLForCompletedUserAuthorization() { return std::nullopt; }
    // True when the delegate opened the authorisation page itself; false
    // lets the application open it.
    virtual bool automaticallyRequestAuthenticationFromURL(const core::URL&, const std::optional<core::URL>&) { return false; }
    virtual std::optional<std::string> oauthVerifierForCompletedUserAuthorization() { return std::nullopt; }
    virtual void authenticationDidFailWithError(const core::Error&) { }
};

// Three-legged OAuth 1.0 (and 1.0a): a request token, the user's
// authorisation in the browser, the access token; and, when the service
// says when it expires, its refresh every that many seconds.
class MPOAuthAuthenticationMethodOAuth : public MPOAuthAuthenticationMethod, public MPOAuthAPIRequestLoaderDelegate {
public:
    // Reads the three URLs from the settings (a dictionary; null: none).
    static std::shared_ptr<MPOAuthAuthenticationMethodOAuth> initWithAPI(const std::shared_ptr<MPOAuthAPI>& api,
        const core::Value& settings);

    const std::optional<core::URL>& oauthRequestTokenURL() const { return m_oauthRequestTokenURL; }
    void setOAuthRequestTokenURL(std::optional<core::URL> url) { m_oauthRequestTokenURL = std::move(url); }
    const std::optional<core::URL>& oauthAuthorizeTokenURL() const { return m_oauthAuthorizeTokenURL; }
    void setOAuthAuthorizeTokenURL(std::optional<core::URL> url) { m_oauthAuthorizeTokenURL = std::move(url); }
    bool oauth10aModeActive() const { return m_oauth10aModeActive; }
    std::shared_ptr<MPOAuthAuthenticationMethodOAuthDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<MPOAuthAuthenticationMethodOAuthDelegate> delegate) { m_delegate = std::move(delegate); }

    // With an access token: its refresh when the saved expiry date has
    // passed. With only a request token: the access token. With neither:
    // a request token.
    void authenticate() override;
    // Asks the access-token URL again, with the session handle when there is one.
    void refreshAccessToken() override;

    void loaderDidFailWithError(MPOAuthAPIRequestLoader& loader, const core::Error& error) override;

private:
    explicit MPOAuthAuthenticationMethodOAuth(const std::shared_ptr<MPOAuthAPI>& api);

    void observeTokens();
    void requestToken();
    void requestAccessToken();
    void requestTokenReceived(const core::Value& parameters);
    void accessTokenReceived(const core::Value& parameters, bool refreshed);
    void perform(const std::optional<core::URL>& url, const MPURLRequestParameter::List& parameters);

    std::optional<core::URL> m_oauthRequestTokenURL;
    std::optional<core::URL> m_oauthAuthorizeTokenURL;
    bool m_oauth10aModeActive = false;
    std::weak_ptr<MPOAuthAuthenticationMethodOAuthDelegate> m_delegate;
    std::vector<core::Observation> m_observations;
};
