#include "HTTP/HTTPAuthenticationRequest.h"
#include "HTTP/HTTPMessageRequest.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<HTTPAuthenticationRequest> parse(std::string_view header)
{
    return HTTPAuthenticationRequest::create(header);
}

TEST(HTTPAuthenticationRequestTest, ClientsHeadersParseFully)
{
    // As curl sends it: qop and nc unquoted.
    auto curl = parse("Digest username=\"user\", realm=\"Kestrova WebDAVServer\", nonce=\"n-1\", uri=\"/a%20b/\", "
                      "cnonce=\"ZjY2\", nc=00000001, qop=auth, response=\"0123abcd\"");
    EXPECT_EQ(curl->username(), "user");
    EXPECT_EQ(curl->realm(), "Kestrova WebDAVServer");
    EXPECT_EQ(curl->nonce(), "n-1");
    EXPECT_EQ(curl->uri(), "/a%20b/");
    EXPECT_EQ(curl->cnonce(), "ZjY2");
    EXPECT_EQ(curl->qop(), "auth");
    EXPECT_EQ(curl->nc(), 1u);
    EXPECT_EQ(curl->ncAsString(), "00000001");
    EXPECT_EQ(curl->response(), "0123abcd");

    // As Python's requests sends it: qop quoted, cnonce last.
    auto python = parse("Digest username=\"user\", realm=\"r\", nonce=\"n-2\", uri=\"/\", response=\"ff\", "
                        "algorithm=\"MD5\", qop=\"auth\", nc=0000000a, cnonce=\"c2\"");
    EXPECT_EQ(python->qop(), "auth");
    EXPECT_EQ(python->nc(), 10u);
    EXPECT_EQ(python->cnonce(), "c2");
    EXPECT_EQ(python->nonce(), "n-2");
}

TEST(HTTPAuthenticationRequestTest, NamesMatchOnlyAtParameterStarts)
{
    // cnonce before nonce: a plain text search would take nonce from cnonce.
    auto request = parse("Digest cnonce=\"cc\", username=\"u\", nonce=\"real\", qop=auth, nc=2");
    EXPECT_EQ(request->nonce(), "real");
    EXPECT_EQ(request->cnonce(), "cc");
    EXPECT_EQ(request->nc(), 2u);
    // Inside a quoted value nothing starts.
    EXPECT_EQ(parse("Digest uri=\"/x, nonce=fake\", nonce=\"n\"")->nonce(), "n");
}

TEST(HTTPAuthenticationRequestTest, MissingAndOddParameters)
{
    // An unquoted last parameter followed by a blank has no value.
    auto trailing = parse("Digest username=\"u\", nc=00000001 ");
    EXPECT_EQ(trailing->nc(), 0u);
    EXPECT_EQ(trailing->ncAsString(), "");
    EXPECT_EQ(parse("Digest nc=zz")->nc(), 0u);
    EXPECT_EQ(parse("Digest nc=\"0000000F\"")->nc(), 15u);
    EXPECT_EQ(parse("Digest nc=ffffffffff")->nc(), 0xffffffffu);
    EXPECT_EQ(parse("Digest username=\"unterminated")->username(), "");

    auto basic = parse("Basic dXNlcjpwYXNz");
    EXPECT_EQ(basic->username(), "");
    EXPECT_EQ(basic->nc(), 0u);

    auto request = HTTPMessageRequest::create();
    ASSERT_TRUE(request->appendBytes("GET / HTTP/1.1\r\nHost: h\r\n\r\n"));
    auto none = HTTPAuthenticationRequest::create(*request);
    EXPECT_EQ(none->username(), "");
    EXPECT_EQ(none->response(), "");
}

} // namespace
