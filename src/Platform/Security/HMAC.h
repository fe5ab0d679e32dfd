#pragma once

#include "Platform/Security/Digest.h"

#include <string_view>

namespace sec {

// A keyed message authentication code (RFC 2104) over bytes given in pieces,
// as Digest is for plain digests; keys of any length, the empty one included.
class HMAC {
public:
    HMAC(DigestAlgorithm algorithm, std::string_view key);
    HMAC(HMAC&&) noexcept;
    HMAC& operator=(HMAC&&) noexcept;
    ~HMAC();

    void update(const void* bytes, size_t length);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    // The code of all bytes given since construction or the last finish();
    // the object then starts over with the same key.
    core::Data finish();

    static core::Data compute(DigestAlgorithm algorithm, std::string_view key, std::string_view bytes);
    static core::Data sha1(std::string_view key, std::string_view bytes) { return compute(DigestAlgorithm::SHA1, key, bytes); }

    struct Context;

private:
    std::unique_ptr<Context> m_context;
};

} // namespace sec
