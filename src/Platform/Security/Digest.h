#pragma once

#include "Platform/Core/Data.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace sec {

enum class DigestAlgorithm { MD5, SHA1, SHA256 };

// A message digest over bytes given in pieces: feed it with update(), take the
// result with finish(). For whole messages at hand, the one-shot functions.
// One object belongs to one thread at a time; the one-shots may be called
// from any thread.
class Digest {
public:
    explicit Digest(DigestAlgorithm algorithm);
    Digest(Digest&&) noexcept;
    Digest& operator=(Digest&&) noexcept;
    ~Digest();

    // The length of the algorithm's digest in bytes (16, 20, 32).
    static size_t length(DigestAlgorithm algorithm);
    // "MD5", "SHA1", "SHA256".
    static const char* name(DigestAlgorithm algorithm);

    DigestAlgorithm algorithm() const { return m_algorithm; }
    void update(const void* bytes, size_t length);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    // The digest of all bytes given since construction or the last finish();
    // the object then starts over.
    core::Data finish();

    static core::Data compute(DigestAlgorithm algorithm, std::string_view bytes);
    static core::Data md5(std::string_view bytes) { return compute(DigestAlgorithm::MD5, bytes); }
    static core::Data sha1(std::string_view bytes) { return compute(DigestAlgorithm::SHA1, bytes); }
    static core::Data sha256(std::string_view bytes) { return compute(DigestAlgorithm::SHA256, bytes); }

    struct Context;

private:
    DigestAlgorithm m_algorithm;
    std::unique_ptr<Context> m_context;
};

} // namespace sec
