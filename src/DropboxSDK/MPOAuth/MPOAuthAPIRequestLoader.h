#pragma once

#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLConnectionDelegate.h"

#include <functional>
#include <memory>
#include <string>

class MPOAuthAPIRequestLoader;
class MPOAuthConnection;
class MPOAuthCredentialConcreteStore;
class MPOAuthURLResponse;

// Token notifications, posted by the loader that read the answer (sender:
// its credential store; user info: the answer's OAuth parameters).
inline constexpr const char* MPOAuthNotificationRequestTokenReceived = "MPOAuthNotificationRequestTokenReceived";
inline constexpr const char* MPOAuthNotificationRequestTokenRejected = "MPOAuthNotificationRequestTokenRejected";
inline constexpr const char* MPOAuthNotificationAccessTokenReceived = "MPOAuthNotificationAccessTokenReceived";
inline constexpr const char* MPOAuthNotificationAccessTokenRejected = "MPOAuthNotificationAccessTokenRejected";
inline constexpr const char* MPOAuthNotificationAccessTokenRefreshed = "MPOAuthNotificationAccessTokenRefreshed";
inline constexpr const char* MPOAuthNotificationErrorHasOccurred = "MPOAuthNotificationErrorHasOccurred";

// Targets of the OAuth library itself (the API, the authentication
// methods): their action receives the loader and the body's bytes.
class MPOAuthAPIInternalClient {
public:
    virtual ~MPOAuthAPIInternalClient() = default;
};

// A target that wants to hear of failed loads.
class MPOAuthAPIRequestLoaderDelegate {
public:
    virtual ~MPOAuthAPIRequestLoaderDelegate() = default;
    virtual void loaderDidFailWithError(MPOAuthAPIRequestLoader& loader, const core::Error& error) = 0;
};

// What a loader sends its target when its load ended: an internal client
// gets the loader and the body, any other target the request's URL (without
// the signature) and the body as text. Empty forms are not sent.
struct MPOAuthAction {
    std::function<void(core::Object& target, MPOAuthAPIRequestLoader& loader, const std::string& data)> withLoader;
    std::function<void(core::Object& target, const core::URL& url, const std::string& responseString)> withText;
};

// One signed call: it loads the request, reads a token answer into its
// credential store (posting the token notifications), then tells its target.
class MPOAuthAPIRequestLoader : public core::Object, public net::URLConnectionDelegate {
public:
    // Bodies stop here (NSURLErrorDomain -1103).
    static constexpr size_t MaximumBodyLength = size_t(64) << 20;

    static std::shared_ptr<MPOAuthAPIRequestLoader> initWithURL(const core::URL& url);
    static std::shared_ptr<MPOAuthAPIRequestLoader> initWithRequest(MPOAuthURLRequest request);
    ~MPOAuthAPIRequestLoader() override;

    const std::shared_ptr<MPOAuthCredentialConcreteStore>& credentials() const { return m_credentials; }
    void setCredentials(std::shared_ptr<MPOAuthCredentialConcreteStore> credentials) { m_credentials = std::move(credentials); }
    const MPOAuthURLRequest& oauthRequest() const { return m_oauthRequest; }
    const std::shared_ptr<MPOAuthURLResponse>& oauthResponse() const { return m_oauthResponse; }
    const std::string& data() const { return m_data; }
    // Why the load failed; empty after an answer (whatever its status).
    const core::Error& error() const { return m_error; }
    // The body in the response's character set, else as UTF-8 (each bad
    // byte as U+FFFD).
    const std::string& responseString() const { return m_responseString; }
    std::shared_ptr<core::Object> target() const { return m_target.lock(); }
    void setTarget(std::weak_ptr<core::Object> target) { m_target = std::move(target); }
    const MPOAuthAction& action() const { return m_action; }
    void setAction(MPOAuthAction action) { m_action = std::move(action); }

    // Asynchronously on the calling thread's run loop, or waiting for a
    // worker's (MPOAuthConnection::sendSynchronousRequest). The target hears
    // either way.
    void loadSynchronously(bool synchronously);
    // Called once when the load ended, after the target heard (the API
    // drops the loader from its active ones here).
    void setCompletionHandler(std::function<void(MPOAuthAPIRequestLoader&)> handler) { m_completion = std::move(handler); }

    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override;
    void didReceiveData(net::URLConnection&, const core::Data& data) override;
    void didFinishLoading(net::URLConnection&) override;
    void didFailWithError(net::URLConnection&, const core::Error& error) override;

private:
    explicit MPOAuthAPIRequestLoader(MPOAuthURLRequest request);

    void finished();
    void failed(const core::Error& error);
    // The token answer: parameters, problems and tokens (see the README).
    void inspectResponse();
    void ended();

    std::shared_ptr<MPOAuthCredentialConcreteStore> m_credentials;
    MPOAuthURLRequest m_oauthRequest;
    std::shared_ptr<MPOAuthURLResponse> m_oauthResponse;
    std::shared_ptr<MPOAuthConnection> m_connection;
    std::string m_data;
    std::string m_responseString;
    core::Error m_error;
    std::weak_ptr<core::Object> m_target;
    MPOAuthAction m_action;
    std::function<void(MPOAuthAPIRequestLoader&)> m_completion;
    bool m_ended = false;
};
