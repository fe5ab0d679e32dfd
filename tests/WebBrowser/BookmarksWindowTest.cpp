// The bookmarks screen in the desktop window under the tests' Xvfb, driven
// as a person's desktop would (xdotool), with targets read from the
// program's own view tree: History shows the visits grouped by day, back
// returns, Edit shows the reorder grips, a mouse drag of a grip moves its
// bookmark (stored in the new order), Done ends editing and a click on a
// bookmark chooses it. The display's pictures go beside the renderer's
// (build/screens/webbrowser/).

#include "../Viewers/DesktopWindowTest.h"

#include "Support/ViewTreeDumpQuery.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

class BookmarksWindowTest : public test::DesktopWindowTest {
protected:
    void TearDown() override
    {
        if (program && program->isRunning())
            program->kill();
        DesktopWindowTest::TearDown();
    }
    // The program's view tree, written on SIGUSR1 into its home's tmp.
    std::string dump()
    {
        // Written whole (a temporary file renamed).
        std::string path = pathInHome("home/tmp/screen-dump.txt");
        unlink(path.c_str());
        kill(program->pid(), SIGUSR1);
        waitFor([&] { return access(path.c_str(), R_OK) == 0; }, 5);
        return readFile(path);
    }
    // Polls the view tree until a view's line holds `text` (below the
    // first line holding `after`); its centre.
    std::optional<std::pair<int, int>> waitForView(const std::string& text, const std::string& after = {},
        double seconds = 10)
    {
        std::optional<std::pair<int, int>> found;
        waitFor([&] { return (found = test::viewCentreInDump(dump(), text, after)).has_value(); }, seconds);
        return found;
    }
    bool waitForGone(const std::string& text, double seconds = 10)
    {
        return waitFor([&] { return dump().find(text) == std::string::npos; }, seconds);
    }
    std::string lastOrder()
    {
        std::string order;
        std::istringstream lines(program->output());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("order ", 0) == 0)
                order = line.substr(6);
        return order;
    }
    void click(std::pair<int, int> at)
    {
        xdotool({ "mousemove", "--window", window, std::to_string(at.first), std::to_string(at.second), "click", "1" });
    }
    // Pressed at `from`, moved in steps, let go at `to`.
    void drag(std::pair<int, int> from, std::pair<int, int> to)
    {
        std::vector<std::string> arguments { "mousemove", "--window", window, std::to_string(from.first),
            std::to_string(from.second), "mousedown", "1", "sleep", "0.1" };
        for (int step = 1; step <= 8; ++step)
            arguments.insert(arguments.end(), { "mousemove", "--window", window,
                std::to_string(from.first + (to.first - from.first) * step / 8),
                std::to_string(from.second + (to.second - from.second) * step / 8), "sleep", "0.05" });
        arguments.insert(arguments.end(), { "mouseup", "1" });
        xdotool(arguments);
    }

};

TEST_F(BookmarksWindowTest, HistoryThenADraggedGripReordersAndAClickChoosesABookmark)
{
    ASSERT_TRUE(open({ TANDRY_BOOKMARKS_WINDOW, pathInHome("home") }, "Bookmarks"));
    ASSERT_TRUE(waitFor([&] { return lastOrder() == "One,Two,Three,Four"; })) << program->output();
    auto history = waitForView("\"History\"");
    ASSERT_TRUE(history) << dump() << program->errors();
    keep("webbrowser", "desktop-bookmarks");

    // History: the visits of today and yesterday, each under its day.
    click(*history);
    ASSERT_TRUE(waitForView("\"Today's Page\"")) << dump();
    EXPECT_TRUE(waitForView("\"Yesterday's Page\"")) << dump();
    std::string groups = dump();
    EXPECT_NE(groups.find("\"Today\""), std::string::npos) << groups;
    EXPECT_NE(groups.find("\"Yesterday\""), std::string::npos) << groups;
    keep("webbrowser", "desktop-history");
    auto back = waitForView("\"Bookmarks\"", "NavigationBar");
    ASSERT_TRUE(back) << dump();
    click(*back);
    ASSERT_TRUE(waitForGone("\"Today's Page\"")) << dump();

    // Edit: the grips show; "One" dragged by its grip down to "Three"'s place.
    auto edit = waitForView("\"Edit\"");
    ASSERT_TRUE(edit) << dump();
    click(*edit);
    auto grip = waitForView("TableViewReorderControl", "\"One\"");
    ASSERT_TRUE(grip) << dump();
    keep("webbrowser", "desktop-bookmarks-editing");
    auto three = test::viewCentreInDump(dump(), "\"Three\"");
    ASSERT_TRUE(three);
    drag(*grip, { grip->first, three->second });
    ASSERT_TRUE(waitFor([&] { return lastOrder() == "Two,Three,One,Four"; })) << program->output() << dump();
    keep("webbrowser", "desktop-bookmarks-moved");

    // Done; a click on a bookmark chooses it.
    auto done = waitForView("\"Done\"");
    ASSERT_TRUE(done) << dump();
    click(*done);
    ASSERT_TRUE(waitForGone("TableViewReorderControl")) << dump();
    auto two = waitForView("\"Two\"");
    ASSERT_TRUE(two) << dump();
    click(*two);
    ASSERT_TRUE(waitFor([&] { return said("selected http://two.test/\n"); })) << program->output();
    EXPECT_EQ(close(), 0) << program->errors();
}

} // namespace
