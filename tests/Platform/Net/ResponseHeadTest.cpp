#include "Platform/Net/ResponseHead.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

using net::ResponseHead;
using State = ResponseHead::State;

namespace {

ResponseHead headOf(std::initializer_list<std::string> lines)
{
    ResponseHead head;
    for (const auto& line : lines)
        head.addLine(line);
    return head;
}

TEST(ResponseHeadTest, EachStatusLineStartsAgainAndInterimHeadsLeaveNothing)
{
    ResponseHead head;
    EXPECT_EQ(head.addLine("HTTP/1.1 100 Continue\r\n"), State::Collecting);
    EXPECT_EQ(head.addLine("\r\n"), State::None);
    EXPECT_EQ(head.addLine("X-Stray: before any head\r\n"), State::None);
    EXPECT_EQ(head.addLine("HTTP/1.1 302 Found\r\n"), State::Collecting);
    head.addLine("Location: /next\r\n");
    EXPECT_EQ(head.addLine("\r\n"), State::Complete);
    // curl follows: the next hop's head replaces the first.
    EXPECT_EQ(head.addLine("HTTP/2 200 \r\n"), State::Collecting);
    EXPECT_TRUE(head.fields().empty());
    head.addLine("Content-Type : text/plain \r\n");
    head.addLine("X-Folded: one\r\n");
    head.addLine(" \ttwo\r\n");
    head.addLine("no colon here\r\n");
    EXPECT_EQ(head.addLine("\n"), State::Complete);
    EXPECT_EQ(head.statusCode(), 200);

    const auto fields = head.takeFields();
    EXPECT_EQ(head.state(), State::Reported);
    EXPECT_EQ(fields.value("content-type"), "text/plain");
    EXPECT_EQ(fields.value("X-Folded"), "one two");
    EXPECT_EQ(fields.size(), 2u);
    // A chunked body's trailers change nothing.
    EXPECT_EQ(head.addLine("X-Trailer: late\r\n"), State::Reported);
    EXPECT_EQ(head.addLine("\r\n"), State::Reported);
}

TEST(ResponseHeadTest, StatusCodesAreThreeDigitsStandingAlone)
{
    EXPECT_EQ(headOf({ "HTTP/1.1 404 Not Found" }).statusCode(), 404);
    EXPECT_EQ(headOf({ "HTTP/1.0 204" }).statusCode(), 204);
    EXPECT_EQ(headOf({ "HTTP/2 301 \r\n" }).statusCode(), 301);
    // Digits the line does not hold were once read as zeros: "2x0" was 200.
    for (const char* line : { "HTTP/1.1 2x0 OK", "HTTP/1.1 \xff" "100 Continue", "HTTP/1.1 2000 OK", "HTTP/1.1 20",
             "HTTP/1.1", "HTTP/1.1 -20 OK" }) {
        SCOPED_TRACE(line);
        EXPECT_EQ(headOf({ line }).statusCode(), 0);
    }
    // A head without a code is no interim head: its end completes it.
    EXPECT_EQ(headOf({ "HTTP/1.1 1x0 Continue", "" }).state(), State::Complete);
}

TEST(ResponseHeadTest, OtherSchemesAreThoseALocationNames)
{
    const auto redirect = [](const std::string& location, const char* status = "HTTP/1.1 302 Found") {
        return headOf({ status, "Location: " + location, "" }).redirectsToOtherScheme();
    };
    EXPECT_TRUE(redirect("ftp://example.com/file"));
    EXPECT_TRUE(redirect("javascript:alert(1)"));
    EXPECT_TRUE(redirect("x-custom+v1.2:thing"));
    EXPECT_FALSE(redirect("HTTPS://example.com/"));
    EXPECT_FALSE(redirect("http://example.com/"));
    EXPECT_FALSE(redirect("ftp://example.com/", "HTTP/1.1 200 OK"));
    // Relative references keep their scheme, whatever colons they hold.
    for (const std::string& relative : std::initializer_list<std::string> { "/a:b", "a b:c", ":x", "1ab:x", "//host:80/x",
             "?q=a:b", std::string("ftp\0://x", 8) }) {
        SCOPED_TRACE(relative);
        EXPECT_FALSE(redirect(relative));
        EXPECT_EQ(ResponseHead::schemeOfReference(relative), "");
    }
    EXPECT_EQ(ResponseHead::schemeOfReference("Mailto:a@b"), "Mailto");
    // A head still being collected redirects nowhere yet.
    EXPECT_FALSE(headOf({ "HTTP/1.1 302 Found", "Location: ftp://x/" }).redirectsToOtherScheme());
}

} // namespace
