#include "Platform/Net/HttpMessage.h"

#include <gtest/gtest.h>

#include <string>

using net::HttpMessage;

namespace {

const std::string head = "PROPFIND /a%20b/?x=1 HTTP/1.1\r\n"
                         "Host: 127.0.0.1:8080\r\n"
                         "Depth:   1  \r\n"
                         "X-List: a\r\n"
                         "x-list: b\r\n"
                         "X-List:\r\n"
                         "Content-Length: 5\r\n"
                         "\r\n";

TEST(HttpMessageTest, HeadInPiecesCompletesOnlyAtTheEmptyLine)
{
    auto message = HttpMessage::emptyRequest();
    const std::string bytes = "\r\n\r\n" + head + "hello";
    for (size_t i = 0; i + 1 < 4 + head.size(); ++i) {
        ASSERT_TRUE(message.appendBytes(bytes.substr(i, 1))) << i;
        ASSERT_FALSE(message.isHeaderComplete()) << i;
    }
    // The last line feed and the body arrive together.
    ASSERT_TRUE(message.appendBytes(bytes.substr(3 + head.size())));
    EXPECT_TRUE(message.isHeaderComplete());
    EXPECT_EQ(message.method(), "PROPFIND");
    EXPECT_EQ(message.target(), "/a%20b/?x=1");
    EXPECT_EQ(message.version(), "HTTP/1.1");
    EXPECT_EQ(message.body(), "hello");
    EXPECT_EQ(message.header("DEPTH"), "1");
    EXPECT_EQ(message.header("X-List"), "a, b");
    EXPECT_FALSE(message.header("Missing"));
    EXPECT_EQ(message.headers().size(), 4u);

    // Bytes after the head are body, unframed: no Content-Length cut.
    ASSERT_TRUE(message.appendBytes("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(message.bodyLength(), 5u + 18u);
}

TEST(HttpMessageTest, MalformedHeadsAreRefusedForGood)
{
    const char* bad[] = {
        "GET /\r\n\r\n",
        "GET  / HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1 x\r\n\r\n",
        "GET / FTP/1.0\r\n\r\n",
        "GET / HTTP/1\r\n\r\n",
        "G(T / HTTP/1.1\r\n\r\n",
        "GET /a b HTTP/1.1\r\n\r\n",
        "GET /%zz HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1\r\nNoColon\r\n\r\n",
        "GET / HTTP/1.1\r\nA: b\r\n  folded\r\n\r\n",
        "GET / HTTP/1.1\r\n: empty name\r\n\r\n",
        "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n",
        "GET / HTTP/1.1\r\nA: b\rc\r\n\r\n",
    };
    for (const char* text : bad) {
        auto message = HttpMessage::emptyRequest();
        EXPECT_FALSE(message.appendBytes(text)) << text;
        EXPECT_FALSE(message.appendBytes("\r\n")) << text;
        EXPECT_FALSE(message.isHeaderComplete()) << text;
    }
    auto nul = HttpMessage::emptyRequest();
    EXPECT_FALSE(nul.appendBytes(std::string("GET / HTTP/1.1\r\nA: b\0c\r\n\r\n", 27)));

    // Good forms: "*", an absolute target, a fragment, a bare line feed.
    for (const char* text : { "OPTIONS * HTTP/1.1\n\n", "GET http://h:8080/x HTTP/1.0\r\n\r\n", "GET /d/f#frag HTTP/1.1\r\n\r\n" }) {
        auto message = HttpMessage::emptyRequest();
        EXPECT_TRUE(message.appendBytes(text)) << text;
        EXPECT_TRUE(message.isHeaderComplete()) << text;
    }
}

TEST(HttpMessageTest, HeadSizeIsCapped)
{
    auto message = HttpMessage::emptyRequest();
    ASSERT_TRUE(message.appendBytes("GET / HTTP/1.1\r\n"));
    const std::string line = "X-Filler: " + std::string(88, 'x') + "\r\n";
    bool accepted = true;
    size_t total = 16;
    while (accepted && total < 2 * HttpMessage::MaxHeadLength) {
        accepted = message.appendBytes(line);
        total += line.size();
    }
    EXPECT_FALSE(accepted);
    EXPECT_GT(total, HttpMessage::MaxHeadLength);
    EXPECT_LE(total, HttpMessage::MaxHeadLength + line.size());

    // One endless line without a line feed is refused as well, and so are
    // endless empty lines before the start line.
    auto endless = HttpMessage::emptyRequest();
    EXPECT_TRUE(endless.appendBytes("GET /" + std::string(60000, 'a')));
    EXPECT_FALSE(endless.appendBytes(std::string(6000, 'a')));
    auto trickle = HttpMessage::emptyRequest();
    size_t fed = 0;
    while (fed <= HttpMessage::MaxHeadLength && trickle.appendBytes("a"))
        ++fed;
    EXPECT_EQ(fed, HttpMessage::MaxHeadLength);
    auto blank = HttpMessage::emptyRequest();
    EXPECT_FALSE(blank.appendBytes(std::string(HttpMessage::MaxHeadLength + 2, '\n')));

    // Many distinct headers stay findable once indexed.
    auto many = HttpMessage::emptyRequest();
    std::string text = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 500; ++i)
        text += "H" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
    text += "h7: again\r\n\r\n";
    ASSERT_TRUE(many.appendBytes(text));
    EXPECT_EQ(many.header("h499"), "499");
    EXPECT_EQ(many.header("H7"), "7, again");
    many.removeHeader("H7");
    EXPECT_FALSE(many.header("h7"));
    EXPECT_EQ(many.header("h8"), "8");
}

TEST(HttpMessageTest, ResponsesSerialiseWithoutAddingHeaders)
{
    auto response = HttpMessage::response(207, HttpMessage::reasonPhrase(207), "HTTP/1.1");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusLine(), "HTTP/1.1 207 Multi-Status");
    EXPECT_TRUE(response->setHeader("Content-Type", "text/xml"));
    EXPECT_FALSE(response->setHeader("Location", "/x\r\nSet-Cookie: a=b"));
    EXPECT_FALSE(response->setHeader("Bad Name", "x"));
    response->setBody("<x/>");
    EXPECT_EQ(response->serialize(), "HTTP/1.1 207 Multi-Status\r\nContent-Type: text/xml\r\n\r\n<x/>");
    EXPECT_EQ(HttpMessage::reasonPhrase(413), "Request Entity Too Large");
    EXPECT_EQ(HttpMessage::reasonPhrase(505), "HTTP Version Not Supported");
    EXPECT_FALSE(HttpMessage::response(42, "x", "HTTP/1.1"));
    EXPECT_FALSE(HttpMessage::response(200, "OK\r\nX: y", "HTTP/1.1"));

    // A received response parses too.
    auto parsed = HttpMessage::emptyResponse();
    ASSERT_TRUE(parsed.appendBytes("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_EQ(parsed.statusCode(), 404);
    EXPECT_EQ(parsed.statusReason(), "Not Found");

    auto request = HttpMessage::request("GET", core::URL::parse("/a%20b").value(), "HTTP/1.1");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->serialize(), "GET /a%20b HTTP/1.1\r\n\r\n");
    EXPECT_FALSE(HttpMessage::request("G T", core::URL(), "HTTP/1.1"));
}

} // namespace
