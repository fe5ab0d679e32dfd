#pragma once

#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>

// The answer to a signed request as the token flow reads it: the response
// head and the OAuth parameters of a body that carried some.
class MPOAuthURLResponse : public core::Object {
public:
    static std::shared_ptr<MPOAuthURLResponse> init() { return std::shared_ptr<MPOAuthURLResponse>(new MPOAuthURLResponse); }

    const std::optional<core::HTTPURLResponse>& urlResponse() const { return m_urlResponse; }
    void setURLResponse(std::optional<core::HTTPURLResponse> response) { m_urlResponse = std::move(response); }
    // None until a body beginning "oauth" was parsed.
    const std::optional<core::Value::Dictionary>& oauthParameters() const { return m_oauthParameters; }
    void setOAuthParameters(std::optional<core::Value::Dictionary> parameters) { m_oauthParameters = std::move(parameters); }

private:
    MPOAuthURLResponse() = default;

    std::optional<core::HTTPURLResponse> m_urlResponse;
    std::optional<core::Value::Dictionary> m_oauthParameters;
};
