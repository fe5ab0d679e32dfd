#include "Platform/Security/Digest.h"

#include "Platform/Core/Exception.h"

#include <array>
#include <fmt/format.h>
#include <mutex>
#include <new>
#include <openssl/err.h>
#include <openssl/evp.h>

namespace sec {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw core::Exception(core::Exception::InternalInconsistency,
        fmt::format("{} failed: {}", what, ERR_error_string(ERR_get_error(), nullptr)));
}

// The algorithms are looked up in the provider once for the process; an
// implicit lookup on every use would cost more than hashing a short text.
const EVP_MD* fetched(DigestAlgorithm algorithm)
{
    static std::array<EVP_MD*, 3> digests;
    static std::once_flag once;
    std::call_once(once, [] {
        for (auto each : { DigestAlgorithm::MD5, DigestAlgorithm::SHA1, DigestAlgorithm::SHA256 })
            digests[static_cast<size_t>(each)] = EVP_MD_fetch(nullptr, Digest::name(each), nullptr);
    });
    const EVP_MD* digest = digests[static_cast<size_t>(algorithm)];
    if (!digest)
        fail(Digest::name(algorithm));
    return digest;
}

} // namespace

struct Digest::Context {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context { EVP_MD_CTX_new(), EVP_MD_CTX_free };
};

Digest::Digest(DigestAlgorithm algorithm)
    : m_algorithm(algorithm)
    , m_context(std::make_unique<Context>())
{
    if (!m_context->context)
        throw std::bad_alloc();
    if (!EVP_DigestInit_ex2(m_context->context.get(), fetched(algorithm), nullptr))
        fail("EVP_DigestInit_ex2");
}

Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;
Digest::~Digest() = default;

size_t Digest::length(DigestAlgorithm algorithm)
{
    switch (algorithm) {
    case DigestAlgorithm::MD5:
        return 16;
    case DigestAlgorithm::SHA1:
        return 20;
    case DigestAlgorithm::SHA256:
        return 32;
    }
    return 0;
}

const char* Digest::name(DigestAlgorithm algorithm)
{
    switch (algorithm) {
    case DigestAlgorithm::MD5:
        return "MD5";
    case DigestAlgorithm::SHA1:
        return "SHA1";
    case DigestAlgorithm::SHA256:
        return "SHA256";
    }
    return "";
}

void Digest::update(const void* bytes, size_t length)
{
    if (length && !EVP_DigestUpdate(m_context->context.get(), bytes, length))
        fail("EVP_DigestUpdate");
}

core::Data Digest::finish()
{
    unsigned char result[EVP_MAX_MD_SIZE];
    unsigned int resultLength = 0;
    if (!EVP_DigestFinal_ex(m_context->context.get(), result, &resultLength))
        fail("EVP_DigestFinal_ex");
    if (!EVP_DigestInit_ex2(m_context->context.get(), nullptr, nullptr))
        fail("EVP_DigestInit_ex2");
    return core::Data(result, resultLength);
}

core::Data Digest::compute(DigestAlgorithm algorithm, std::string_view bytes)
{
    unsigned char result[EVP_MAX_MD_SIZE];
    unsigned int resultLength = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), result, &resultLength, fetched(algorithm), nullptr))
        fail("EVP_Digest");
    return core::Data(result, resultLength);
}

} // namespace sec
