#include "HTTP/HTTPChunkedDecoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Feeds the body in pieces of `piece` bytes until the decoder ends.
std::string decodeAll(HTTPChunkedDecoder& decoder, std::string_view body, size_t piece, size_t* consumed = nullptr)
{
    std::string output;
    size_t used = 0;
    for (size_t at = 0; at < body.size() && !decoder.isDone() && !decoder.hasFailed(); at += piece)
        used += decoder.decode(body.substr(at, piece), output);
    if (consumed)
        *consumed = used;
    return output;
}

} // namespace

TEST(HTTPChunkedDecoderTest, DecodesBodiesCutAnywhere)
{
    const std::string body = "1A;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n3 ; x\r\n123\r\n0\r\n\r\nGET / HTTP/1.1\r\n";
    const size_t bodyEnd = body.find("\r\nGET");
    for (size_t piece : { size_t(1), size_t(2), size_t(3), size_t(7), body.size() }) {
        HTTPChunkedDecoder decoder;
        size_t consumed = 0;
        EXPECT_EQ(decodeAll(decoder, body, piece, &consumed), "abcdefghijklmnopqrstuvwxyz123") << piece;
        EXPECT_TRUE(decoder.isDone()) << piece;
        EXPECT_EQ(decoder.decodedLength(), 29u);
        // The trailer's empty line and what follows are not the body's.
        EXPECT_EQ(consumed, bodyEnd) << piece;
    }
    // Sizes up to 2^63 - 1 are sizes.
    EXPECT_EQ(HTTPChunkedDecoder::chunkSize("7fffffffffffffff"), uint64_t(INT64_MAX));
    EXPECT_EQ(HTTPChunkedDecoder::chunkSize("0000000000000000000001"), 1u);
    EXPECT_EQ(HTTPChunkedDecoder::chunkSize("ff\t;ext"), 255u);
}

TEST(HTTPChunkedDecoderTest, RefusesEverythingButExactFraming)
{
    for (std::string_view line : { "", "g", "-1", " 5", "0x5", "5 x", "5x", "8000000000000000", "ffffffffffffffffff",
             "5;\x01" })
        EXPECT_FALSE(HTTPChunkedDecoder::chunkSize(line)) << line;

    for (std::string_view body : {
             "5\r\nhelloXX0\r\n\r\n",       // no line end after the data
             "5\nhello\r\n0\r\n\r\n",       // a size line ended by LF alone
             "zz\r\nhello\r\n",             // not hexadecimal
             "5\r\nhello\r0\r\n\r\n",       // CR without LF
             "8000000000000000\r\n",        // past 2^63 - 1
         }) {
        HTTPChunkedDecoder decoder;
        std::string output;
        decoder.decode(body, output);
        EXPECT_TRUE(decoder.hasFailed()) << body;
        EXPECT_FALSE(decoder.isDone());
    }
    // An endless size line fails once it passes the limit, without holding it.
    HTTPChunkedDecoder endless;
    std::string output;
    const std::string ones(512, '1');
    for (int i = 0; i < 4 && !endless.hasFailed(); ++i)
        endless.decode(ones, output);
    EXPECT_TRUE(endless.hasFailed());
    // A failed decoder takes nothing more.
    EXPECT_EQ(endless.decode("0\r\n\r\n", output), 0u);
    EXPECT_TRUE(output.empty());
}
