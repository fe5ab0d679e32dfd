#pragma once

#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HTTPMessage;

// The parameters of a request's Digest "Authorization" header. Fields the
// header does not carry are empty (nc 0); a Basic header carries none of
// them, so it never authenticates.
class HTTPAuthenticationRequest : public core::Object {
public:
    static std::shared_ptr<HTTPAuthenticationRequest> create(const HTTPMessage& request);
    // The same for a header's text (without the header it is empty).
    static std::shared_ptr<HTTPAuthenticationRequest> create(std::optional<std::string_view> authorization);

    const std::string& username() const { return m_username; }
    const std::string& realm() const { return m_realm; }
    const std::string& nonce() const { return m_nonce; }
    const std::string& uri() const { return m_uri; }
    const std::string& qop() const { return m_qop; }
    // The nonce count as a number, and as sent.
    uint32_t nc() const { return m_nc; }
    const std::string& ncAsString() const { return m_ncAsString; }
    const std::string& cnonce() const { return m_cnonce; }
    const std::string& response() const { return m_response; }

    std::string description() const override;

private:
    HTTPAuthenticationRequest() = default;
    void parse(std::string_view header);

    std::string m_username;
    std::string m_realm;
    std::string m_nonce;
    std::string m_uri;
    std::string m_qop;
    uint32_t m_nc = 0;
    std::string m_ncAsString;
    std::string m_cnonce;
    std::string m_response;
};
