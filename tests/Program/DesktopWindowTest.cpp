// The program as a desktop application under the tests' own Xvfb: real
// keys (xdotool without --window, so XTEST) walk its lists, open, search,
// close and go back; its screens are laid out at the window's own size,
// phone, tablet and wide; a second launch on the same home hands its file
// to the running one, and a file manager's drop on the window is taken in. What the display showed is kept in
// build/screens/desktop/.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/ViewTreeDumpQuery.h"
#include "Support/XvfbDisplay.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

class DesktopWindowTest : public test::ProgramWindowTestCase {
protected:
    static void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    bool contains(const std::string& text) { return snapshot().find(text) != std::string::npos; }
    bool waitFor(const std::string& text) { return waitForDump([&](const std::string& d) { return d.find(text) != std::string::npos; }); }
    bool waitForTitle(const std::string& title)
    {
        return until([&] { return test::runCommand({ "xdotool", "getwindowname", window }).output == title + "\n"; });
    }
    // The window focused, so keys from XTEST reach it.
    void focus() { xdotool({ "windowfocus", "--sync", window }); }
    // What the screen is showing, at a phone's, a wide window's and a
    // tablet's size (where the walk goes on): once the display shows the
    // program's own picture, every view standing in the window itself (a
    // screen, a sheet, an alert) must lie within it, and `fact` must hold
    // for the dump at the window's size.
    void shownWhole(const std::string& name,
        const std::function<bool(const std::string&, int, int)>& fact = [](const std::string&, int, int) { return true; })
    {
        for (auto [width, height] : { std::pair { 320, 480 }, { 1400, 900 }, { 768, 1024 } }) {
            std::string sized = name + "-" + std::to_string(width) + "x" + std::to_string(height);
            xdotool({ "windowsize", "--sync", window, std::to_string(width), std::to_string(height) });
            bool same = false;
            for (int attempt = 0; attempt < 40 && !same; ++attempt) {
                keepAsTaken("desktop", sized);
                std::string kept = sourcePath("build/screens/desktop/" + sized);
                // The program's picture is the screen, upright: turned
                // when the window turned it.
                if (pictureWidth(kept + "-renderer.png") != width)
                    test::runCommand({ "convert", kept + "-renderer.png", "-rotate", "270", kept + "-renderer.png" });
                same = differingShare(kept + ".png", kept + "-renderer.png") < 0.005;
            }
            std::string dump = lastDump();
            EXPECT_TRUE(same) << sized << " is not the program's picture";
            EXPECT_EQ(outsideTheWindow(dump), "") << sized << "\n" << dump;
            EXPECT_TRUE(fact(dump, width, height)) << sized << "\n" << dump;
        }
    }
    // Marks the row of `name` by its circle (a click while the rows still
    // slide aside for it misses, and is made again).
    void mark(const std::string& name)
    {
        bool marked = false;
        for (int attempt = 0; attempt < 3 && !marked; ++attempt) {
            auto row = waitForView(") \"" + name + "\"");
            ASSERT_TRUE(row) << lastDump();
            click(18, row->second);
            marked = waitForDump([](const std::string& d) { return d.find("1 Item Selected") != std::string::npos; }, 3);
        }
        ASSERT_TRUE(marked) << lastDump();
    }
    void clickOn(const std::string& text)
    {
        auto at = waitForView(text);
        ASSERT_TRUE(at) << text << "\n" << lastDump();
        click(*at);
    }
    static int pictureWidth(const std::string& path)
    {
        return std::atoi(test::runCommand({ "identify", "-format", "%w", path }).output.c_str());
    }
    // The first line of a view standing in a window that reaches out of
    // it ("" when none does).
    static std::string outsideTheWindow(const std::string& dump)
    {
        std::istringstream lines(dump);
        std::string line;
        float ww = 0, wh = 0;
        while (std::getline(lines, line)) {
            float x, y, w, h;
            size_t open = line.find('(');
            if (open == std::string::npos || std::sscanf(line.c_str() + open, "(%f, %f, %f, %f)", &x, &y, &w, &h) != 4)
                continue;
            if (line[0] != ' ')
                ww = w, wh = h;
            else if (line.compare(0, 2, "  ") == 0 && line[2] != ' ' && line.find(" hidden") == std::string::npos
                && (x < -1 || y < -1 || x + w > ww + 1 || y + h > wh + 1))
                return line;
        }
        return "";
    }
};

