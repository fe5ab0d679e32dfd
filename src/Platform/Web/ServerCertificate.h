#pragma once

// A server certificate the system does not trust, as a person is shown it:
// carried in the user info of the load's failure
// (net::URLError::ServerCertificateUntrusted) under `Key`, so that the
// browser can show it and let the person trust it for its host
// (WebView::trustServerCertificate).

#include "Platform/Core/Error.h"
#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <vector>

namespace web {

struct ServerCertificate {
    static constexpr const char* Key = "ServerCertificate";

    std::string host;
    std::string subject;
    std::string issuer;
    // As the certificate states them (ISO 8601, UTC); empty when unknown.
    std::string validFrom;
    std::string validUntil;
    // Of the certificate's DER bytes, in hexadecimal pairs joined by ":".
    std::string sha256;
    // What is wrong with it, in words ("Unknown issuer", "Expired"...).
    std::vector<std::string> problems;

    core::Value toValue() const;
    // Nothing unless the error carries one with a host.
    static std::optional<ServerCertificate> fromError(const core::Error& error);
};

} // namespace web
