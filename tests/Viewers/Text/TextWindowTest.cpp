// The text viewer in the desktop window under the tests' own Xvfb, driven
// from outside: a 24 MiB log opens, the mouse wheel scrolls it, the sheet's
// "Change Text Encoding" offers the encodings and a click on one reloads the
// text in it, the back button leaves the viewer, and the window manager's
// close ends the program with status 0. ImageMagick's import keeps what the
// display showed in build/screens/text/.

#include "../DesktopWindowTest.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace {

class TextWindowTest : public test::DesktopWindowTest {
protected:
    // The last number the program printed after `prefix`; -1 when none.
    double last(const std::string& prefix)
    {
        double found = -1;
        std::istringstream lines(program->output());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prefix, 0) == 0)
                found = std::atof(line.c_str() + prefix.size());
        return found;
    }
    void keep(const std::string& name) { DesktopWindowTest::keep("text", name); }
    // Where the program last said `what` shows ("at TEXT" or "item ACTION").
    std::optional<std::pair<int, int>> placeOf(const std::string& what)
    {
        std::optional<std::pair<int, int>> found;
        std::istringstream lines(program->output());
        std::string prefix = what + " ";
        for (std::string line; std::getline(lines, line);) {
            int x = 0, y = 0;
            if (line.rfind(prefix, 0) == 0 && std::sscanf(line.c_str() + prefix.size(), "%d %d", &x, &y) == 2)
                found = std::pair(x, y);
        }
        return found;
    }
    // The bars back (a click in the text) when they have left.
    ::testing::AssertionResult showBars()
    {
        if (last("bars ") == 1)
            return ::testing::AssertionSuccess();
        xdotool({ "mousemove", "--window", window, "160", "240", "click", "1" });
        if (!waitFor([&] { return last("bars ") == 1; }))
            return ::testing::AssertionFailure() << "no bars in " << program->output();
        return ::testing::AssertionSuccess();
    }
    // Clicks where `what` shows once the program says it does.
    ::testing::AssertionResult clickOn(const std::string& what)
    {
        if (!waitFor([&] { return placeOf(what).has_value(); }))
            return ::testing::AssertionFailure() << "no " << what << " in " << program->output();
        auto [x, y] = *placeOf(what);
        xdotool({ "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1" });
        return ::testing::AssertionSuccess();
    }
};

TEST_F(TextWindowTest, ALargeLogOpensScrollsAndClosesInTheDesktopWindow)
{
    ASSERT_TRUE(open({ TANDRY_TEXT_WINDOW, pathInHome("home"), "24" }, "server.log"));
    // The whole text in and counted: far more than a screen.
    ASSERT_TRUE(waitFor([&] { return last("loaded ") > 0; }, 120)) << program->output() << program->errors();
    EXPECT_GT(last("loaded "), 100000);
    keep("desktop-log");

    // Ten notches of the wheel move the text down, and back up.
    auto wheel = [&](const char* button, int notches) {
        xdotool({ "mousemove", "--window", window, "160", "240", "click", "--repeat", std::to_string(notches), "--delay",
            "30", button });
    };
    wheel("5", 10);
    ASSERT_TRUE(waitFor([&] { return last("offset ") > 200; }, 10)) << program->output();
    keep("desktop-log-scrolled");
    double down = last("offset ");
    wheel("4", 3);
    ASSERT_TRUE(waitFor([&] { return last("offset ") < down; }, 10)) << program->output();

    // The sheet's "Change Text Encoding" (the bars brought back first by a
    // click when they have left) offers the list; a click on KOI8-R loads
    // the text again in it.
    ASSERT_TRUE(showBars());
    ASSERT_TRUE(clickOn("item showDocumentActionSheet"));
    ASSERT_TRUE(clickOn("at Change Text Encoding"));
    // KOI8-R sits low in the list: the wheel brings it up.
    ASSERT_TRUE(waitFor([&] { return placeOf("at UTF-8").has_value(); })) << program->output();
    auto koi8r = [&] { return placeOf("at KOI8-R").has_value() && placeOf("at KOI8-R")->second < 420; };
    for (int turn = 0; turn < 12 && !koi8r(); ++turn) {
        wheel("5", 3);
        waitFor(koi8r, 1);
    }
    ASSERT_TRUE(koi8r()) << program->output();
    keep("desktop-encodings");
    ASSERT_TRUE(clickOn("at KOI8-R"));
    ASSERT_TRUE(waitFor([&] { return said("encoding KOI8-R\n"); }, 120)) << program->output();
    keep("desktop-koi8r");

    // Back to the list, once the bars that leave after the load are back.
    ASSERT_TRUE(waitFor([&] { return last("bars ") == 0; })) << program->output();
    ASSERT_TRUE(showBars());
    ASSERT_TRUE(clickOn("at Documents"));
    ASSERT_TRUE(waitFor([&] { return said("list\n"); })) << program->output();

    EXPECT_EQ(close(30), 0) << program->errors();
}

} // namespace
