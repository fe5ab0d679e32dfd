// The text viewer in the desktop window under the tests' own Xvfb, driven
// from outside: a 24 MiB log opens, the mouse wheel scrolls it, and the
// window manager's close ends the program with status 0. ImageMagick's
// import keeps what the display showed in build/screens/text/.

#include "../DesktopWindowTest.h"

#include <cstdlib>
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

    EXPECT_EQ(close(30), 0) << program->errors();
}

} // namespace
