// The program's window under the tests' own Xvfb, from the desktop's side:
// text typed by xdotool and composed by GTK's simple input method into a
// settings field, the desktop's clipboard both ways through xclip, the
// window unmapped and mapped again (the background and back), GTK's print
// dialog opened from a file's sheet and dismissed, the folder that was open
// coming back on the next launch, and a display that dies under the
// program. What the display showed is kept in build/screens/window/ beside
// the program's own pictures.

#include "ProgramWindowTestCase.h"

#include "Support/Command.h"
#include "Support/XvfbDisplay.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

class TandryWindowInputTest : public test::ProgramWindowTestCase {
protected:
    void keep(const std::string& name) { ProgramWindowTestCase::keep("window", name, true); }

    // Starts the program again on the same home once the last run ended.
    void relaunch(std::vector<std::string> extra = {})
    {
        if (errors >= 0)
            close(errors);
        errors = -1;
        output.clear();
        window.clear();
        start(std::move(extra));
    }

    // The first launch's alert goes with its OK.
    void dismissFirstAlert()
    {
        auto ok = waitForView("Button (11, 106, 128, 43) \"OK\"");
        ASSERT_TRUE(ok) << lastDump();
        click(*ok);
        ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("AlertView") == std::string::npos; }))
            << lastDump();
    }

    // The port of the server's last start, read from the log.
    int port()
    {
        drainErrors();
        auto started = output.rfind("Started HTTP server on port ");
        auto serving = output.rfind("Serving at http://");
        if (started != std::string::npos && (serving == std::string::npos || started > serving))
            return std::atoi(output.c_str() + started + 28);
        if (serving == std::string::npos)
            return 0;
        auto colon = output.find(':', serving + 18);
        return colon == std::string::npos ? 0 : std::atoi(output.c_str() + colon + 1);
    }

    // The HTTP status of a GET of the server's root ("000" when nothing
    // answers).
    static std::string get(int port)
    {
        return test::runCommand({ "curl", "-sS", "-o", "/dev/null", "-m", "5", "-w", "%{http_code}",
                                    "http://127.0.0.1:" + std::to_string(port) + "/" })
            .output;
    }

    // Waits (up to 10 s) for the log to say `text`.
    bool waitForLog(const std::string& text, size_t from = 0)
    {
        return until([&] {
            drainErrors();
            return output.find(text, from) != std::string::npos;
        });
    }

    // Clicks the view whose dump line holds `text` once the screens are at
    // rest; a view whose line holds `expected` shows.
    bool clickUntil(const std::string& text, const std::string& expected)
    {
        auto at = waitForView(text);
        if (!at)
            return false;
        click(*at);
        return waitForView(expected).has_value();
    }

    static bool contains(const std::string& dump, const std::string& text)
    {
        return dump.find(text) != std::string::npos;
    }
};

// Puts DISPLAY back as the test found it.
class DisplayVariable {
public:
    explicit DisplayVariable(const std::string& display)
        : saved(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "")
    {
        setenv("DISPLAY", display.c_str(), 1);
    }
    ~DisplayVariable() { setenv("DISPLAY", saved.c_str(), 1); }

private:
    std::string saved;
};

