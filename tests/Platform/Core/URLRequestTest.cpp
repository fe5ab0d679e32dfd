#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/URLRequest.h"

#include <gtest/gtest.h>

using core::HeaderFields;
using core::HTTPURLResponse;
using core::URL;
using core::URLRequest;
using core::Value;

namespace {

URL url(std::string_view text) { return URL::parse(text).value(); }

TEST(URLRequestTest, DefaultsAndHeaders)
{
    URLRequest request(url("http://h/x"));
    EXPECT_EQ(request.method(), "GET");
    EXPECT_EQ(request.timeoutInterval(), 60);
    EXPECT_EQ(request.cachePolicy(), URLRequest::CachePolicy::UseProtocol);
    EXPECT_EQ(request.url(), url("http://h/x"));

    EXPECT_TRUE(request.setHeader("Accept", "a"));
    EXPECT_TRUE(request.addHeader("X-Two", "1"));
    EXPECT_TRUE(request.addHeader("x-two", "2"));
    EXPECT_TRUE(request.setHeader("Range", "bytes=0-"));
    EXPECT_EQ(request.header("x-TWO"), "1");
    EXPECT_EQ(request.headers().values("X-Two"), (std::vector<std::string> { "1", "2" }));

    // Setting keeps the first field's place and drops the repeats.
    EXPECT_TRUE(request.setHeader("X-TWO", "3"));
    const std::vector<HeaderFields::Field> expected { { "Accept", "a" }, { "X-Two", "3" }, { "Range", "bytes=0-" } };
    EXPECT_EQ(request.headers().fields(), expected);
    request.removeHeader("accept");
    EXPECT_FALSE(request.header("Accept"));
    EXPECT_EQ(request.headers().size(), 2u);
}

TEST(URLRequestTest, NothingSetCanSplitTheHead)
{
    URLRequest request(url("http://h/"));
    EXPECT_FALSE(request.setHeader("X", "a\r\nEvil: 1"));
    EXPECT_FALSE(request.setHeader("X", "a\nb"));
    EXPECT_FALSE(request.addHeader("X", std::string_view("a\0b", 3)));
    EXPECT_FALSE(request.setHeader("Bad Name", "v"));
    EXPECT_FALSE(request.setHeader("Bad:Name", "v"));
    EXPECT_FALSE(request.setHeader("", "v"));
    EXPECT_TRUE(request.headers().empty());
    EXPECT_FALSE(request.setMethod("GET /x HTTP/1.1\r\n"));
    EXPECT_FALSE(request.setMethod(""));
    EXPECT_EQ(request.method(), "GET");
    EXPECT_TRUE(request.setMethod("PROPFIND"));
    EXPECT_EQ(request.method(), "PROPFIND");
    const HeaderFields fields { { "A", "1" }, { "B\r\n", "2" }, { "C", "3\r\n" } };
    EXPECT_EQ(fields.size(), 1u);
}

TEST(URLRequestTest, HeaderNamesAreTokens)
{
    const std::string_view token = "!#$%&'*+-.^_`|~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (int c = 0; c < 256; ++c) {
        const std::string name { 'X', static_cast<char>(c) };
        EXPECT_EQ(HeaderFields::isValidName(name), token.find(static_cast<char>(c)) != std::string_view::npos) << c;
    }
}

TEST(URLRequestTest, BodyAndPropertiesAreKeptApart)
{
    URLRequest request(url("http://h/"), URLRequest::CachePolicy::ReloadIgnoringLocalCache, 5);
    EXPECT_EQ(request.timeoutInterval(), 5);
    request.setBody(core::Data(std::string("abc")));
    EXPECT_EQ(request.body().view(), "abc");
    request.setBodyFilePath("/tmp/upload");
    EXPECT_TRUE(request.body().empty());
    EXPECT_EQ(request.bodyFilePath(), "/tmp/upload");
    request.setBody(core::Data(std::string("x")));
    EXPECT_EQ(request.bodyFilePath(), "");

    request.setProperty("VKSuggestedFilenameRequestProperty", "a.pdf");
    EXPECT_EQ(request.property("VKSuggestedFilenameRequestProperty"), Value("a.pdf"));
    EXPECT_TRUE(request.headers().empty());

    // A copy is a separate request.
    URLRequest copy = request;
    copy.setProperty("VKSuggestedFilenameRequestProperty", nullptr);
    copy.setHeader("Range", "bytes=10-");
    EXPECT_TRUE(copy.property("VKSuggestedFilenameRequestProperty").isNull());
    EXPECT_EQ(request.property("VKSuggestedFilenameRequestProperty"), Value("a.pdf"));
    EXPECT_FALSE(request.header("Range"));
}

