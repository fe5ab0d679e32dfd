#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"

#include "DropboxSDK/MPOAuth/Base64EncodeData.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"
#include "DropboxSDK/MPOAuth/MPURLParameterAdditions.h"
#include "Platform/Core/Exception.h"
#include "Platform/Security/HMAC.h"

#include <fmt/format.h>

namespace {

MPURLRequestParameter signatureParameter(std::string value)
{
    return MPURLRequestParameter("oauth_signature", std::move(value));
}

} // namespace

MPURLRequestParameter MPOAuthSignatureParameter::initWithText(std::string_view text,
    std::string_view secret, const MPOAuthURLRequest& request, std::string_view method)
{
    if (method == HMACSHA1)
        return initUsingHMAC_SHA1WithText(text, secret, request);
    if (method == PLAINTEXT)
        return signatureParameter(std::string(secret));
    throw core::Exception("Unsupported Signature Method",
        fmt::format("The signature method \"{}\" is not currently support by MPOAuthConnection", method));
}

MPURLRequestParameter MPOAuthSignatureParameter::initUsingHMAC_SHA1WithText(
    std::string_view text, std::string_view secret, const MPOAuthURLRequest& request)
{
    std::string baseString = signatureBaseStringUsingParameterString(text, request);
    return signatureParameter(HMAC_SHA1SignatureForText(baseString, secret));
}

std::string MPOAuthSignatureParameter::signatureBaseStringUsingParameterString(std::string_view parameterString,
    const MPOAuthURLRequest& request)
{
    return fmt::format("{}&{}&{}", request.HTTPMethod(),
        stringByAddingURIPercentEscapesUsingEncoding(absoluteNormalizedString(request.url())),
        stringByAddingURIPercentEscapesUsingEncoding(parameterString));
}

std::string MPOAuthSignatureParameter::HMAC_SHA1SignatureForText(std::string_view text, std::string_view secret)
{
    core::Data digest = sec::HMAC::sha1(secret, text);
    // 20 bytes make 28 characters, well inside one line: never a break.
    char encoded[32];
    size_t length = sizeof encoded;
    if (!Base64EncodeData(digest.bytes(), digest.size(), encoded, &length))
        return {};
    return std::string(encoded, length);
}
