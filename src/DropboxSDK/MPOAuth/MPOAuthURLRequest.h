#pragma once

#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/URLRequest.h"

#include <optional>
#include <string>
#include <string_view>

// A request before signing: a URL without query, a method and the
// parameters, which signing sorts and writes into the query of a GET or the
// form body of a POST, the signature last. A value: whoever sends it holds
// its own.
class MPOAuthURLRequest {
public:
    // A query on the URL joins the parameters (its pairs first), so that it
    // is signed and sent once.
    static MPOAuthURLRequest initWithURL(const core::URL& url,
        std::optional<MPURLRequestParameter::List> parameters = std::nullopt);
    // The request's URL without its query, the query's pairs as parameters,
    // its method and its time-out.
    static MPOAuthURLRequest initWithURLRequest(const core::URLRequest& request);

    const core::URL& url() const { return m_url; }
    void setURL(core::URL url) { m_url = std::move(url); }
    // "GET" unless set.
    const std::string& HTTPMethod() const { return m_method; }
    void setHTTPMethod(std::string method) { m_method = std::move(method); }
    const MPURLRequestParameter::List& parameters() const { return m_parameters; }
    void setParameters(MPURLRequestParameter::List parameters) { m_parameters = std::move(parameters); }
    void addParameters(const MPURLRequestParameter::List& parameters);
    // Seconds without progress before the signed request fails.
    double timeoutInterval() const { return m_timeoutInterval; }
    void setTimeoutInterval(double seconds) { m_timeoutInterval = seconds; }

    // Sorts the parameters (in place), signs them with `secret` (the signing
    // key) by `method` and builds the request to send: a GET carries
    // "url?parameters&oauth_signature=…", a POST the same string as its
    // "application/x-www-form-urlencoded" body. Other HTTP methods raise
    // "UnhandledHTTPMethodException", other signature methods
    // "Unsupported Signature Method"; nothing is built then. The result is
    // also kept as urlRequest().
    core::URLRequest urlRequestSignedWithSecret(std::string_view secret, std::string_view method);
    const core::URLRequest& urlRequest() const { return m_urlRequest; }

    // The order signing puts parameters in: by escaped name, then escaped
    // value, bytewise (RFC 5849 section 3.4.1.3.2).
    static void sortParametersForSigning(MPURLRequestParameter::List& parameters);

private:
    MPOAuthURLRequest(core::URL url, MPURLRequestParameter::List parameters);

    core::URL m_url;
    std::string m_method = "GET";
    MPURLRequestParameter::List m_parameters;
    double m_timeoutInterval = core::URLRequest::DefaultTimeoutInterval;
    core::URLRequest m_urlRequest;
};