TEST(HTTPURLResponseTest, LengthTypeAndCharset)
{
    const auto length = [](HeaderFields fields) {
        return HTTPURLResponse(url("http://h/"), 200, std::move(fields)).expectedContentLength();
    };
    EXPECT_EQ(length({}), -1);
    EXPECT_EQ(length({ { "Content-Length", "abc" } }), -1);
    EXPECT_EQ(length({ { "content-length", " 42 " } }), 42);
    EXPECT_EQ(length({ { "Content-Length", "0" } }), 0);
    EXPECT_EQ(length({ { "Content-Length", "-5" } }), -1);
    EXPECT_EQ(length({ { "Content-Length", "+5" } }), -1);
    EXPECT_EQ(length({ { "Content-Length", "12abc" } }), -1);
    EXPECT_EQ(length({ { "Content-Length", "" } }), -1);
    EXPECT_EQ(length({ { "Content-Length", "999999999999999999" } }), 999999999999999999);
    EXPECT_EQ(length({ { "Content-Length", "9999999999999999999" } }), -1);
    EXPECT_EQ(length({ { "Content-Length", "7" }, { "CONTENT-LENGTH", "7" } }), 7);
    EXPECT_EQ(length({ { "Content-Length", "7" }, { "Content-Length", "8" } }), -1);

    const HTTPURLResponse html(url("http://h/a"), 404, { { "Content-Type", "Text/HTML; charset=UTF-8" } });
    EXPECT_EQ(html.statusCode(), 404);
    EXPECT_EQ(html.mimeType(), "text/html");
    EXPECT_EQ(html.textEncodingName(), "utf-8");
    EXPECT_EQ(html.header("content-type"), "Text/HTML; charset=UTF-8");
    EXPECT_EQ(html.url(), url("http://h/a"));

    const auto type = [](std::string_view value) {
        const HTTPURLResponse response(url("http://h/"), 200, { { "Content-Type", std::string(value) } });
        return response.mimeType() + "|" + response.textEncodingName();
    };
    EXPECT_EQ(type("text/plain"), "text/plain|");
    EXPECT_EQ(type(" text/plain ;Charset = \"ISO-8859-1\" "), "text/plain|iso-8859-1");
    EXPECT_EQ(type("text/plain; x=\"a;charset=bad\"; charset=koi8-r"), "text/plain|koi8-r");
    EXPECT_EQ(type("text/plain; format=flowed; charset=\"utf\\-8"), "text/plain|utf-8");
    EXPECT_EQ(type("text/plain; charset"), "text/plain|");
    EXPECT_EQ(type("text/plain; charset="), "text/plain|");
    EXPECT_EQ(type(";;"), "|");
    EXPECT_EQ(HTTPURLResponse(url("http://h/"), 200, {}).mimeType(), "");
    EXPECT_EQ(HTTPURLResponse(url("http://h/"), 200, {}, "application/octet-stream").mimeType(), "application/octet-stream");
    EXPECT_EQ(HTTPURLResponse(url("http://h/"), 200, { { "Content-Type", "text/plain" } }, "application/x").mimeType(),
        "text/plain");
}

TEST(HTTPURLResponseTest, SuggestedFilename)
{
    const auto name = [](std::string_view address, std::string disposition = {}, std::string type = {}) {
        HeaderFields fields;
        if (!disposition.empty())
            fields.add("Content-Disposition", disposition);
        if (!type.empty())
            fields.add("Content-Type", type);
        return HTTPURLResponse(url(address), 200, std::move(fields)).suggestedFilename();
    };
    // From the header: the extended form first, then the plain one.
    EXPECT_EQ(name("http://h/get", "attachment; filename*=UTF-8''r%C3%A9sum%C3%A9.pdf"), "r\xC3\xA9sum\xC3\xA9.pdf");
    EXPECT_EQ(name("http://h/get", "attachment; filename=\"plain.pdf\"; filename*=utf-8''fancy%20one.pdf"), "fancy one.pdf");
    EXPECT_EQ(name("http://h/get", "attachment; filename*=iso-8859-1'en'caf%E9.txt"), "caf\xC3\xA9.txt");
    EXPECT_EQ(name("http://h/get", "attachment; filename=\"report.pdf\""), "report.pdf");
    EXPECT_EQ(name("http://h/get", "inline; filename=report;x.pdf"), "report");
    EXPECT_EQ(name("http://h/get", "attachment; filename=\"caf\xE9.txt\""), "caf\xC3\xA9.txt");
    // Paths, separators and control characters never survive.
    EXPECT_EQ(name("http://h/get", "attachment; filename=\"../../x\""), "x");
    EXPECT_EQ(name("http://h/get", "attachment; filename=\"..\\\\..\\\\win.ini\""), "win.ini");
    EXPECT_EQ(name("http://h/get", "attachment; filename*=UTF-8''a%00b%2F..%2Fc%0A.txt"), "c.txt");
    EXPECT_EQ(name("http://h/file.bin", "attachment; filename=\"..\""), "file.bin");
    EXPECT_EQ(name("http://h/file.bin", "attachment; filename=\"a/\""), "file.bin");
    EXPECT_EQ(name("http://h/file.bin", "attachment; filename*=UTF-8''%FF%FE"), "file.bin");
    // From the URL: its last component decoded, the host, or "unknown".
    EXPECT_EQ(name("http://h/dir/a%20b.txt?q=1#f"), "a b.txt");
    EXPECT_EQ(name("http://h/dir/sub/"), "sub");
    EXPECT_EQ(name("http://h/a%2F..%2Fb"), "b");
    EXPECT_EQ(name("http://example.com"), "example.com");
    EXPECT_EQ(name("http://h/.."), "h");
    EXPECT_EQ(name("file:///"), "unknown");
    // An extension-less name from the URL gets one for its type.
    EXPECT_EQ(name("http://h/download", {}, "application/pdf"), "download.pdf");
    EXPECT_EQ(name("http://h/download", {}, "Image/PNG; q=1"), "download.png");
    EXPECT_EQ(name("http://h/download", {}, "application/x-unknown"), "download");
    EXPECT_EQ(name("http://h/notes.txt", {}, "text/html"), "notes.txt");
    EXPECT_EQ(name("http://h/get", "attachment; filename=\"readme\"", "text/plain"), "readme");
}

} // namespace
