// The untrusted reports of the view's own script and the engine's failures
// in the system's terms.

#include "Platform/Core/URL.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/PageMessage.h"
#include "Platform/Web/WebError.h"

#include "Support/TestCase.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <limits>
#include <webkit2/webkit2.h>

using web::PageMessage;
using web::PageMetrics;
using web::PageScriptError;

namespace {

core::Value metrics(double x, double y, double width, double height)
{
    return core::Value::makeDictionary({ { "kind", core::Value("metrics") }, { "x", core::Value(x) },
        { "y", core::Value(y) }, { "width", core::Value(width) }, { "height", core::Value(height) },
        { "viewportWidth", core::Value(320) }, { "viewportHeight", core::Value(480) } });
}

TEST(PageMessageTest, NumbersMustBeFiniteAndAreClampedTextsAreCutMalformedMessagesDropped)
{
    auto parsed = PageMessage::parse(metrics(0, 10.5, 320, 2000));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(std::get<PageMetrics>(*parsed), (PageMetrics { 0, 10.5, 320, 2000, 320, 480 }));

    auto huge = PageMessage::parse(metrics(-5, 1e300, 320, 2000));
    ASSERT_TRUE(huge);
    EXPECT_EQ(std::get<PageMetrics>(*huge).scrollX, 0);
    EXPECT_EQ(std::get<PageMetrics>(*huge).scrollY, PageMessage::MaximumCoordinate);
    EXPECT_FALSE(PageMessage::parse(metrics(std::numeric_limits<double>::quiet_NaN(), 0, 1, 1)));
    EXPECT_FALSE(PageMessage::parse(metrics(std::numeric_limits<double>::infinity(), 0, 1, 1)));

    auto missing = metrics(0, 0, 1, 1);
    missing.mutableDictionary().erase("height");
    EXPECT_FALSE(PageMessage::parse(missing));
    auto wrongType = metrics(0, 0, 1, 1);
    wrongType.mutableDictionary()["width"] = core::Value("wide");
    EXPECT_FALSE(PageMessage::parse(wrongType));
    EXPECT_FALSE(PageMessage::parse(core::Value("metrics")));
    EXPECT_FALSE(PageMessage::parse(core::Value::makeDictionary({ { "kind", core::Value("other") } })));

    // An error message of 5,000 bytes whose cut falls inside "é" keeps whole characters.
    std::string text = std::string(4095, 'a') + "é" + std::string(903, 'b');
    auto error = PageMessage::parse(core::Value::makeDictionary({ { "kind", core::Value("error") },
        { "message", core::Value(text) }, { "source", core::Value("http://x/a.js") }, { "line", core::Value(3.9) } }));
    ASSERT_TRUE(error);
    const auto& reported = std::get<PageScriptError>(*error);
    EXPECT_EQ(reported.message, std::string(4095, 'a'));
    EXPECT_EQ(reported.line, 3);
    EXPECT_EQ(PageMessage::boundedText(std::string(4096, 'c')).size(), 4096u);

    // Focus news carries a boolean and nothing else.
    auto focus = PageMessage::parse(core::Value::makeDictionary({ { "kind", core::Value("focus") }, { "editable", core::Value(true) } }));
    ASSERT_TRUE(focus);
    EXPECT_TRUE(std::get<web::PageEditingFocus>(*focus).editing);
    EXPECT_FALSE(PageMessage::parse(core::Value::makeDictionary({ { "kind", core::Value("focus") }, { "editable", core::Value(1) } })));
    EXPECT_FALSE(PageMessage::parse(core::Value::makeDictionary({ { "kind", core::Value("focus") } })));
}

class WebErrorTest : public test::TestCase { };

TEST_F(WebErrorTest, EngineFailuresBecomeTheSystemsCodesWithTheFailingURL)
{
    auto url = core::URL::parse("http://nothing.invalid/page").value();
    auto code = [&](const char* domain, int engineCode) {
        return web::WebError::fromEngine(domain, engineCode, "engine text", url).code();
    };
    EXPECT_EQ(code("g-resolver-error-quark", G_RESOLVER_ERROR_NOT_FOUND), net::URLError::CannotFindHost);
    EXPECT_EQ(code("g-io-error-quark", G_IO_ERROR_CONNECTION_REFUSED), net::URLError::CannotConnectToHost);
    EXPECT_EQ(code("g-io-error-quark", G_IO_ERROR_TIMED_OUT), net::URLError::TimedOut);
    EXPECT_EQ(code("g-io-error-quark", G_IO_ERROR_NOT_FOUND), net::URLError::FileDoesNotExist);
    EXPECT_EQ(code("g-tls-error-quark", G_TLS_ERROR_BAD_CERTIFICATE), net::URLError::ServerCertificateUntrusted);
    EXPECT_EQ(code("WebKitNetworkError", WEBKIT_NETWORK_ERROR_CANCELLED), net::URLError::Cancelled);
    EXPECT_EQ(code("WebKitNetworkError", WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST), net::URLError::FileDoesNotExist);
    EXPECT_EQ(code("WebKitNetworkError", WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL), net::URLError::UnsupportedURL);

    auto policy = web::WebError::fromEngine("WebKitPolicyError", WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE, "", url);
    EXPECT_TRUE(policy.is("WebKitErrorDomain", 102));
    EXPECT_EQ(policy.userInfo().at(net::URLError::FailingURLKey), core::Value("http://nothing.invalid/page"));
    EXPECT_TRUE(web::WebError::fromEngine("WebKitPolicyError", 100, "", url).is("WebKitErrorDomain", 100));

    // Anything else keeps the engine's words under the unknown code.
    auto other = web::WebError::fromEngine("some-other-quark", 7, "Something broke", url);
    EXPECT_TRUE(other.is(net::URLErrorDomain, net::URLError::Unknown));
    EXPECT_EQ(other.localizedDescription(), "Something broke");

    EXPECT_EQ(web::WebError::scriptException("http://127.0.0.1:46011/:1:24: Error: boom").localizedDescription(),
        "Error: boom");
    EXPECT_EQ(web::WebError::scriptException("file:///a:b/c.html:10:2: TypeError: x").localizedDescription(),
        "TypeError: x");
    EXPECT_EQ(web::WebError::scriptException("ReferenceError: y: z").localizedDescription(), "ReferenceError: y: z");
}

} // namespace
