#include "Platform/Security/Digest.h"
#include "Platform/Security/HMAC.h"

#include <gtest/gtest.h>

#include <fmt/format.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

using sec::Digest;
using sec::DigestAlgorithm;
using sec::HMAC;

namespace {

std::string hex(const core::Data& data)
{
    std::string text;
    for (size_t i = 0; i < data.size(); ++i)
        text += fmt::format("{:02x}", data.bytes()[i]);
    return text;
}

TEST(DigestTest, KnownDigests)
{
    EXPECT_EQ(hex(Digest::md5("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex(Digest::md5("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex(Digest::sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex(Digest::sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(Digest::sha1(std::string("a\0b", 3))), "4a3dec2d1f8245280855c42db0ee4239f917fdb8");
    for (auto algorithm : { DigestAlgorithm::MD5, DigestAlgorithm::SHA1, DigestAlgorithm::SHA256 })
        EXPECT_EQ(Digest::compute(algorithm, "x").size(), Digest::length(algorithm));
}

TEST(DigestTest, StreamingMatchesOneShotAndStartsOver)
{
    std::string message;
    for (int i = 0; i < 10000; ++i)
        message += static_cast<char>(i * 7);
    for (auto algorithm : { DigestAlgorithm::MD5, DigestAlgorithm::SHA1, DigestAlgorithm::SHA256 }) {
        Digest digest(algorithm);
        for (size_t offset = 0; offset < message.size(); offset += 333)
            digest.update(std::string_view(message).substr(offset, 333));
        digest.update(nullptr, 0);
        EXPECT_EQ(digest.finish(), Digest::compute(algorithm, message)) << Digest::name(algorithm);
        // After finish() the digest begins a new message.
        digest.update("abc");
        EXPECT_EQ(digest.finish(), Digest::compute(algorithm, "abc"));
        Digest moved = std::move(digest);
        EXPECT_EQ(moved.finish(), Digest::compute(algorithm, ""));
    }
}

TEST(DigestTest, HMACTestVectors)
{
    // RFC 2202, cases 1, 2 and 6 (a key longer than the block).
    EXPECT_EQ(hex(HMAC::sha1(std::string(20, '\x0b'), "Hi There")), "b617318655057264e28bc0b6fb378c8ef146be00");
    EXPECT_EQ(hex(HMAC::sha1("Jefe", "what do ya want for nothing?")), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
    EXPECT_EQ(hex(HMAC::sha1(std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First")),
        "aa4ae5e15272d00e95705637ce8a3b55ed402112");
    EXPECT_EQ(hex(HMAC::sha1("", "")), "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d");
    EXPECT_EQ(hex(HMAC::compute(DigestAlgorithm::MD5, "Jefe", "what do ya want for nothing?")), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(hex(HMAC::compute(DigestAlgorithm::SHA256, "Jefe", "what do ya want for nothing?")),
        "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");

    HMAC mac(DigestAlgorithm::SHA1, "Jefe");
    mac.update("what do ya ");
    mac.update("want for nothing?");
    EXPECT_EQ(hex(mac.finish()), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
    // The key stays for the next message.
    mac.update("what do ya want for nothing?");
    EXPECT_EQ(hex(mac.finish()), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
}

TEST(DigestTest, OneShotsFromSeveralThreads)
{
    std::atomic<int> wrong { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (hex(HMAC::sha1(std::string(20, '\x0b'), "Hi There")) != "b617318655057264e28bc0b6fb378c8ef146be00"
                    || hex(Digest::md5("")) != "d41d8cd98f00b204e9800998ecf8427e")
                    ++wrong;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
