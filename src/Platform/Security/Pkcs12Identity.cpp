#include "Platform/Security/Pkcs12Identity.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <limits>

namespace sec {

std::shared_ptr<Pkcs12Identity> Pkcs12Identity::load(const core::Data& bytes, std::string_view passphrase,
    core::Error* error)
{
    const auto refuse = [error](int64_t code, const char* text) -> std::shared_ptr<Pkcs12Identity> {
        ERR_clear_error();
        core::setError(error, core::Error(OSStatusDomain, code, text));
        return nullptr;
    };
    if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<long>::max()))
        return refuse(DecodeFailed, "The identity file could not be decoded.");
    const unsigned char* cursor = bytes.bytes();
    std::unique_ptr<PKCS12, void (*)(PKCS12*)> file(d2i_PKCS12(nullptr, &cursor, static_cast<long>(bytes.size())),
        PKCS12_free);
    if (!file)
        return refuse(DecodeFailed, "The identity file could not be decoded.");
    const std::string password(passphrase);
    if (!PKCS12_verify_mac(file.get(), password.c_str(), static_cast<int>(password.size()))
        && !(password.empty() && PKCS12_verify_mac(file.get(), nullptr, 0)))
        return refuse(AuthFailed, "The passphrase does not open the identity file.");

    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    if (!PKCS12_parse(file.get(), password.c_str(), &key, &certificate, &chain))
        return refuse(DecodeFailed, "The identity file could not be decoded.");
    std::shared_ptr<Pkcs12Identity> identity(new Pkcs12Identity());
    identity->m_key = key;
    identity->m_certificate = certificate;
    if (chain) {
        for (int i = 0; i < sk_X509_num(chain); ++i)
            identity->m_chain.push_back(sk_X509_value(chain, i));
        sk_X509_free(chain);
    }
    if (!key || !certificate)
        return refuse(DecodeFailed, "The identity file holds no key with its certificate.");
    return identity;
}

Pkcs12Identity::~Pkcs12Identity()
{
    EVP_PKEY_free(m_key);
    X509_free(m_certificate);
    for (X509* certificate : m_chain)
        X509_free(certificate);
}

std::string Pkcs12Identity::subject() const
{
    if (!m_certificate)
        return {};
    std::unique_ptr<BIO, int (*)(BIO*)> out(BIO_new(BIO_s_mem()), BIO_free);
    X509_NAME_print_ex(out.get(), X509_get_subject_name(m_certificate), 0, XN_FLAG_RFC2253);
    char* text = nullptr;
    const long length = BIO_get_mem_data(out.get(), &text);
    return std::string(text, static_cast<size_t>(length));
}

} // namespace sec