// The keyboard alone: Escape takes the first launch's alert away, Down and
// Return open the first row, the title follows, Ctrl+F searches the
// folder, Ctrl+W closes a document, Delete asks before deleting marked
// rows, Return marks a row while editing, Escape leaves the search, the
// question, editing and then the folder.
TEST_F(DesktopWindowTest, KeysWalkOpenSearchAndGoBack)
{
    std::filesystem::create_directories(pathInHome("home/Library/Documents"));
    writeText(pathInHome("home/Library/Documents/Notes.txt"), "some text\n");
    start({ "-DeviceIdiom", "phone" });
    ASSERT_TRUE(waitFor("AlertView")) << lastDump();
    focus();
    key("Escape");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("AlertView") == std::string::npos; })) << lastDump();
    EXPECT_TRUE(waitForTitle("Tandry"));
    key("Down");
    key("Return");
    ASSERT_TRUE(waitForTitle("Documents — Tandry"));
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("\"Dropbox\"") == std::string::npos; })) << lastDump();
    key("ctrl+f");
    ASSERT_TRUE(waitFor("VKFolderSearchBar")) << lastDump();
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("first-responder") != std::string::npos; })) << lastDump();
    type("zz");
    key("Escape");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("first-responder") == std::string::npos; })) << lastDump();
    key("Down");
    key("Return");
    ASSERT_TRUE(waitForTitle("Notes — Tandry"));
    // Keys wait for the push to end, as the back button does.
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("VKFolderTableView") == std::string::npos; }))
        << lastDump();
    key("ctrl+w");
    ASSERT_TRUE(waitForTitle("Documents — Tandry"));
    auto edit = waitForView("\"image 20x20\"");
    ASSERT_TRUE(edit) << lastDump();
    click(*test::viewCentreInDump(lastDump(), "\"image 20x20\"", "VKNavigationBar"));
    ASSERT_TRUE(waitFor("No Items Selected")) << lastDump();
    mark("Notes");
    key("Delete");
    ASSERT_TRUE(waitFor("\"Delete 1 Item?\"")) << lastDump();
    key("Escape");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("Delete 1 Item?") == std::string::npos; }))
        << lastDump();
    EXPECT_TRUE(std::filesystem::exists(pathInHome("home/Library/Documents/Notes.txt")));
    clickOn("\"Done\"");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("Item Selected") == std::string::npos; }))
        << lastDump();
    // Marking from the keyboard: Return marks and unmarks the row the arrows
    // reached, Escape leaves editing and stays on the folder.
    ASSERT_TRUE(waitForView("\"image 20x20\"")) << lastDump();
    click(*test::viewCentreInDump(lastDump(), "\"image 20x20\"", "VKNavigationBar"));
    ASSERT_TRUE(waitFor("No Items Selected")) << lastDump();
    key("Down");
    key("Return");
    ASSERT_TRUE(waitFor("1 Item Selected")) << lastDump();
    key("Return");
    ASSERT_TRUE(waitFor("No Items Selected")) << lastDump();
    key("Escape");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("Items Selected") == std::string::npos; }))
        << lastDump();
    EXPECT_TRUE(waitForTitle("Documents — Tandry"));
    key("Escape");
    EXPECT_TRUE(waitForTitle("Tandry")) << test::runCommand({ "xdotool", "getwindowname", window }).output << lastDump();
    key("ctrl+q");
    EXPECT_EQ(exitStatus(), 0);
}

