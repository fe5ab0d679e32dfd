// The text viewer in the program's window under the tests' own Xvfb, on a
// 100 MB log opened from the folder list by a click as a person would, on
// a phone-sized window: the first screen while the rest loads, the wheel
// scrolling the loaded text, the sheet's "Change Text Encoding" and a pick
// in its list reloading the text, Back to the list and the window's close.
// What the display showed is kept in build/screens/text_window/ beside the
// program's own pictures.

#include "ProgramWindowTestCase.h"


#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

class TextViewerWindowTest : public test::ProgramWindowTestCase {
protected:
    void keep(const std::string& name) { ProgramWindowTestCase::keep("text_window", name, true); }

    // A log of lines like a web server's, `megabytes` × 10⁶ bytes.
    void writeLog(size_t megabytes)
    {
        std::string folder = pathInHome("home/Library/Documents");
        std::filesystem::create_directories(folder);
        std::ofstream out(folder + "/server.log", std::ios::binary);
        std::string block;
        char line[128];
        size_t written = 0;
        for (size_t number = 0; written < megabytes * 1000 * 1000; ++number) {
            int length = std::snprintf(line, sizeof line, "%08zu GET /status/%zu HTTP/1.1 200 worker %zu done\n",
                number, number % 977, number % 8);
            block.append(line, size_t(length));
            written += size_t(length);
            if (block.size() > (1 << 20)) {
                out << block;
                block.clear();
            }
        }
        out << block;
    }

    // The page-number overlay comes once the whole text is in and counted.
    static bool loaded(const std::string& dump)
    {
        return dump.find("VKTextView (") != std::string::npos && dump.find("VKPageNumberOverlay") != std::string::npos;
    }
    // A click in the middle brings the bars back when they went.
    void showBars()
    {
        auto shown = [](const std::string& dump) { return dump.find("Toolbar (0, 436, 320, 44)\n") != std::string::npos; };
        if (shown(snapshot()))
            return;
        click(160, 240);
        ASSERT_TRUE(waitForDump(shown)) << lastDump();
    }
    void wheel(const char* button, int notches)
    {
        xdotool({ "mousemove", "--window", window, "160", "240", "click", "--repeat", std::to_string(notches), "--delay",
            "30", button });
    }
};

TEST_F(TextViewerWindowTest, AHundredMegabyteLogOpensFromTheListScrollsChangesEncodingAndGoesBack)
{
    writeLog(100);
    openDocuments(") \"server\"");
    if (HasFatalFailure())
        return;
    auto row = waitForView(") \"server\"");
    ASSERT_TRUE(row) << lastDump();
    click(*row);
    ASSERT_TRUE(waitForView("VKTextView (")) << lastDump();
    keep("desktop-first-screen");
    ASSERT_TRUE(waitForDump(loaded, 180)) << lastDump();
    keep("desktop-loaded");

    // The paging help over the text goes with a click, as on the device;
    // the wheel then reaches the text.
    click(160, 240);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("Tap this region") == std::string::npos; }))
        << lastDump();
    // Twenty notches of the wheel move the text down by more than a
    // screen: the title's page number leaves 1.
    wheel("5", 20);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find(" of ") != std::string::npos && dump.find("\"1 of ") == std::string::npos;
    })) << lastDump();
    keep("desktop-scrolled");

    // The sheet's "Change Text Encoding" offers the list; a pick reloads
    // the text in that encoding.
    std::optional<std::pair<int, int>> entry;
    for (int attempt = 0; attempt < 3 && !entry; ++attempt) {
        showBars();
        auto sheet = centreOf(snapshot(), "BarItemButton (6, 7, 40, 30)");
        ASSERT_TRUE(sheet) << lastDump();
        click(*sheet);
        entry = waitForView("\"Change Text Encoding\"", 3);
    }
    ASSERT_TRUE(entry) << lastDump();
    click(*entry);
    auto choice = waitForView("\"WINDOWS-1252\"");
    ASSERT_TRUE(choice) << lastDump();
    keep("desktop-encodings");
    click(*choice);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("\"WINDOWS-1252\"") == std::string::npos && loaded(dump);
    }, 180)) << lastDump();
    keep("desktop-reloaded");

    // Back to the list, and the window's close ends the program.
    goBackAndClose([&] { showBars(); }, [](const std::string& dump) {
        return dump.find("VKTextView (") == std::string::npos && dump.find(") \"server\"") != std::string::npos;
    });
}

} // namespace