TEST_F(TandryWindowInputTest, TypesComposesAndCopiesTextInASettingsField)
{
    if (!test::hasProgram("xclip"))
        GTEST_SKIP() << "xclip is missing";
    start({ "-DeviceIdiom", "phone" });
    dismissFirstAlert();
    if (HasFatalFailure())
        return;
    // Settings from the root list's bar, then the server's authentication.
    ASSERT_TRUE(clickUntil("Button (270, 7, 44, 30)", ") \"Server\"")) << lastDump();
    ASSERT_TRUE(clickUntil(") \"Server\"", ") \"Authentication\"")) << lastDump();
    // A double click, as people do: the second lands as the row's page
    // slides in and reaches nothing, neither the row again nor the page.
    auto row = waitForView(") \"Authentication\"");
    ASSERT_TRUE(row) << lastDump();
    doubleClick(row->first, row->second);
    // The user name's field, beside its label.
    const std::string username = "TextField (98, 10, 182, 23)";
    auto field = waitForView(username);
    ASSERT_TRUE(field) << lastDump();
    click(*field);
    ASSERT_TRUE(waitForDump([&](const std::string& dump) { return contains(dump, username + " first-responder"); }))
        << lastDump();

    // xdotool types a character the keyboard lacks by mapping a spare key
    // to it for the moment; one at a time, so that GTK reads the key while
    // it is still mapped.
    std::string typed;
    for (std::string character : { "é", "漢", "字" }) {
        typed += character;
        xdotool({ "type", "--delay", "150", character });
        ASSERT_TRUE(waitForDump([&](const std::string& dump) { return contains(dump, "\"" + typed + "\""); }))
            << lastDump();
    }

    // GTK's simple input method: Ctrl+Shift+U and a code point, shown
    // marked while composed, the character once a space ends it.
    key("ctrl+shift+u");
    type("6f22");
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return contains(dump, "\"é漢字u6f22\""); })) << lastDump();
    keep("composing");
    key("space");
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return contains(dump, "\"é漢字漢\""); })) << lastDump();

    // Copied from the field, the desktop's clipboard has it.
    key("ctrl+a");
    key("ctrl+c");
    std::string pasted;
    until([&] {
        pasted = test::runCommand({ "xclip", "-o", "-selection", "clipboard" }).output;
        return pasted == "é漢字漢";
    });
    EXPECT_EQ(pasted, "é漢字漢");

    // What another program puts there is pasted over the selection.
    auto put = test::runCommand({ "sh", "-c", "printf %s \"$0\" | xclip -i -selection clipboard >/dev/null", "from xclip ü" });
    ASSERT_EQ(put.status, 0) << put.output;
    key("ctrl+a");
    key("ctrl+v");
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return contains(dump, "\"from xclip ü\""); })) << lastDump();
    keep("pasted");

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

