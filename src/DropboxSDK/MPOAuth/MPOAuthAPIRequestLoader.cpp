#include "DropboxSDK/MPOAuth/MPOAuthAPIRequestLoader.h"

#include "DropboxSDK/MPOAuth/MPOAuthConnection.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLResponse.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"

namespace {

std::string decodedText(const std::string& bytes, const std::optional<core::HTTPURLResponse>& response)
{
    std::string charset = response ? response->textEncodingName() : std::string();
    if (!charset.empty() && charset != "utf-8" && core::TextConverter::isKnown(charset)) {
        if (auto text = core::TextConverter::convertText(bytes, charset))
            return *text;
    }
    return core::utf8::sanitized(bytes);
}

std::optional<std::string> textValue(const core::Value::Dictionary& parameters, std::string_view name)
{
    auto found = parameters.find(name);
    if (found == parameters.end() || !found->second.isString())
        return std::nullopt;
    return found->second.string();
}

} // namespace

MPOAuthAPIRequestLoader::MPOAuthAPIRequestLoader(MPOAuthURLRequest request)
    : m_oauthRequest(std::move(request))
    , m_oauthResponse(MPOAuthURLResponse::init())
{
}

MPOAuthAPIRequestLoader::~MPOAuthAPIRequestLoader()
{
    if (m_connection)
        m_connection->cancel();
}

std::shared_ptr<MPOAuthAPIRequestLoader> MPOAuthAPIRequestLoader::initWithURL(const core::URL& url)
{
    return initWithRequest(MPOAuthURLRequest::initWithURL(url));
}

std::shared_ptr<MPOAuthAPIRequestLoader> MPOAuthAPIRequestLoader::initWithRequest(MPOAuthURLRequest request)
{
    return std::shared_ptr<MPOAuthAPIRequestLoader>(new MPOAuthAPIRequestLoader(std::move(request)));
}

void MPOAuthAPIRequestLoader::loadSynchronously(bool synchronously)
{
    auto credentials = m_credentials ? m_credentials : MPOAuthCredentialConcreteStore::initWithCredentials({});
    if (!synchronously) {
        m_connection = MPOAuthConnection::connectionWithRequest(m_oauthRequest,
            std::weak_ptr<net::URLConnectionDelegate>(std::static_pointer_cast<MPOAuthAPIRequestLoader>(shared_from_this())),
            credentials);
        return;
    }
    auto self = shared_from_this();
    std::optional<core::HTTPURLResponse> response;
    core::Error error;
    auto body = MPOAuthConnection::sendSynchronousRequest(m_oauthRequest, credentials, &response, &error);
    m_oauthResponse->setURLResponse(std::move(response));
    if (!body) {
        failed(error);
        return;
    }
    m_data = std::move(*body);
    finished();
}

void MPOAuthAPIRequestLoader::didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response)
{
    m_oauthResponse->setURLResponse(response);
}

void MPOAuthAPIRequestLoader::didReceiveData(net::URLConnection& connection, const core::Data& data)
{
    if (data.size() > MaximumBodyLength - m_data.size()) {
        connection.cancel();
        failed(net::URLError::make(-1103, connection.originalRequest().url()));
        return;
    }
    m_data.append(data.view());
}

void MPOAuthAPIRequestLoader::didFinishLoading(net::URLConnection&)
{
    auto self = shared_from_this();
    finished();
}

void MPOAuthAPIRequestLoader::didFailWithError(net::URLConnection&, const core::Error& error)
{
    auto self = shared_from_this();
    failed(error);
}

void MPOAuthAPIRequestLoader::finished()
{
    if (m_ended)
        return;
    m_responseString = decodedText(m_data, m_oauthResponse->urlResponse());
    inspectResponse();
    if (auto target = m_target.lock()) {
        if (dynamic_cast<MPOAuthAPIInternalClient*>(target.get())) {
            if (m_action.withLoader)
                m_action.withLoader(*target, *this, m_data);
        } else if (m_action.withText) {
            m_action.withText(*target, m_oauthRequest.url(), m_responseString);
        }
    }
    ended();
}

void MPOAuthAPIRequestLoader::failed(const core::Error& error)
{
    if (m_ended)
        return;
    m_error = error;
    if (auto target = m_target.lock()) {
        if (auto* delegate = dynamic_cast<MPOAuthAPIRequestLoaderDelegate*>(target.get()))
            delegate->loaderDidFailWithError(*this, error);
    }
    ended();
}

void MPOAuthAPIRequestLoader::ended()
{
    m_ended = true;
    m_connection.reset();
    if (auto completion = std::move(m_completion))
        completion(*this);
}

void MPOAuthAPIRequestLoader::inspectResponse()
{
    const std::string& body = m_responseString;
    core::Value::Dictionary parameters;
    if (body.starts_with("oauth")) {
        parameters = MPURLRequestParameter::parameterDictionaryFromString(body);
        m_oauthResponse->setOAuthParameters(parameters);
    }
    int status = m_oauthResponse->urlResponse() ? m_oauthResponse->urlResponse()->statusCode() : 0;
    auto& center = core::NotificationCenter::defaultCenter();
    auto post = [&](const char* name) { center.post(name, m_credentials, core::Value(parameters)); };

    if (status == 401 || body.starts_with("oauth_problem")) {
        bool hasRequestToken = m_credentials && m_credentials->requestToken();
        bool hasAccessToken = m_credentials && m_credentials->accessToken();
        if (textValue(parameters, "oauth_problem") == "token_rejected" && hasRequestToken != hasAccessToken)
            post(hasRequestToken ? MPOAuthNotificationRequestTokenRejected : MPOAuthNotificationAccessTokenRejected);
        else
            post(MPOAuthNotificationErrorHasOccurred);
        return;
    }
    if (!body.starts_with("oauth_token") || !m_credentials)
        return;
    auto token = textValue(parameters, "oauth_token");
    auto secret = textValue(parameters, "oauth_token_secret");
    if (!token)
        return;
    if (m_credentials->accessToken()) {
        m_credentials->setAccessToken(token);
        m_credentials->setAccessTokenSecret(secret);
        post(MPOAuthNotificationAccessTokenRefreshed);
    } else if (m_credentials->requestToken()) {
        m_credentials->setRequestToken(std::nullopt);
        m_credentials->setRequestTokenSecret(std::nullopt);
        m_credentials->setAccessToken(token);
        m_credentials->setAccessTokenSecret(secret);
        post(MPOAuthNotificationAccessTokenReceived);
    } else {
        m_credentials->setRequestToken(token);
        m_credentials->setRequestTokenSecret(secret);
        post(MPOAuthNotificationRequestTokenReceived);
    }
}
