// The program as a desktop application under the tests' own Xvfb: real
// keys (xdotool without --window, so XTEST) walk its lists, open, search
// and go back; the window is laid out at its own size, phone, tablet and
// wide; a second launch on the same home hands its file to the running
// one. What the display showed is kept in build/screens/desktop/.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

class DesktopWindowTest : public test::ProgramWindowTestCase {
protected:
    static void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    bool contains(const std::string& text) { return snapshot().find(text) != std::string::npos; }
    bool waitFor(const std::string& text) { return waitForDump([&](const std::string& d) { return d.find(text) != std::string::npos; }); }
    bool waitForTitle(const std::string& title)
    {
        for (int i = 0; i < 100; ++i) {
            if (test::runCommand({ "xdotool", "getwindowname", window }).output == title + "\n")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // The window focused, so keys from XTEST reach it.
    void focus() { xdotool({ "windowfocus", "--sync", window }); }
    void size(int width, int height)
    {
        xdotool({ "windowsize", "--sync", window, std::to_string(width), std::to_string(height) });
        ASSERT_TRUE(waitFor(width > height ? "VKNavigationBar (0, 0, " + std::to_string(width) + ", "
                                           : "VKNavigationBar (0, 0, " + std::to_string(width) + ", 44)"))
            << lastDump();
    }
};

// The keyboard alone: Escape takes the first launch's alert away, Down and
// Return open the first row, the title follows, Ctrl+F searches the
// folder, Escape leaves the search and then the folder.
TEST_F(DesktopWindowTest, KeysWalkOpenSearchAndGoBack)
{
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
    key("Escape");
    EXPECT_TRUE(waitForTitle("Tandry")) << test::runCommand({ "xdotool", "getwindowname", window }).output << lastDump();
    key("ctrl+q");
    EXPECT_EQ(exitStatus(), 0);
}

// Laid out at the window's size: the bars span it, phone to wide, and the
// first launch's alert stays centred. The pictures are kept to be looked at.
TEST_F(DesktopWindowTest, TheScreenTakesThePhonesTheTabletsAndAWideWindowsSize)
{
    std::filesystem::create_directories(pathInHome("home/Library/Documents"));
    for (const char* name : { "Notes.txt", "Plan.txt" })
        writeText(pathInHome(std::string("home/Library/Documents/") + name), "some text\n");
    start();
    ASSERT_TRUE(waitFor("AlertView")) << lastDump();
    focus();
    size(768, 1024);
    keep("desktop", "alert-768x1024");
    key("Escape");
    key("Down");
    key("Return");
    ASSERT_TRUE(waitForTitle("Documents — Tandry"));
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // the push ends
    for (auto [width, height] : { std::pair { 320, 480 }, { 1400, 900 }, { 768, 1024 }, { 480, 320 } }) {
        size(width, height);
        std::string name = "documents-" + std::to_string(width) + "x" + std::to_string(height);
        keep("desktop", name, true);
        // What the display shows is the program's picture, whole: nothing
        // scaled or letterboxed.
        std::string kept = sourcePath("build/screens/desktop/" + name);
        if (width > height) // the program's picture is the screen, upright
            test::runCommand({ "convert", kept + "-renderer.png", "-rotate", "270", kept + "-renderer.png" });
        EXPECT_LT(differingShare(kept + ".png", kept + "-renderer.png"), 0.005) << name;
    }
    key("ctrl+q");
    EXPECT_EQ(exitStatus(), 0);
}

// A second launch on the home hands its file to the running program,
// which imports it and shows it, and ends with 0; so does one with nothing
// to open.
TEST_F(DesktopWindowTest, ASecondLaunchHandsItsFileOver)
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
