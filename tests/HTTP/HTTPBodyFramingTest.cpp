#include "HTTP/HTTPBodyFraming.h"
#include "Platform/Net/HttpMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Kind = HTTPBodyFraming::Kind;

HTTPBodyFraming framingOf(std::string_view head)
{
    auto message = net::HttpMessage::emptyRequest();
    EXPECT_TRUE(message.appendBytes(head));
    EXPECT_TRUE(message.isHeaderComplete());
    return HTTPBodyFraming::forRequest(message);
}

} // namespace

TEST(HTTPBodyFramingTest, ContentLengthIsAPlainRunOfDigits)
{
    EXPECT_EQ(HTTPBodyFraming::decimalLength("0"), 0u);
    EXPECT_EQ(HTTPBodyFraming::decimalLength("007"), 7u);
    EXPECT_EQ(HTTPBodyFraming::decimalLength("9223372036854775807"), uint64_t(INT64_MAX));
    for (std::string_view bad : { "", "+7", "-5", "7 ", " 7", "1 2", "0x7", "7a", "9223372036854775808",
             "18446744073709551616", "99999999999999999999999" })
        EXPECT_FALSE(HTTPBodyFraming::decimalLength(bad)) << bad;

    // A list is one value when its elements agree.
    EXPECT_EQ(HTTPBodyFraming::contentLength("5, 5"), 5u);
    EXPECT_EQ(HTTPBodyFraming::contentLength("5,005"), 5u);
    for (std::string_view bad : { "5, 7", "5,", ",5", "5,,5", "", "5, -5" })
        EXPECT_FALSE(HTTPBodyFraming::contentLength(bad)) << bad;
}

TEST(HTTPBodyFramingTest, HeadsSayWhereTheBodyEnds)
{
    auto none = framingOf("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(none.kind, Kind::None);
    EXPECT_EQ(none.refusal, 0);

    auto length = framingOf("PUT /a HTTP/1.1\r\nHost: h\r\nContent-Length: 007\r\n\r\n");
    EXPECT_EQ(length.kind, Kind::Length);
    EXPECT_EQ(length.length, 7u);
    EXPECT_EQ(framingOf("PUT /a HTTP/1.1\r\nContent-Length: 0\r\n\r\n").kind, Kind::None);

    // Repeated fields are joined: the same value is one value, another is a refusal.
    EXPECT_EQ(framingOf("PUT /a HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n").length, 5u);
    EXPECT_EQ(framingOf("PUT /a HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 7\r\n\r\n").refusal, 400);
    for (std::string_view value : { "-5", "+5", "0x5", "5 5", "", "18446744073709551621" }) {
        auto head = "PUT /a HTTP/1.1\r\nContent-Length: " + std::string(value) + "\r\n\r\n";
        EXPECT_EQ(framingOf(head).refusal, 400) << value;
    }

    // Chunked wins over a length, which is ignored, and the connection closes.
    auto both = framingOf("PUT /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n");
    EXPECT_EQ(both.kind, Kind::Chunked);
    EXPECT_EQ(both.refusal, 0);
    EXPECT_TRUE(both.closeAfterAnswer);
    auto chunked = framingOf("PUT /a HTTP/1.1\r\nTransfer-Encoding:  Chunked \r\n\r\n");
    EXPECT_EQ(chunked.kind, Kind::Chunked);
    EXPECT_FALSE(chunked.closeAfterAnswer);
    // Even a bad length beside chunked does not matter: it is not read.
    EXPECT_EQ(framingOf("PUT /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: x\r\n\r\n").refusal, 0);

    // Codings other than chunked alone are not understood.
    for (std::string_view coding : { "gzip, chunked", "identity", "chunked, chunked", "chunked;q=1", "" }) {
        auto head = "PUT /a HTTP/1.1\r\nTransfer-Encoding: " + std::string(coding) + "\r\nContent-Length: 3\r\n\r\n";
        EXPECT_EQ(framingOf(head).refusal, 501) << coding;
    }
    EXPECT_EQ(framingOf("PUT /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n").refusal, 501);
}
