#include "Platform/Security/HMAC.h"

#include "Platform/Core/Exception.h"

#include <fmt/format.h>
#include <new>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>

namespace sec {

namespace {

[[noreturn]] void failHMAC(const char* what)
{
    throw core::Exception(core::Exception::InternalInconsistency,
        fmt::format("{} failed: {}", what, ERR_error_string(ERR_get_error(), nullptr)));
}

EVP_MAC* fetchedHMAC()
{
    static EVP_MAC* mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
    if (!mac)
        failHMAC("EVP_MAC_fetch");
    return mac;
}

} // namespace

struct HMAC::Context {
    std::unique_ptr<EVP_MAC_CTX, void (*)(EVP_MAC_CTX*)> context { EVP_MAC_CTX_new(fetchedHMAC()), EVP_MAC_CTX_free };
};

HMAC::HMAC(DigestAlgorithm algorithm, std::string_view key)
    : m_context(std::make_unique<Context>())
{
    if (!m_context->context)
        throw std::bad_alloc();
    OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(Digest::name(algorithm)), 0),
        OSSL_PARAM_construct_end(),
    };
    // A null key would mean "keep the previous key"; an empty one must still
    // be a key.
    static const unsigned char none = 0;
    const auto* keyBytes = key.empty() ? &none : reinterpret_cast<const unsigned char*>(key.data());
    if (!EVP_MAC_init(m_context->context.get(), keyBytes, key.size(), parameters))
        failHMAC("EVP_MAC_init");
}

HMAC::HMAC(HMAC&&) noexcept = default;
HMAC& HMAC::operator=(HMAC&&) noexcept = default;
HMAC::~HMAC() = default;

void HMAC::update(const void* bytes, size_t length)
{
    if (length && !EVP_MAC_update(m_context->context.get(), static_cast<const unsigned char*>(bytes), length))
        failHMAC("EVP_MAC_update");
}

core::Data HMAC::finish()
{
    unsigned char result[EVP_MAX_MD_SIZE];
    size_t resultLength = 0;
    if (!EVP_MAC_final(m_context->context.get(), result, &resultLength, sizeof result))
        failHMAC("EVP_MAC_final");
    // Initialising again without a key starts over with the same key.
    if (!EVP_MAC_init(m_context->context.get(), nullptr, 0, nullptr))
        failHMAC("EVP_MAC_init");
    return core::Data(result, resultLength);
}

core::Data HMAC::compute(DigestAlgorithm algorithm, std::string_view key, std::string_view bytes)
{
    HMAC mac(algorithm, key);
    mac.update(bytes);
    return mac.finish();
}

} // namespace sec
