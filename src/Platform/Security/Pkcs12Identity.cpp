#include "Platform/Security/Pkcs12Identity.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <limits>
#include <memory>

namespace sec {

namespace {

// Every key derivation a PKCS#12 file asks for repeats its hash as often as
// the file says, before anything is known to be right. Common tools ask for
// 2,048 to 600,000 rounds; a file that asks for more is refused rather than
// left to hold the thread that reads it for minutes.
constexpr long MaximumIterations = 1'000'000;

bool withinBound(const ASN1_INTEGER* iterations)
{
    if (!iterations)
        return true; // the default, one round
    const long count = ASN1_INTEGER_get(iterations);
    return count > 0 && count <= MaximumIterations;
}

// The rounds of a password-based encryption: PBES1's own count, or PBES2's
// PBKDF2 count. Other key derivations (scrypt) bound their own work.
bool encryptionWithinBound(const X509_ALGOR* algorithm)
{
    const ASN1_TYPE* parameter = algorithm->parameter;
    if (!parameter || parameter->type != V_ASN1_SEQUENCE)
        return true; // no rounds to count: the decryption fails
    if (OBJ_obj2nid(algorithm->algorithm) != NID_pbes2) {
        std::unique_ptr<PBEPARAM, void (*)(PBEPARAM*)> pbe(
            static_cast<PBEPARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBEPARAM), parameter)), PBEPARAM_free);
        return !pbe || withinBound(pbe->iter);
    }
    std::unique_ptr<PBE2PARAM, void (*)(PBE2PARAM*)> pbe2(
        static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), parameter)), PBE2PARAM_free);
    if (!pbe2 || !pbe2->keyfunc || OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_pbkdf2)
        return true;
    const ASN1_TYPE* keyParameter = pbe2->keyfunc->parameter;
    if (!keyParameter || keyParameter->type != V_ASN1_SEQUENCE)
        return true;
    std::unique_ptr<PBKDF2PARAM, void (*)(PBKDF2PARAM*)> kdf(
        static_cast<PBKDF2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), keyParameter)),
        PBKDF2PARAM_free);
    return !kdf || withinBound(kdf->iter);
}

// The MAC's rounds, and those of every encryption the file's safes and
// shrouded keys in plain safes name; what lies inside an encrypted safe is
// checked by the decryption that bound its own rounds here first.
bool roundsWithinBound(const PKCS12* file)
{
    const ASN1_INTEGER* macIterations = nullptr;
    PKCS12_get0_mac(nullptr, nullptr, nullptr, &macIterations, file);
    if (!withinBound(macIterations))
        return false;
    std::unique_ptr<STACK_OF(PKCS7), void (*)(STACK_OF(PKCS7)*)> safes(PKCS12_unpack_authsafes(file),
        [](STACK_OF(PKCS7)* stack) { sk_PKCS7_pop_free(stack, PKCS7_free); });
    if (!safes)
        return true; // refused by the parse
    for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
        PKCS7* safe = sk_PKCS7_value(safes.get(), i);
        const int kind = OBJ_obj2nid(safe->type);
        if (kind == NID_pkcs7_encrypted) {
            if (safe->d.encrypted && safe->d.encrypted->enc_data
                && !encryptionWithinBound(safe->d.encrypted->enc_data->algorithm))
                return false;
            continue;
        }
        if (kind != NID_pkcs7_data)
            continue;
        std::unique_ptr<STACK_OF(PKCS12_SAFEBAG), void (*)(STACK_OF(PKCS12_SAFEBAG)*)> bags(PKCS12_unpack_p7data(safe),
            [](STACK_OF(PKCS12_SAFEBAG)* stack) { sk_PKCS12_SAFEBAG_pop_free(stack, PKCS12_SAFEBAG_free); });
        for (int j = 0; bags && j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
            const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags.get(), j);
            if (PKCS12_SAFEBAG_get_nid(bag) != NID_pkcs8ShroudedKeyBag)
                continue;
            const X509_ALGOR* algorithm = nullptr;
            X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &algorithm, nullptr);
            if (algorithm && !encryptionWithinBound(algorithm))
                return false;
        }
    }
    return true;
}

} // namespace

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
    if (!file || !roundsWithinBound(file.get()))
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