// The screens a person reaches from the documents, each drawn whole at a
// phone's, a tablet's and a wide window's size: what the display shows is
// the program's own picture (nothing stale, scaled or letterboxed), and
// every screen, sheet and alert lies within the window. The pictures are
// kept to be looked at.
TEST_F(DesktopWindowTest, EveryScreenIsDrawnWholeAtThePhonesTheTabletsAndAWideWindowsSize)
{
    std::filesystem::create_directories(pathInHome("home/Library/Documents"));
    for (const char* name : { "Notes.txt", "Plan.txt" })
        writeText(pathInHome(std::string("home/Library/Documents/") + name), "some text\n");
    start();
    ASSERT_TRUE(waitFor("AlertView")) << lastDump();
    focus();
    shownWhole("alert");
    key("Escape");
    key("Down");
    key("Return");
    ASSERT_TRUE(waitForTitle("Documents — Tandry"));
    ASSERT_TRUE(waitFor("\"Plan\"")) << lastDump();
    shownWhole("documents");

    // The search's results as wide as the window, whatever its size.
    key("ctrl+f");
    ASSERT_TRUE(waitFor("first-responder \"(Search)\"")) << lastDump();
    type("Pl");
    ASSERT_TRUE(waitFor("      TableView (0, 88, 768, ")) << lastDump();
    shownWhole("search", [](const std::string& dump, int width, int) {
        return dump.find("      TableView (0, 88, " + std::to_string(width) + ", ") != std::string::npos;
    });
    key("Escape");
    ASSERT_TRUE(waitFor("VKNavigationBar (0, 0, 768, 44)\n")) << lastDump();

    // Marking rows, then the new folder's prompt over them.
    auto edit = test::viewCentreInDump(snapshot(), "\"image 20x20\"", "VKNavigationBar");
    ASSERT_TRUE(edit) << lastDump();
    click(*edit);
    ASSERT_TRUE(waitFor("No Items Selected")) << lastDump();
    mark("Notes");
    // The editing bar's last button within the window.
    shownWhole("marked", [](const std::string& dump, int width, int) {
        size_t more = dump.find(") \"More\"");
        size_t line = dump.rfind('\n', more) + 1;
        float x = 0, w = 0;
        return more != std::string::npos && std::sscanf(dump.c_str() + dump.find('(', line), "(%f, %*f, %f", &x, &w) == 2
            && x + w <= float(width);
    });
    clickOn("\"New Folder\"");
    ASSERT_TRUE(waitFor("VKPopupAlert")) << lastDump();
    shownWhole("new-folder");
    key("Escape");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("VKPopupAlert") == std::string::npos; }))
        << lastDump();
    clickOn("\"Done\"");

    // The settings: a sheet on the tablet, kept within a smaller window.
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("Item Selected") == std::string::npos; }))
        << lastDump();
    auto settings = test::viewCentreInDump(snapshot(), "Button (42, 7, 44, 30)", "    Toolbar");
    ASSERT_TRUE(settings) << lastDump();
    click(*settings);
    ASSERT_TRUE(waitFor("\"Passcode Lock\"")) << lastDump();
    shownWhole("settings", [](const std::string& dump, int width, int) {
        return width < 768 || dump.find(", 540, 620)") != std::string::npos || dump.find(", 620, 540)") != std::string::npos;
    });
    key("Escape");
    ASSERT_TRUE(waitForDump([](const std::string& d) { return d.find("\"Passcode Lock\"") == std::string::npos; }))
        << lastDump();

    // A document in its viewer.
    clickOn(") \"Notes\"");
    ASSERT_TRUE(waitForTitle("Notes — Tandry"));
    ASSERT_TRUE(waitForDump([](const std::string& d) {
        return d.find("VKFolderTableView") == std::string::npos && d.find("\"some text") != std::string::npos;
    })) << lastDump();
    shownWhole("text");
    key("ctrl+q");
    EXPECT_EQ(exitStatus(), 0);
}

// A second launch on the home hands its file to the running program,
// which imports it and shows it, and ends with 0; so does one with nothing
// to open.
TEST_F(DesktopWindowTest, ASecondLaunchAndAFileManagersDropHandTheirFilesOver)
{
    start({ "-DeviceIdiom", "phone" });
    ASSERT_TRUE(waitFor("AlertView")) << lastDump();
    std::string file = pathInHome("Handed Over.txt");
    writeText(file, "from a file manager\n");
    std::string uri = "file://" + file.substr(0, file.rfind(' ')) + "%20Over.txt";
    auto second = test::runCommand({ TANDRY_EXECUTABLE, "--home", pathInHome("home"), uri });
    EXPECT_EQ(second.status, 0) << second.output << (drainErrors(), output);
    EXPECT_TRUE(std::filesystem::exists(pathInHome("home/Library/Documents/Imports/Handed Over.txt")));
    EXPECT_TRUE(waitForTitle("Handed Over — Tandry"))
        << test::runCommand({ "xdotool", "getwindowname", window }).output << lastDump();

    // One a file manager drops on the window (a real XDND drop) is imported
    // and opened the same way.
    std::string dropped = pathInHome("Dropped Notes.txt");
    writeText(dropped, "dropped on the window\n");
    std::string said;
    EXPECT_TRUE(test::XvfbDisplay::dropURIs(window, 100, 200,
        { "file://" + dropped.substr(0, dropped.rfind(' ')) + "%20Notes.txt" }, &said))
        << said;
    EXPECT_TRUE(until([&] {
        return readFile(pathInHome("home/Library/Documents/Imports/Dropped Notes.txt")) == "dropped on the window\n";
    })) << (drainErrors(), output);
    EXPECT_TRUE(waitForTitle("Dropped Notes — Tandry"))
        << test::runCommand({ "xdotool", "getwindowname", window }).output << lastDump();
    auto again = test::runCommand({ TANDRY_EXECUTABLE, "--home", pathInHome("home") });
    EXPECT_EQ(again.status, 0) << again.output;
    auto server = test::runCommand({ "sh", "-c", "exec \"$0\" --home \"$1\" --server-only 2>&1", TANDRY_EXECUTABLE,
        pathInHome("home") });
    EXPECT_EQ(server.status, 2);
    EXPECT_NE(server.output.find("is in use"), std::string::npos) << server.output;
    key("ctrl+q");
    EXPECT_EQ(exitStatus(), 0);
}

} // namespace
