// fuzz: tandry_platform_net
// The server's TLS identity is a PKCS#12 file in the home, which anyone
// with access to the home can replace. Any bytes must load or be refused
// with one of the two documented errors; a loaded identity has a key, a
// certificate that key belongs to and a chain without holes, and a TLS
// context is made from it or refused. Inputs that parse are also tried with
// their MAC made right, so that what lies behind the MAC is reached.

#include "FuzzCheck.h"

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Net/TlsServerContext.h"
#include "Platform/Security/Pkcs12Identity.h"

#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <string_view>

namespace {

constexpr std::string_view Passphrase = "tandry";

void load(const core::Data& bytes, std::string_view passphrase)
{
    core::Error error;
    auto identity = sec::Pkcs12Identity::load(bytes, passphrase, &error);
    if (!identity) {
        FUZZ_CHECK(error.domain() == sec::Pkcs12Identity::OSStatusDomain);
        FUZZ_CHECK(error.code() == sec::Pkcs12Identity::AuthFailed || error.code() == sec::Pkcs12Identity::DecodeFailed);
        return;
    }
    FUZZ_CHECK(identity->privateKey() && identity->certificate());
    FUZZ_CHECK(X509_check_private_key(identity->certificate(), identity->privateKey()) == 1);
    for (X509* certificate : identity->chain())
        FUZZ_CHECK(certificate);
    identity->subject();
    net::TlsServerContext::create(identity);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const core::Data bytes(data, size);
    load(bytes, Passphrase);
    load(bytes, "");

    // The same structure with a MAC that holds for the passphrase.
    const unsigned char* cursor = data;
    std::unique_ptr<PKCS12, void (*)(PKCS12*)> file(d2i_PKCS12(nullptr, &cursor, long(size)), PKCS12_free);
    if (!file)
        return 0;
    static const unsigned char salt[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    if (!PKCS12_set_mac(file.get(), Passphrase.data(), int(Passphrase.size()), const_cast<unsigned char*>(salt),
            sizeof salt, 1, EVP_sha256()))
        return 0;
    unsigned char* out = nullptr;
    const int length = i2d_PKCS12(file.get(), &out);
    if (length > 0)
        load(core::Data(out, size_t(length)), Passphrase);
    OPENSSL_free(out);
    return 0;
}
