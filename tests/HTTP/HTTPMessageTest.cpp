#include "HTTP/HTTPMessageRequest.h"
#include "HTTP/HTTPMessageResponse.h"

#include "Support/TestCase.h"

#include <fmt/format.h>

#include <string>

namespace {

class HTTPMessageTest : public test::TestCase {
protected:
    static std::shared_ptr<HTTPMessageRequest> request(const std::string& head)
    {
        auto request = HTTPMessageRequest::create();
        EXPECT_TRUE(request->appendBytes(head)) << head;
        return request;
    }
    static std::shared_ptr<HTTPMessageRequest> withHeader(std::string_view name, std::string_view value,
        std::string_view version = "HTTP/1.1")
    {
        return request(fmt::format("PUT /f {}\r\n{}: {}\r\n\r\n", version, name, value));
    }
};

TEST_F(HTTPMessageTest, BodyBytesOfTheLastAppendCount)
{
    auto request = HTTPMessageRequest::create();
    EXPECT_TRUE(request->appendBytes("PUT /x HTTP/1.1\r\nHost: h\r\n"));
    EXPECT_FALSE(request->isHeaderComplete());
    EXPECT_TRUE(request->version().empty() || request->version() == "HTTP/1.1");
    EXPECT_TRUE(request->appendBytes("\r\nabc"));
    EXPECT_TRUE(request->isHeaderComplete());
    EXPECT_EQ(request->bodyLength(), 3u);
    EXPECT_EQ(request->body().toString(), "abc");
    EXPECT_EQ(request->requestMethod(), "PUT");
    EXPECT_EQ(request->version(), "HTTP/1.1");
    EXPECT_EQ(request->allHeaders().at("Host"), core::Value("h"));
}

TEST_F(HTTPMessageTest, LengthHeadersReadLeniently)
{
    EXPECT_EQ(request("GET / HTTP/1.1\r\n\r\n")->contentLength(), 0u);
    const std::pair<const char*, uint64_t> cases[] = {
        { "", 0 }, { "0", 0 }, { "abc", 0 }, { "-5", 0 }, { "12abc", 12 }, { "42  ", 42 },
        { "9223372036854775807", 9223372036854775807ull },
        { "1234567890123456789012345", 9223372036854775807ull },
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(withHeader("Content-Length", text)->contentLength(), expected) << text;
        EXPECT_EQ(withHeader("X-Expected-Entity-Length", text)->XExpectedEntityLength(), expected) << text;
    }
    // Header values arrive trimmed; the reading skips blanks of its own too.
    EXPECT_EQ(HTTPMessageUnsignedLongLongForHeader(std::string("  42")), 42u);
    EXPECT_EQ(HTTPMessageUnsignedLongLongForHeader(std::nullopt), 0u);
}

TEST_F(HTTPMessageTest, ConnectionCloseAndContentType)
{
    EXPECT_TRUE(withHeader("Connection", "keep-alive", "HTTP/1.0")->connectionShouldClose());
    EXPECT_TRUE(withHeader("Connection", "Close")->connectionShouldClose());
    EXPECT_FALSE(withHeader("Connection", "keep-alive")->connectionShouldClose());
    EXPECT_FALSE(request("GET / HTTP/1.1\r\n\r\n")->connectionShouldClose());

    EXPECT_EQ(withHeader("Content-Type", "text/xml; charset=utf-8")->contentType(), "text/xml");
    EXPECT_EQ(withHeader("Content-Type", "text/plain ;x")->contentType(), "text/plain ");
    EXPECT_EQ(withHeader("Content-Type", "text/html")->contentType(), "text/html");
    EXPECT_FALSE(request("GET / HTTP/1.1\r\n\r\n")->contentType());
}

TEST_F(HTTPMessageTest, ParameterisedHeaderSplits)
{
    for (const char* value : { "multipart/form-data; boundary=xyz", "multipart/form-data; boundary=\"xyz\"",
             "multipart/form-data;boundary= xyz ;" }) {
        auto fields = withHeader("Content-Type", value)->fieldsForRFCHeaderWithKey("Content-Type");
        ASSERT_TRUE(fields) << value;
        EXPECT_EQ(*fields, (core::Value::Dictionary { { "Content-Type", "multipart/form-data" }, { "boundary", "xyz" } }))
            << value;
    }
    auto later = withHeader("Content-Disposition", "form-data; name=\"a\"; filename=\"b c.txt\"; name=z; junk")
                     ->fieldsForRFCHeaderWithKey("Content-Disposition");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->at("name"), core::Value("z"));
    EXPECT_EQ(later->at("filename"), core::Value("b c.txt"));
    EXPECT_EQ(later->size(), 3u);

