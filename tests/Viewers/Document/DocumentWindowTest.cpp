// The frame in the desktop window under the tests' own Xvfb, driven from
// outside as a person's desktop would: xdotool clicks the bottom paging
// region, drags the page index from top to bottom and turns the device
// (Ctrl+Left) and turns the pages of a PDF in the double page layout by
// keys; python3-xlib sends the window manager's close. ImageMagick's
// import keeps what the display showed beside the renderer's pictures in
// build/screens/document/.

#include "../DesktopWindowTest.h"

#include <cstdio>
#include <sstream>

namespace {

class DocumentWindowTest : public test::DesktopWindowTest {
protected:
    // The offsets the program reported, in order.
    std::vector<double> offsets()
    {
        std::vector<double> found;
        std::istringstream lines(program->output());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("offset ", 0) == 0)
                found.push_back(std::atof(line.c_str() + 7));
        return found;
    }
    void click(int x, int y)
    {
        xdotool({ "mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1" });
    }
    void keep(const std::string& name) { DesktopWindowTest::keep("document", name); }
};

TEST_F(DocumentWindowTest, PagesScrubsTurnsAndClosesInTheDesktopWindow)
{
    ASSERT_TRUE(open({ TANDRY_DOCUMENT_WINDOW, pathInHome("home") }, "Annual Report"));
    auto geometry = test::runCommand({ "xdotool", "getwindowgeometry", window });
    ASSERT_NE(geometry.output.find("320x480"), std::string::npos) << "one pixel a point: " << geometry.output;
    keep("desktop-bars");

    // The bars leave after 3 s; a click in the bottom region then pages by
    // the content's height (the whole screen: the viewer lies under the
    // status bar too) less 20.
    ASSERT_TRUE(waitFor([&] { return said("bars hidden\n"); })) << program->output();
    click(160, 450);
    ASSERT_TRUE(waitFor([&] { return !offsets().empty() && offsets().back() == 480 - 20; })) << program->output();
    keep("desktop-paged");

    // A click in the middle brings the bars and the index back; dragging
    // the index from its top to its bottom ends at the last screen.
    click(160, 240);
    ASSERT_TRUE(waitFor([&] { return said("bars shown\n"); })) << program->output();
    xdotool({ "mousemove", "--window", window, "304", "75", "mousedown", "1" });
    for (int y = 100; y <= 425; y += 25)
        xdotool({ "mousemove", "--window", window, "304", std::to_string(y) });
    keep("desktop-scrubbing");
    xdotool({ "mouseup", "1" });
    ASSERT_TRUE(waitFor([&] { return !offsets().empty() && offsets().back() == 480 * 30 - 480; })) << program->output();

    // Ctrl+Left turns the device.
    xdotool({ "mousemove", "--window", window, "160", "240", "key", "ctrl+Left" });
    ASSERT_TRUE(waitFor([&] { return said("turned"); })) << program->output();
    keep("desktop-turned");

    // The window manager's close ends the program cleanly.
    EXPECT_EQ(close(), 0) << program->errors();
}

TEST_F(DocumentWindowTest, KeysTurnTheDoublePagesAsSoonAsTheyShow)
{
    ASSERT_TRUE(open({ TANDRY_DOCUMENT_WINDOW, pathInHome("home"), "pdf" }, "Annual Report"));
    ASSERT_TRUE(waitFor([&] { return said("page 1\n"); })) << program->output();
    // With the bars still shown, no click first: the first page stands
    // alone, then 2-3 and 4-5.
    xdotool({ "mousemove", "--window", window, "160", "240", "key", "Right" });
    ASSERT_TRUE(waitFor([&] { return said("page 2\n"); })) << program->output();
    xdotool({ "key", "Next" });
    ASSERT_TRUE(waitFor([&] { return said("page 4\n"); })) << program->output();
    xdotool({ "key", "End" });
    ASSERT_TRUE(waitFor([&] { return said("page 6\n"); })) << program->output();
    EXPECT_EQ(close(), 0) << program->errors();
}

} // namespace
