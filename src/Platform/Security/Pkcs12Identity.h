#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// OpenSSL's key and certificate types, named without their headers.
struct evp_pkey_st;
struct x509_st;

namespace sec {

// A TLS identity read from a PKCS#12 file: the private key, its certificate
// and the chain of issuing certificates that go out with it.
class Pkcs12Identity {
public:
    static constexpr const char* OSStatusDomain = "NSOSStatusErrorDomain";
    // The passphrase does not open the file.
    static constexpr int64_t AuthFailed = -25293;
    // The bytes are not a PKCS#12 file holding a key and its certificate.
    static constexpr int64_t DecodeFailed = -26275;

    // Null, with the error, when the bytes cannot be read with the passphrase.
    static std::shared_ptr<Pkcs12Identity> load(const core::Data& bytes, std::string_view passphrase,
        core::Error* error = nullptr);

    ~Pkcs12Identity();
    Pkcs12Identity(const Pkcs12Identity&) = delete;
    Pkcs12Identity& operator=(const Pkcs12Identity&) = delete;

    evp_pkey_st* privateKey() const { return m_key; }
    x509_st* certificate() const { return m_certificate; }
    const std::vector<x509_st*>& chain() const { return m_chain; }

    // The certificate's subject as one line ("CN=localhost").
    std::string subject() const;

private:
    Pkcs12Identity() = default;

    evp_pkey_st* m_key = nullptr;
    x509_st* m_certificate = nullptr;
    std::vector<x509_st*> m_chain;
};

} // namespace sec
