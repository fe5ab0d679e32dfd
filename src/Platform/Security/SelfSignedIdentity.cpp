#include "Platform/Security/SelfSignedIdentity.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <unistd.h>

#include <climits>
#include <memory>

namespace sec {

namespace {

template<typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* pointer) const { Free(pointer); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using PKCS12Pointer = std::unique_ptr<PKCS12, Deleter<PKCS12, PKCS12_free>>;

core::Error failure(const char* what)
{
    return core::Error(core::Error::CocoaDomain, 4, std::string("Unable to make the server identity: ") + what);
}

bool addExtension(X509* certificate, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        return false;
    bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

std::string hostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || !name[0])
        return "localhost";
    return name;
}

} // namespace

bool SelfSignedIdentity::writeFile(const std::string& path, std::string_view passphrase, core::Error* error)
{
    KeyPointer key(EVP_RSA_gen(2048));
    CertificatePointer certificate(X509_new());
    if (!key || !certificate) {
        core::setError(error, failure("no key"));
        return false;
    }
    X509* cert = certificate.get();
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    bool made = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert)) && X509_set_version(cert, 2)
        && X509_gmtime_adj(X509_getm_notBefore(cert), -3600)
        && X509_gmtime_adj(X509_getm_notAfter(cert), 60L * 60 * 24 * 3650) && X509_set_pubkey(cert, key.get());
    BN_free(number);
    std::string host = hostName();
    X509_NAME* name = X509_get_subject_name(cert);
    made = made
        && X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(host.c_str()), -1, -1, 0)
        && X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Tandry"), -1, -1, 0)
        && X509_set_issuer_name(cert, name) && addExtension(cert, NID_basic_constraints, "critical,CA:FALSE")
        && addExtension(cert, NID_subject_alt_name, ("DNS:" + host + ",DNS:localhost,IP:127.0.0.1").c_str())
        && X509_sign(cert, key.get(), EVP_sha256()) > 0;
    if (!made) {
        core::setError(error, failure("certificate"));
        return false;
    }
    const std::string secret(passphrase);
    PKCS12Pointer bundle(PKCS12_create(secret.c_str(), "Tandry WebDAV", key.get(), cert, nullptr, 0, 0, 0, 0, 0));
    unsigned char* bytes = nullptr;
    int length = bundle ? i2d_PKCS12(bundle.get(), &bytes) : -1;
    if (length <= 0) {
        core::setError(error, failure("bundle"));
        return false;
    }
    std::string contents(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    OPENSSL_free(bytes);
    return core::fs::createDirectory(core::path::deletingLastPathComponent(path), true, error, 0700)
        && core::fs::writeFileAtomically(path, contents, error, 0600);
}

} // namespace sec
