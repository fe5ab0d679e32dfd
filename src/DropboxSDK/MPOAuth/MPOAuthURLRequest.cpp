#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"

#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"
#include "DropboxSDK/MPOAuth/MPURLParameterAdditions.h"
#include "Platform/Core/Exception.h"

#include <algorithm>
#include <fmt/format.h>

MPOAuthURLRequest::MPOAuthURLRequest(core::URL url, MPURLRequestParameter::List parameters)
    : m_url(std::move(url))
    , m_parameters(std::move(parameters))
{
}

MPOAuthURLRequest MPOAuthURLRequest::initWithURL(const core::URL& url,
    std::optional<MPURLRequestParameter::List> parameters)
{
    MPURLRequestParameter::List all;
    if (url.hasQuery())
        all = MPURLRequestParameter::parametersFromString(url.query());
    if (parameters)
        all.insert(all.end(), parameters->begin(), parameters->end());
    else if (all.empty())
        all.reserve(10);
    return MPOAuthURLRequest(urlByRemovingQuery(url), std::move(all));
}

MPOAuthURLRequest MPOAuthURLRequest::initWithURLRequest(const core::URLRequest& request)
{
    auto result = initWithURL(request.url());
    result.m_method = request.method();
    result.m_timeoutInterval = request.timeoutInterval();
    return result;
}

void MPOAuthURLRequest::addParameters(const MPURLRequestParameter::List& parameters)
{
    m_parameters.insert(m_parameters.end(), parameters.begin(), parameters.end());
}

void MPOAuthURLRequest::sortParametersForSigning(MPURLRequestParameter::List& parameters)
{
    struct Keyed {
        std::string name;
        std::string value;
        MPURLRequestParameter parameter;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(parameters.size());
    for (auto& parameter : parameters) {
        keyed.push_back({ stringByAddingURIPercentEscapesUsingEncoding(parameter.name()),
            stringByAddingURIPercentEscapesUsingEncoding(parameter.value().value_or(std::string())),
            std::move(parameter) });
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        return std::tie(a.name, a.value) < std::tie(b.name, b.value);
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        parameters[i] = std::move(keyed[i].parameter);
}

core::URLRequest MPOAuthURLRequest::urlRequestSignedWithSecret(std::string_view secret, std::string_view method)
{
    if (m_method != "GET" && m_method != "POST") {
        throw core::Exception("UnhandledHTTPMethodException",
            fmt::format("The requested HTTP method, {}, is not supported", m_method));
    }
    sortParametersForSigning(m_parameters);
    std::string parameterString = MPURLRequestParameter::parameterStringForParameters(m_parameters);
    auto signature = MPOAuthSignatureParameter::initWithText(parameterString, secret, *this, method);
    std::string signedString = fmt::format("{}&{}", parameterString, signature.URLEncodedParameterString());

    core::URLRequest request;
    request.setMethod(m_method);
    request.setTimeoutInterval(m_timeoutInterval);
    if (m_method == "GET") {
        auto url = core::URL::parse(fmt::format("{}?{}", m_url.absoluteString(), signedString));
        request.setURL(url ? *url : m_url);
    } else {
        request.setURL(m_url);
        request.setHeader("Content-Length", fmt::format("{}", signedString.size()));
        request.setHeader("Content-Type", "application/x-www-form-urlencoded");
        request.setBody(core::Data(std::move(signedString)));
    }
    m_urlRequest = request;
    return request;
}
