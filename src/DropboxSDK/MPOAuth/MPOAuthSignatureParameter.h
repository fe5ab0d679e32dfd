#pragma once

#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"

#include <string>
#include <string_view>

class MPOAuthURLRequest;

// Makes the "oauth_signature" parameter of a signed request: the signature
// of the request's method, URL and sorted parameter string under the
// signing key, by the named method.
class MPOAuthSignatureParameter {
public:
    static constexpr const char* HMACSHA1 = "HMAC-SHA1";
    static constexpr const char* PLAINTEXT = "PLAINTEXT";

    // `text` is the request's sorted parameter string, `secret` the signing
    // key. "HMAC-SHA1" signs the base string; "PLAINTEXT" is the key itself.
    // Any other method raises "Unsupported Signature Method".
    static MPURLRequestParameter initWithText(std::string_view text, std::string_view secret,
        const MPOAuthURLRequest& request, std::string_view method);
    static MPURLRequestParameter initUsingHMAC_SHA1WithText(std::string_view text, std::string_view secret,
        const MPOAuthURLRequest& request);

    // "METHOD&escaped URL&escaped parameter string", the URL in its
    // absoluteNormalizedString form.
    static std::string signatureBaseStringUsingParameterString(std::string_view parameterString,
        const MPOAuthURLRequest& request);
    // Base64 of HMAC-SHA1 keyed with the secret's bytes over the text's: 28
    // characters.
    static std::string HMAC_SHA1SignatureForText(std::string_view text, std::string_view secret);

    MPOAuthSignatureParameter() = delete;
};