TEST_F(TandryWindowInputTest, AnUnmappedWindowIsTheBackgroundAndMappedAgainTheReturn)
{
    start({ "-DeviceIdiom", "phone" });
    dismissFirstAlert();
    if (HasFatalFailure())
        return;
    int before = port();
    ASSERT_GT(before, 0) << output;
    EXPECT_EQ(get(before), "200");

    // Gone from the screen: the server stops, as in the background.
    size_t from = output.size();
    xdotool({ "windowunmap", "--sync", window });
    ASSERT_TRUE(waitForLog("Stopped HTTP server on port", from)) << output.substr(from);
    EXPECT_EQ(get(before), "000");

    // Back: active again, the server listens.
    from = output.size();
    xdotool({ "windowmap", "--sync", window });
    ASSERT_TRUE(waitForLog("Started HTTP server on port", from)) << output.substr(from);
    int after = port();
    ASSERT_GT(after, 0) << output.substr(from);
    EXPECT_EQ(get(after), "200");
    ASSERT_TRUE(waitForView("TableViewCell (0, 22, 320, 44) \"Documents\"")) << lastDump();
    keep("mapped-again");

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

TEST_F(TandryWindowInputTest, APrintDialogDismissedPrintsNothingAndTheProgramGoesOn)
{
    makeFile("home/Library/Documents/notes.txt", "Notes to print\nsecond line\n");
    // GTK's print-to-file writes under HOME: a home of the test's own.
    std::string desktopHome = pathInHome("desktop-home");
    std::filesystem::create_directories(desktopHome);
    openDocuments(") \"notes\"", {}, { "HOME=" + desktopHome });
    if (HasFatalFailure())
        return;
    click(*waitForView(") \"notes\""));
    ASSERT_TRUE(waitForView("VKTextView (")) << lastDump();

    // The bars hide by themselves a while after they show: a click that
    // came too late is tried again.
    std::optional<std::pair<int, int>> print;
    for (int attempt = 0; attempt < 3 && !print; ++attempt) {
        if (!contains(snapshot(), "Toolbar (0, 436, 320, 44)\n")) {
            click(160, 240);
            ASSERT_TRUE(waitForDump([](const std::string& dump) { return contains(dump, "Toolbar (0, 436, 320, 44)\n"); }))
                << lastDump();
        }
        auto sheet = centreOf(snapshot(), "BarItemButton (6, 7, 40, 30)");
        ASSERT_TRUE(sheet) << lastDump();
        click(*sheet);
        print = waitForView("\"Print\"", 3);
    }
    ASSERT_TRUE(print) << lastDump();
    click(*print);

    // GTK's dialog shows over the window; the server answers meanwhile.
    auto printDialog = [&] {
        auto found = test::runCommand({ "xdotool", "search", "--all", "--onlyvisible", "--pid", std::to_string(pid), "--name", "^Print$" });
        return found.status == 0 ? found.output.substr(0, found.output.find('\n')) : std::string();
    };
    std::string dialog;
    ASSERT_TRUE(until([&] { return !(dialog = printDialog()).empty(); })) << "no print dialog";
    std::filesystem::create_directories(sourcePath("build/screens/window"));
    EXPECT_TRUE(waitForStillDisplay(sourcePath("build/screens/window/print-dialog.png"), "root"));
    EXPECT_EQ(get(port()), "200");

    // Escape from the keyboard, the dialog having the focus.
    xdotool({ "windowfocus", "--sync", dialog });
    xdotool({ "key", "Escape" });
    ASSERT_TRUE(until([&] { return printDialog().empty(); })) << "the dialog stayed";

    // Nothing printed, no alert (for a while), the text still shows and
    // takes clicks.
    EXPECT_TRUE(stays([&] { return !contains(snapshot(), "AlertView"); }, 1)) << lastDump();
    EXPECT_TRUE(contains(lastDump(), "VKTextView (")) << lastDump();
    keep("print-dismissed");
    size_t files = 0;
    for (auto& entry : std::filesystem::recursive_directory_iterator(desktopHome))
        files += entry.is_regular_file() && entry.path().extension() != ".ini" && entry.path().extension() != ".xbel";
    EXPECT_EQ(files, 0u) << "a file was printed under " << desktopHome;
    EXPECT_EQ(output.find("Printing failed"), std::string::npos) << output;
    EXPECT_EQ(get(port()), "200");

    goBackAndClose(
        [&] {
            if (!contains(snapshot(), "Toolbar (0, 436, 320, 44)\n")) {
                click(160, 240);
                waitForDump([](const std::string& dump) { return contains(dump, "Toolbar (0, 436, 320, 44)\n"); });
            }
        },
        [](const std::string& dump) { return !contains(dump, "VKTextView (") && contains(dump, ") \"notes\""); });
}

TEST_F(TandryWindowInputTest, TheNextLaunchReopensTheFolderThatWasOpen)
{
    makeFile("home/Library/Documents/Projects/plan.txt", "plan");
    openDocuments(") \"Projects\"");
    if (HasFatalFailure())
        return;
    click(*waitForView(") \"Projects\""));
    ASSERT_TRUE(waitForView(") \"plan\"")) << lastDump();
    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    ASSERT_EQ(exitStatus(), 0) << readUntil("\n\n");

    relaunch({ "-DeviceIdiom", "phone" });
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(waitForView(") \"plan\"")) << lastDump();
    EXPECT_TRUE(contains(lastDump(), "\"Projects\"")) << lastDump();
    keep("reopened");
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

TEST_F(TandryWindowInputTest, ADisplayThatDiesEndsTheProgramWithItsStateSaved)
{
    makeFile("home/Library/Documents/Projects/plan.txt", "plan");
    // A display of the test's own, which it kills.
    test::XvfbServer display("1280x1024x24");
    ASSERT_FALSE(display.display().empty()) << "Xvfb did not start";
    {
        DisplayVariable shown(display.display());
        openDocuments(") \"Projects\"");
        if (HasFatalFailure())
            return;
        click(*waitForView(") \"Projects\""));
        ASSERT_TRUE(waitForView(") \"plan\"")) << lastDump();
        display.kill(SIGKILL);
        // Ended through the application's end, not GDK's _exit(1).
        EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
        drainErrors();
        EXPECT_NE(output.find("The display went away"), std::string::npos) << output;
    }

    // Its state was saved: the next launch, on the test's display, opens
    // the folder again.
    relaunch({ "-DeviceIdiom", "phone" });
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(waitForView(") \"plan\"")) << lastDump();
    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace
