// A failure's address against the one asked for, as the engine rewrites it.

#include "WebBrowserTestCase.h"

#include "WebBrowser/VKWebLoadFailure.h"

namespace {

class VKWebLoadFailureTest : public test::WebBrowserTestCase { };

TEST_F(VKWebLoadFailureTest, TheEnginesSpellingOfTheAskedAddressIsTheSame)
{
    auto same = [](std::string_view failing, std::string_view asked) {
        return VKWebLoadFailure::isSameAddress(url(failing), url(asked));
    };
    EXPECT_TRUE(same("http://tandry.test/", "http://tandry.test"));
    EXPECT_TRUE(same("http://tandry.test/a?q=1", "HTTP://Tandry.TEST:80/a?q=1"));
    EXPECT_TRUE(same("https://tandry.test/", "https://tandry.test:443"));

    EXPECT_FALSE(same("http://tandry.test/", "http://tandry.test:8080/")) << "another port";
    EXPECT_FALSE(same("https://tandry.test/", "http://tandry.test/")) << "another scheme";
    EXPECT_FALSE(same("http://tandry.test/A", "http://tandry.test/a")) << "paths keep their case";
    EXPECT_FALSE(same("http://tandry.test/?", "http://tandry.test/")) << "an empty query is a query";
    EXPECT_FALSE(same("http://tandry.test/?q=1", "http://tandry.test/?q=2"));
    EXPECT_FALSE(same("http://frame.test/", "http://tandry.test/")) << "a frame's failure";
}

} // namespace
