#pragma once

#include "DropboxSDK/MPOAuth/MPOAuthAPIRequestLoader.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>
#include <string_view>

namespace core {
class Timer;
}
class MPOAuthAPI;

// Whether a host belongs to a configured domain, compared ignoring case: an
// IPv4 address only matches the same text ("10.0.0.1" is not "10.0.0.10");
// a longer host matches a domain it ends with (".example.com" for
// "api.example.com"); a host one character shorter matches the domain less
// its first character ("example.com" for ".example.com"); a host of the
// same length matches an equal domain.
bool domainMatches(std::string_view host, std::string_view domain);

// How an API gets its tokens. The method and its settings come from the
// bundle resource "oauthAutoConfig.plist" (none ships): a dictionary from
// domain to { "MPOAuthAuthenticationPreferredMethods": [class names],
// <class name>: settings }, the first domain the authentication URL's host
// matches and the first name that is a known class winning; without a match
// the OAuth method with no settings.
class MPOAuthAuthenticationMethod : public core::Object, public MPOAuthAPIInternalClient {
public:
    static std::shared_ptr<MPOAuthAuthenticationMethod> initWithAPI(const std::shared_ptr<MPOAuthAPI>& api,
        const core::URL& url);
    ~MPOAuthAuthenticationMethod() override;

    std::shared_ptr<MPOAuthAPI> oauthAPI() const { return m_oauthAPI.lock(); }
    const std::optional<core::URL>& oauthGetAccessTokenURL() const { return m_oauthGetAccessTokenURL; }
    void setOAuthGetAccessTokenURL(std::optional<core::URL> url) { m_oauthGetAccessTokenURL = std::move(url); }
    const std::shared_ptr<core::Timer>& refreshTimer() const { return m_refreshTimer; }

    virtual void authenticate() = 0;
    virtual void refreshAccessToken() = 0;

protected:
    explicit MPOAuthAuthenticationMethod(const std::shared_ptr<MPOAuthAPI>& api);

    // A repeating timer on the calling thread's run loop that refreshes the
    // access token every `interval` seconds; none stops it.
    void setRefreshInterval(std::optional<double> interval);

private:
    std::weak_ptr<MPOAuthAPI> m_oauthAPI;
    std::optional<core::URL> m_oauthGetAccessTokenURL;
    std::shared_ptr<core::Timer> m_refreshTimer;
};