    EXPECT_FALSE(request("POST / HTTP/1.1\r\n\r\n")->fieldsForRFCHeaderWithKey("Content-Type"));
    EXPECT_FALSE(withHeader("Content-Type", "; boundary=x")->fieldsForRFCHeaderWithKey("Content-Type"));
}

TEST_F(HTTPMessageTest, RequestURLAndUnsafePaths)
{
    auto url = request("GET /a%20b/?x=1 HTTP/1.1\r\n\r\n")->requestURL();
    ASSERT_TRUE(url);
    EXPECT_EQ(url->relativeString(), "/a%20b/?x=1");
    EXPECT_EQ(url->path(), "/a b");
    EXPECT_EQ(request("GET / HTTP/1.1\r\n\r\n")->requestURL()->path(), "/");
    EXPECT_EQ(request("OPTIONS * HTTP/1.1\r\n\r\n")->requestURL()->relativeString(), "*");
    EXPECT_EQ(request("GET /d/f#frag HTTP/1.1\r\n\r\n")->requestURL()->fragment(), "frag");
    EXPECT_EQ(request("GET http://h:8080/x HTTP/1.1\r\n\r\n")->requestURL()->path(), "/x");
    EXPECT_EQ(request("GET /a/./b/../c HTTP/1.1\r\n\r\n")->requestURL()->standardized().path(), "/a/c");

    for (const char* target : { "/Public/%2e%2e/x", "/a/..%2f..%2fb", "/x%00y", "/%2E%2E", "/a/%2e%2e" })
        EXPECT_TRUE(request(fmt::format("GET {} HTTP/1.1\r\n\r\n", target))->hasUnsafePath()) << target;
    for (const char* target : { "/a/../b", "/a/..b/c", "/...", "/a%2fb", "*", "/" })
        EXPECT_FALSE(request(fmt::format("GET {} HTTP/1.1\r\n\r\n", target))->hasUnsafePath()) << target;
}

TEST_F(HTTPMessageTest, ResponsesAndBuiltRequests)
{
    auto response = HTTPMessageResponse::responseWithStatusCode(207);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->statusLine(), "HTTP/1.1 207 Multi-Status");
    response->setBody(core::Data(std::string_view("<x/>")));
    response->setHeaderValues({ { "Depth", 1 }, { "ETag", "\"e\"" } });
    response->setHeaderValue("a\r\nb", "Location");
    EXPECT_TRUE(logContains("Warning, refusing header Location"));
    const std::string text = response->serializedMessage().toString();
    EXPECT_EQ(text, "HTTP/1.1 207 Multi-Status\r\nContent-Length: 4\r\nDepth: 1\r\nETag: \"e\"\r\n\r\n<x/>");

    auto custom = HTTPMessageResponse::responseWithStatusCode(505, "HTTP Version Not Supported (HTTP/2.0)");
    EXPECT_EQ(custom->statusLine(), "HTTP/1.1 505 HTTP Version Not Supported (HTTP/2.0)");
    EXPECT_EQ(custom->statusCode(), 505);
    EXPECT_FALSE(HTTPMessageResponse::responseWithStatusCode(200, "a\nb"));

    auto built = HTTPMessageRequest::requestWithMethod("MKCOL", core::URL::parse("/new%20folder/").value(), "HTTP/1.1");
    ASSERT_TRUE(built);
    EXPECT_EQ(built->serializedMessage().toString(), "MKCOL /new%20folder/ HTTP/1.1\r\n\r\n");
    EXPECT_EQ(built->requestURL()->path(), "/new folder");
    EXPECT_FALSE(HTTPMessageRequest::requestWithMethod("GET", core::URL(), "HTTP/x"));
}

} // namespace
