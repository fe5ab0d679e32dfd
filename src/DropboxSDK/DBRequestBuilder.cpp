#include "DropboxSDK/DBRequestBuilder.h"

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UserDefaults.h"

#include <atomic>
#include <fmt/format.h>
#include <utility>

namespace {

std::atomic<double> timeoutForTesting { 0 };

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

core::URL parsedURL(const std::string& text)
{
    auto url = core::URL::parse(text);
    if (!url)
        throw core::Exception("DBRestClientBadURL", fmt::format("Cannot make a URL of {}", text));
    return *url;
}

} // namespace

DBRequestBuilder::DBRequestBuilder(std::shared_ptr<DBSession> session, std::string root)
    : m_session(std::move(session))
    , m_root(std::move(root))
{
}

void DBRequestBuilder::setTimeoutIntervalForTesting(double seconds)
{
    timeoutForTesting = seconds;
}

double DBRequestBuilder::testTimeoutInterval()
{
    return timeoutForTesting;
}

std::string DBRequestBuilder::escapePath(std::string_view path)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(path.size());
    for (unsigned char c : path) {
        if (isUnreserved(c) || c == '/') {
            escaped += char(c);
        } else {
            escaped += '%';
            escaped += hex[c >> 4];
            escaped += hex[c & 15];
        }
    }
    return escaped;
}

std::string DBRequestBuilder::baseURLText(std::string_view protocol, std::string_view host)
{
    const char* key = host == kDBDropboxAPIContentHost ? VKCloudContentBaseURL : VKCloudAPIBaseURL;
    const std::string setting = core::UserDefaults::standard()->stringForKey(key);
    if (!setting.empty()) {
        if (auto url = core::URL::parse(setting); url && !url->host().empty()
            && (url->scheme() == kDBProtocolHTTP || url->scheme() == kDBProtocolHTTPS)) {
            std::string text = fmt::format("{}://{}", url->scheme(), url->host());
            if (url->port())
                text += fmt::format(":{}", *url->port());
            return text;
        }
    }
    return fmt::format("{}://{}", protocol, host);
}

core::URLRequest DBRequestBuilder::request(std::string_view protocol, std::string_view host, std::string_view path,
    const core::Value::Dictionary& parameters, std::string_view method) const
{
    const core::URL url = parsedURL(
        fmt::format("{}/{}{}", baseURLText(protocol, host), kDBDropboxAPIVersion, escapePath(path)));
    const auto& store = m_session->credentialStore();
    MPURLRequestParameter::List list = store->oauthParameters();
    auto extra = MPURLRequestParameter::parametersFromDictionary(parameters);
    list.insert(list.end(), extra.begin(), extra.end());
    auto request = MPOAuthURLRequest::initWithURL(url, std::move(list));
    request.setHTTPMethod(std::string(method));
    if (const double timeout = testTimeoutInterval(); timeout > 0)
        request.setTimeoutInterval(timeout);
    return request.urlRequestSignedWithSecret(store->signingKey(), store->signatureMethod().value_or(std::string()));
}

core::URLRequest DBRequestBuilder::uploadRequest(const std::string& safeName, const std::string& toPath) const
{
    std::string folder = toPath;
    if (folder.size() >= 2 && folder.back() == '/')
        folder.pop_back();
    const std::string urlText = fmt::format("{}/{}/files/{}{}", baseURLText(kDBProtocolHTTPS, kDBDropboxAPIContentHost),
        kDBDropboxAPIVersion, m_root, escapePath(folder));
    const core::URL url = parsedURL(urlText);

    // The signature covers "file", the stored name, which the request
    // itself carries only inside its body.
    const auto& store = m_session->credentialStore();
    MPURLRequestParameter::List protocol = store->oauthParameters();
    MPURLRequestParameter::List signedParameters = protocol;
    signedParameters.emplace_back("file", safeName);
    MPOAuthURLRequest::sortParametersForSigning(signedParameters);
    auto oauthRequest = MPOAuthURLRequest::initWithURL(url, signedParameters);
    oauthRequest.setHTTPMethod("POST");
    auto signature = MPOAuthSignatureParameter::initWithText(
        MPURLRequestParameter::parameterStringForParameters(signedParameters), store->signingKey(), oauthRequest,
        store->signatureMethod().value_or(std::string()));
    MPOAuthURLRequest::sortParametersForSigning(protocol);
    const std::string query = fmt::format("{}&{}", MPURLRequestParameter::parameterStringForParameters(protocol),
        signature.URLEncodedParameterString());

    core::URLRequest request(core::URL::parse(urlText + "?" + query).value());
    request.setMethod("POST");
    if (const double timeout = testTimeoutInterval(); timeout > 0)
        request.setTimeoutInterval(timeout);
    return request;
}
