#pragma once

#include "WebDAV/WebDAVCredentials.h"

#include "Platform/Core/Error.h"

#include <mutex>

// The credentials the program uses until the keychain exists: the password
// given at launch (none: the server stays open) and a self-signed TLS
// identity made the first time one is needed and kept as "webdav.p12" in the
// home's Library, so that no two homes share a key and no key ever lives in
// the sources.
class WebDAVSelfSignedCredentials : public WebDAVCredentials {
public:
    static constexpr const char* FileName = "webdav.p12";

    // The identity file in `library`; the password is the remote user's.
    explicit WebDAVSelfSignedCredentials(std::string library, std::optional<std::string> password = std::nullopt);

    std::optional<std::string> passwordForUser(std::string_view user) override;
    std::shared_ptr<const sec::Pkcs12Identity> sslIdentityAndCertificates() override;

    std::string identityPath() const;
    // Writes a new self-signed identity (RSA 2048, ten years, the host's
    // name) to the path, readable by the owner only.
    static bool createIdentityFile(const std::string& path, core::Error* error = nullptr);

private:
    std::string m_library;
    std::optional<std::string> m_password;
    std::mutex m_mutex;
    std::shared_ptr<const sec::Pkcs12Identity> m_identity;
};
