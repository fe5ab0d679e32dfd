#pragma once

#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"

#include <optional>
#include <string>
#include <string_view>

// What makes the protocol parameters of each signed request and the key it
// is signed with.
class MPOAuthParameterFactory {
public:
    virtual ~MPOAuthParameterFactory() = default;

    virtual void setSignatureMethod(std::optional<std::string> method) = 0;
    virtual std::optional<std::string> signatureMethod() const = 0;
    // "escaped consumer secret&escaped token secret".
    virtual std::string signingKey() const = 0;
    // Whole seconds since 1970, as "%d".
    virtual std::string timestamp() const = 0;

    virtual MPURLRequestParameter oauthVersionParameter() const = 0;
    virtual MPURLRequestParameter oauthNonceParameter() const = 0;
    virtual MPURLRequestParameter oauthTimestampParameter() const = 0;
    virtual MPURLRequestParameter oauthSignatureMethodParameter() const = 0;
    // None without a token.
    virtual std::optional<MPURLRequestParameter> oauthTokenParameter() const = 0;
    virtual MPURLRequestParameter oauthConsumerKeyParameter() const = 0;
    // The protocol parameters of one request, in their fixed order.
    virtual MPURLRequestParameter::List oauthParameters() const = 0;
};
