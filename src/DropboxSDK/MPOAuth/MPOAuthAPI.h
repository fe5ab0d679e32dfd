#pragma once

#include "DropboxSDK/MPOAuth/MPOAuthAPIRequestLoader.h"
#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class MPOAuthAuthenticationMethod;
class MPOAuthCredentialConcreteStore;
class MPOAuthURLRequest;

enum class MPOAuthSignatureScheme { PlainText = 0, HMACSHA1 = 1, RSASHA1 = 2 };
enum class MPOAuthAuthenticationState { Unauthenticated = 0, Authenticated = 2 };

// A three-legged OAuth 1.0 client of one service: it gets the user's
// tokens through its authentication method and then performs signed calls
// against its base URL through request loaders. Main thread.
class MPOAuthAPI : public core::Object, public MPOAuthAPIInternalClient {
public:
    // The base URL serves for authentication as well; starts at once.
    static std::shared_ptr<MPOAuthAPI> initWithCredentials(const core::Value::Dictionary& credentials,
        const core::URL& baseURL);
    // Starts at once.
    static std::shared_ptr<MPOAuthAPI> initWithCredentials(const core::Value::Dictionary& credentials,
        const core::URL& authenticationURL, const core::URL& baseURL);
    // The authentication method is the one "oauthAutoConfig" names for the
    // authentication URL's host (MPOAuthAuthenticationMethod); the
    // signature scheme starts as HMAC-SHA1.
    static std::shared_ptr<MPOAuthAPI> initWithCredentials(const core::Value::Dictionary& credentials,
        const core::URL& authenticationURL, const core::URL& baseURL, bool autoStart);
    ~MPOAuthAPI() override;

    const std::shared_ptr<MPOAuthCredentialConcreteStore>& credentials() const { return m_credentials; }
    const core::URL& baseURL() const { return m_baseURL; }
    const core::URL& authenticationURL() const { return m_authenticationURL; }
    const std::shared_ptr<MPOAuthAuthenticationMethod>& authenticationMethod() const { return m_authenticationMethod; }
    MPOAuthSignatureScheme signatureScheme() const { return m_signatureScheme; }
    // Also sets the store's signature method ("PLAINTEXT", "HMAC-SHA1", "RSA-SHA1").
    void setSignatureScheme(MPOAuthSignatureScheme scheme);
    MPOAuthAuthenticationState authenticationState() const { return m_authenticationState; }
    void setAuthenticationState(MPOAuthAuthenticationState state) { m_authenticationState = state; }
    const std::vector<std::shared_ptr<MPOAuthAPIRequestLoader>>& activeLoaders() const { return m_activeLoaders; }

    void authenticate();
    bool isAuthenticated() const { return m_authenticationState == MPOAuthAuthenticationState::Authenticated; }

    // Signed calls. The method is resolved against the URL (the base URL
    // when none is given); no method names the URL itself, which must then
    // have a path or a query ("MPOAuthNilMethodRequestException"). Loads are
    // asynchronous; the target hears through the action (none: nothing).
    void performMethod(const std::optional<std::string>& method, std::weak_ptr<core::Object> target = {},
        MPOAuthAction action = {});
    void performMethod(const std::optional<std::string>& method, const core::URL& url,
        const MPURLRequestParameter::List& parameters, std::weak_ptr<core::Object> target = {}, MPOAuthAction action = {});
    void performPOSTMethod(const std::optional<std::string>& method, const core::URL& url,
        const MPURLRequestParameter::List& parameters, std::weak_ptr<core::Object> target = {}, MPOAuthAction action = {});
    void performMethod(const std::optional<std::string>& method, const core::URL& url,
        const MPURLRequestParameter::List& parameters, std::weak_ptr<core::Object> target, MPOAuthAction action,
        const std::string& httpMethod);
    void performURLRequest(MPOAuthURLRequest request, std::weak_ptr<core::Object> target = {},
        MPOAuthAction action = {});

    // The same, waiting for the body (MPOAuthConnection::sendSynchronousRequest);
    // none when the load failed.
    std::optional<std::string> dataForMethod(const std::string& method);
    std::optional<std::string> dataForMethod(const std::string& method, const MPURLRequestParameter::List& parameters);
    std::optional<std::string> dataForURL(const core::URL& url, const std::optional<std::string>& method,
        const MPURLRequestParameter::List& parameters);

    core::Value credentialNamed(std::string_view name) const;
    void setCredential(std::string value, const std::string& name);
    void removeCredentialNamed(const std::string& name);

private:
    MPOAuthAPI(const core::URL& authenticationURL, const core::URL& baseURL);

    static core::URL resolvedURL(const std::optional<std::string>& method, const core::URL& url);
    std::shared_ptr<MPOAuthAPIRequestLoader> loaderFor(MPOAuthURLRequest request,
        std::weak_ptr<core::Object> target, MPOAuthAction action);

    std::shared_ptr<MPOAuthCredentialConcreteStore> m_credentials;
    core::URL m_baseURL;
    core::URL m_authenticationURL;
    std::shared_ptr<MPOAuthAuthenticationMethod> m_authenticationMethod;
    MPOAuthSignatureScheme m_signatureScheme = MPOAuthSignatureScheme::HMACSHA1;
    MPOAuthAuthenticationState m_authenticationState = MPOAuthAuthenticationState::Unauthenticated;
    std::vector<std::shared_ptr<MPOAuthAPIRequestLoader>> m_activeLoaders;
};
